// Downloads and new windows in the real engine: a response the view cannot
// show is written where the save panel says, byte for byte, replacing what
// the user confirmed and leaving nothing else behind; a cancelled
// panel is no failure; a failed download alerts once; one cut off by its
// server never costs the file it was to replace; and a page asking for a new
// window hands web and mail addresses to the system and opens nothing.

#include "PageTest.h"
#include "support/SystemHarness.h"

#include "app/constants.h"
#include "system/UserTexts.h"

#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using nlohmann::json;

const char* INDEX =
    "<!doctype html><meta charset=utf-8><title>Downloads</title>"
    "<a id=zip href=archive.zip>archive</a>"
    "<a id=named href=archive.zip download=named.zip>named</a>"
    "<a id=blank target=_blank href='https://example.org/from-link'>out</a>"
    "<script>"
    // A blob download the save script leaves to the engine: one
    // made by another window.
    "window.foreignBlobDownload = async (text, name) => {"
    "  const f = document.createElement('iframe'); document.body.append(f);"
    "  await new Promise((r) => { f.onload = r; f.srcdoc = '<p>frame'; });"
    "  const a = document.createElement('a');"
    "  a.href = f.contentWindow.URL.createObjectURL(new f.contentWindow.Blob([text]));"
    "  a.download = name; document.body.append(a); a.click();"
    "};"
    "</script>";

// Bytes that any re-encoding, truncation at a NUL or lost chunk would change:
// every value, in a file large enough to arrive in several pieces.
std::string archiveBytes() {
  std::string bytes;
  for (std::size_t i = 0; i < 300000; ++i)
    bytes.push_back(char((i * 7 + (i >> 8)) & 255));
  return bytes;
}

std::size_t toplevelCount() {
  GList* all = gtk_window_list_toplevels();
  std::size_t count = g_list_length(all);
  g_list_free(all);
  return count;
}

// A web server on the loopback address that answers every request with the
// same bytes and closes the connection, whatever the answer announced. It
// serves a few requests at most and stops by itself after some seconds.
class LoopbackServer {
public:
  explicit LoopbackServer(std::string answer) : answer_(std::move(answer)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
  }
  ~LoopbackServer() {
    stop_ = true;
    if (thread_.joinable())
      thread_.join();
    if (listener_ >= 0)
      ::close(listener_);
  }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  bool listening() const { return port_ != 0; }
  std::string url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  int served() const { return served_; }

private:
  void serve() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(40);
    while (!stop_ && served_ < 4 && std::chrono::steady_clock::now() < end) {
      pollfd waiting{listener_, POLLIN, 0};
      if (::poll(&waiting, 1, 100) <= 0)
        continue;
      int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0)
        continue;
      // The request's head, all of it, so that closing resets nothing.
      std::string head;
      char buffer[4096];
      while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        pollfd reading{connection, POLLIN, 0};
        if (::poll(&reading, 1, 2000) <= 0)
          break;
        ssize_t n = ::recv(connection, buffer, sizeof buffer, 0);
        if (n <= 0)
          break;
        head.append(buffer, static_cast<std::size_t>(n));
      }
      for (std::size_t sent = 0; sent < answer_.size();) {
        ssize_t n = ::send(connection, answer_.data() + sent, answer_.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
          break;
        sent += static_cast<std::size_t>(n);
      }
      ::shutdown(connection, SHUT_WR);
      ::close(connection);
      ++served_;
    }
  }

  std::string answer_;
  int listener_ = -1;
  unsigned short port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> served_{0};
  std::thread thread_;
};

// The first 1 000 bytes of a body, which is all a cut-off server sends.
std::string firstThousand() {
  return archiveBytes().substr(0, 1000);
}

// The files in the user's Trash, by content.
std::vector<std::string> trashedContents() {
  std::vector<std::string> contents;
  const fs::path files = systest::processHome() / ".local" / "share" / "Trash" / "files";
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(files, ec))
    contents.push_back(readFile(entry.path()));
  return contents;
}

class Downloads : public PageTest {
protected:
  Downloads() : PageTest(INDEX) {}
  void SetUp() override {
    app.addResource("archive.zip", archiveBytes());
    ASSERT_NO_FATAL_FAILURE(PageTest::SetUp());
    chosen = app.root.path() / "chosen";
    fs::create_directories(chosen);
  }

