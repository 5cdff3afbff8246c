// Downloads and new windows in the real engine: a response the view cannot
// show is written where the save panel says, byte for byte, replacing what
// the user confirmed and leaving nothing else behind; a cancelled
// panel is no failure; a failed download alerts once; and a page asking for
// a new window hands web and mail addresses to the system and opens nothing.

#include "PageTest.h"
#include "support/SystemHarness.h"

#include "app/constants.h"

#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
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

  // The line is free again: the next download asks at once.
  dialogs().onSavePanel = nullptr;
  dialogs().saveAnswers.push_back(chosen / "after.zip");
  run("document.getElementById('zip').click();");
  ASSERT_TRUE(waitForContent(chosen / "after.zip", archiveBytes()));
  EXPECT_EQ(dialogs().savePanels.size(), seen + 1);
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