  // Runs what the main queue holds now, twice over (a report may post the
  // alert): whatever the last step posted has run once this returns.
  void drainMainQueue() {
    for (int round = 0; round < 2; ++round) {
      bool reached = false;
      app.platform.mainQueue().post([&reached] { reached = true; });
      ASSERT_TRUE(systest::spinUntil([&] { return reached; }));
    }
  }

  bool waitForContent(const fs::path& file, const std::string& bytes) {
    return systest::spinUntil([&] { return readFile(file) == bytes; }, 30);
  }

  fs::path chosen;
};

TEST_F(Downloads, AnArchiveLinkIsSavedWhereThePanelSaysAlsoOverAnExistingFile) {
  const fs::path target = chosen / "mine.zip";
  dialogs().saveAnswers.push_back(target);
  run("document.getElementById('zip').click();");
  ASSERT_TRUE(waitForContent(target, archiveBytes()))
      << "panels: " << dialogs().savePanels.size() << ", bytes: " << readFile(target).size();
  ASSERT_EQ(dialogs().savePanels.size(), 1u);
  EXPECT_EQ(dialogs().savePanels[0].nameFieldValue, "archive.zip");
  EXPECT_EQ(dialogs().savePanels[0].directory, downloads());
  EXPECT_EQ(namesIn(chosen), std::vector<std::string>{"mine.zip"});
  // The page stays where it was.
  EXPECT_EQ(app.webView().currentURL(), HOME_URL);

  // The user chose the same file again and confirmed replacing it.
  writeFile(target, "an older archive");
  dialogs().saveAnswers.push_back(target);
  run("document.getElementById('zip').click();");
  ASSERT_TRUE(waitForContent(target, archiveBytes())) << readFile(target).size() << " bytes";
  EXPECT_EQ(namesIn(chosen), std::vector<std::string>{"mine.zip"});

  // A link that asks for a download itself arrives the same way.
  dialogs().saveAnswers.push_back(chosen / "named.zip");
  run("document.getElementById('named').click();");
  ASSERT_TRUE(waitForContent(chosen / "named.zip", archiveBytes()));
  drainMainQueue();
  EXPECT_TRUE(dialogs().alerts.empty()) << dialogs().alerts.at(0).informative;
  EXPECT_EQ(dialogs().savePanels.size(), 3u);
  EXPECT_EQ(app.webView().currentURL(), HOME_URL);
}

TEST_F(Downloads, ADownloadTheEngineMakesItselfIsSavedWhereThePanelSays) {
  const fs::path target = chosen / "notes.txt";
  writeFile(target, "older notes that are longer than the new ones");
  dialogs().saveAnswers.push_back(target);
  run("await foreignBlobDownload('新的 notes', 'notes.txt');");
  ASSERT_TRUE(waitForContent(target, "新的 notes")) << readFile(target);
  ASSERT_EQ(dialogs().savePanels.size(), 1u);
  EXPECT_EQ(dialogs().savePanels[0].nameFieldValue, "notes.txt");
  EXPECT_EQ(dialogs().savePanels[0].directory, downloads());
  drainMainQueue();
  EXPECT_TRUE(dialogs().alerts.empty()) << dialogs().alerts.at(0).informative;
  // Nothing the engine wrote on the way is left beside it.
  EXPECT_EQ(namesIn(chosen), std::vector<std::string>{"notes.txt"});
}

TEST_F(Downloads, CancellingThePanelCancelsTheDownloadWithoutAWord) {
  run("document.getElementById('zip').click();");
  ASSERT_TRUE(waitForPanels(1));
  run("await foreignBlobDownload('unwanted', 'unwanted.txt');");
  ASSERT_TRUE(waitForPanels(2));
  systest::spinFor(0.3);
  drainMainQueue();
  EXPECT_EQ(dialogs().savePanels.size(), 2u);
  EXPECT_TRUE(dialogs().alerts.empty()) << dialogs().alerts.at(0).informative;
  EXPECT_TRUE(namesIn(downloads()).empty());
  EXPECT_TRUE(namesIn(chosen).empty());
  EXPECT_EQ(app.webView().currentURL(), HOME_URL);
}

TEST_F(Downloads, ADownloadThatCannotBeWrittenShowsOneAlertWithTheReason) {
  writeFile(app.root.path() / "notes", "a file, not a folder");
  dialogs().saveAnswers.push_back(app.root.path() / "notes" / "archive.zip");
  run("document.getElementById('zip').click();");
  ASSERT_TRUE(systest::spinUntil([&] { return !dialogs().alerts.empty(); }, 30));
  dialogs().saveAnswers.push_back(app.root.path() / "notes" / "notes.txt");
  run("await foreignBlobDownload('x', 'notes.txt');");
  ASSERT_TRUE(systest::spinUntil([&] { return dialogs().alerts.size() >= 2; }, 30));
  systest::spinFor(0.3);
  drainMainQueue();
  ASSERT_EQ(dialogs().alerts.size(), 2u);
  for (const systest::ScriptedDialogs::Alert& alert : dialogs().alerts) {
    EXPECT_EQ(alert.message, "导出失败");
    EXPECT_FALSE(alert.informative.empty());
  }
  // Ours names the system's reason.
  EXPECT_NE(dialogs().alerts[0].informative.find(std::strerror(ENOTDIR)), std::string::npos)
      << dialogs().alerts[0].informative;
  EXPECT_EQ(readFile(app.root.path() / "notes"), "a file, not a folder");
}

TEST_F(Downloads, AFrameThatStartsEightDownloadsGetsOnePanelAtATimeAndAtMostFour) {
  // Each panel is modal: while it is open the main loop runs for it, and the
  // engine goes on starting downloads. The user takes a second to cancel
  // each panel, longer than the frame takes to start all eight.
  int open = 0, nested = 0;
  dialogs().onSavePanel = [&](const platform::SavePanelOptions&) {
    nested += open;
    ++open;
    systest::spinFor(1.0);
    --open;
  };
  // A frame of another origin, no click: its own script starts them, one
  // every 100 ms (a download the frame starts cancels one still waiting for
  // its navigation policy).
  run("const inner = '<body><script>let i = 0; const next = () => {'"
      "  + 'const a = document.createElement(\"a\"); a.href = \"data:application/octet-stream,f\" "
      "+ i;'"
      "  + 'a.download = \"f\" + i + \".bin\"; document.body.append(a); a.click();'"
      "  + 'if (++i < 8) setTimeout(next, 100); }; next();<' + '/script>';"
      "const f = document.createElement('iframe');"
      "f.src = 'data:text/html,' + encodeURIComponent(inner); document.body.append(f);");
  ASSERT_TRUE(waitForPanels(1));
  std::size_t seen = 0;
  do {
    seen = dialogs().savePanels.size();
    systest::spinFor(1.0);
  } while (dialogs().savePanels.size() != seen);
  drainMainQueue();
  EXPECT_LE(seen, 4u);
  EXPECT_EQ(nested, 0);
  EXPECT_TRUE(dialogs().alerts.empty()) << dialogs().alerts.at(0).informative;
  // Nothing written, nothing staged.
  EXPECT_TRUE(namesIn(downloads()).empty());
  EXPECT_TRUE(namesIn(chosen).empty());
  EXPECT_EQ(app.webView().currentURL(), HOME_URL);

  // The user cancelled two panels in a row: for a while the engine's
  // downloads are cancelled without one, while the page's own export still
  // asks.
  dialogs().onSavePanel = nullptr;
  dialogs().saveAnswers.push_back(chosen / "after.zip");
  run("document.getElementById('zip').click();");
  systest::spinFor(1.0);
  drainMainQueue();
  EXPECT_EQ(dialogs().savePanels.size(), seen);
  dialogs().saveAnswers = {chosen / "export.txt"};
  run("const a = document.createElement('a');"
      "a.href = URL.createObjectURL(new Blob(['exported'])); a.download = 'export.txt';"
      "document.body.append(a); a.click();");
  ASSERT_TRUE(waitForContent(chosen / "export.txt", "exported"));
  EXPECT_EQ(dialogs().savePanels.size(), seen + 1);
  EXPECT_EQ(namesIn(chosen), std::vector<std::string>{"export.txt"});
}

TEST_F(Downloads, AServerThatClosesEarlyNeverCostsTheFileTheDownloadWasToReplace) {
  const fs::path target = chosen / "x.bin";
  const std::string previous = "the user's own x.bin, which they chose to replace";
  // From a frame, where a web address may load: the main frame hands one to
  // the browser instead.
  const std::string startDownload = "const f = document.createElement('iframe'); f.src = '%s';"
                                    "document.body.append(f);";
  auto start = [&](const LoopbackServer& server) {
    std::string script = startDownload;
    script.replace(script.find("%s"), 2, server.url("/x.bin"));
    run(script);
  };

  // A length announced, and not all of it sent: the engine calls the
  // download finished; the previous file stays, byte for byte, and the user
  // is told why.
  {
    LoopbackServer announced("HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n"
                             "Content-Length: 5000\r\n\r\n" +
                             firstThousand());
    ASSERT_TRUE(announced.listening());
    writeFile(target, previous);
    dialogs().saveAnswers.push_back(target);
    start(announced);
    ASSERT_TRUE(systest::spinUntil([&] { return !dialogs().alerts.empty(); }, 30))
        << "served " << announced.served() << ", the file has " << readFile(target).size()
        << " bytes";
    drainMainQueue();
    EXPECT_EQ(dialogs().alerts, (std::vector<systest::ScriptedDialogs::Alert>{
                                    {"导出失败", DOWNLOAD_CUT_SHORT_TEXT}}));
    EXPECT_EQ(readFile(target), previous);
    EXPECT_EQ(namesIn(chosen), std::vector<std::string>{"x.bin"});
    EXPECT_TRUE(trashedContents().empty());
  }

  // Chunked, cut off between chunks: nothing tells that from a whole body,
  // so the new bytes take the file's place and the previous file is in the
  // Trash.
  {
    LoopbackServer chunked("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                           "Transfer-Encoding: chunked\r\n\r\n3e8\r\n" +
                           firstThousand() + "\r\n");
    ASSERT_TRUE(chunked.listening());
    dialogs().saveAnswers.push_back(target);
    start(chunked);
    ASSERT_TRUE(waitForContent(target, firstThousand()))
        << "served " << chunked.served() << ", the file has " << readFile(target).size()
        << " bytes";
    drainMainQueue();
    EXPECT_EQ(trashedContents(), std::vector<std::string>{previous});
    EXPECT_EQ(namesIn(chosen), std::vector<std::string>{"x.bin"});
    EXPECT_EQ(dialogs().alerts.size(), 1u);
  }
  EXPECT_EQ(dialogs().savePanels.size(), 2u);
  EXPECT_EQ(app.webView().currentURL(), HOME_URL);
}

TEST(NewWindows, OnlyWebAndMailAddressesLeaveAndNoWindowOpens) {
  systest::SystemApp app;
  app.addResource("index.html", INDEX);
  app.launch();
  ASSERT_TRUE(app.waitForLoads(1));
  const std::size_t windows = toplevelCount();
  systest::ScriptResult r =
      app.evaluate("return ['https://example.org/plan?week=1', 'mailto:grader@example.org',"
                   "  'file:///etc/hostname', 'halvane://local/index.html',"
                   "  'data:text/html,<p>x', 'javascript:1'].map((u) => window.open(u));");
  ASSERT_TRUE(r.ok) << r.error;
  // No window object comes back for any of them.
  EXPECT_EQ(r.value, json::array({nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}));
  ASSERT_TRUE(app.evaluate("document.getElementById('blank').click();").ok);
  ASSERT_TRUE(systest::spinUntil([&] { return app.platform.workspaceLog.openedURLs.size() >= 3; }))
      << app.platform.workspaceLog.openedURLs.size();
  systest::spinFor(0.2);
  EXPECT_EQ(
      app.platform.workspaceLog.openedURLs,
      (std::vector<std::string>{"https://example.org/plan?week=1", "mailto:grader@example.org",
                                "https://example.org/from-link"}));
  EXPECT_EQ(toplevelCount(), windows);
  EXPECT_EQ(app.webView().currentURL(), HOME_URL);
  EXPECT_EQ(app.loadsFinished(), 1);
}

} // namespace
