// Saving what the page exports, in the real engine: the save script takes
// over script-clicked blob downloads of its own window and nothing else, the
// bytes cross whole, and the native side writes them where the panel says,
// or shows one alert with the system's reason and leaves the old file alone.

#include "PageTest.h"
#include "support/SystemHarness.h"

#include "app/constants.h"
#include "bridge/SaveHandler.h"

#include <gtest/gtest.h>
#include <webkit2/webkit2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using nlohmann::json;

const char* INDEX =
    "<!doctype html><meta charset=utf-8><title>Save</title><script>"
    "window.bytesOf = (n, f) => { const b = new Uint8Array(n);"
    "  for (let i = 0; i < n; ++i) b[i] = f(i); return b; };"
    "window.anchor = (href, download) => { const a = document.createElement('a'); a.href = href;"
    "  if (download !== undefined) a.download = download; document.body.append(a); return a; };"
    // Clicks and waits until what the click started in the page is over:
    // the save script's reader has ended (and posted, if it does), or the
    // built-in click has fired its event. The event is cancelled, so a
    // built-in click neither navigates nor downloads.
    "window.clickAndSettle = (a) => new Promise((done) => {"
    "  const Reader = window.FileReader; let readers = 0, clicks = 0;"
    "  window.FileReader = class extends Reader { constructor() { super(); ++readers;"
    "    this.addEventListener('loadend', () => setTimeout(() =>"
    "      done({reader: true, clicks}), 0)); } };"
    "  a.addEventListener('click', (e) => { ++clicks; e.preventDefault(); });"
    "  try { a.click(); } finally { window.FileReader = Reader; }"
    "  if (!readers) setTimeout(() => done({reader: false, clicks}), 0);"
    "});"
    "window.saveBlob = (blob, name) => clickAndSettle(anchor(URL.createObjectURL(blob), name));"
    "</script>";

const json TAKEN_OVER = {{"reader", true}, {"clicks", 0}};
const json BUILT_IN = {{"reader", false}, {"clicks", 1}};

std::string everyByteValue() {
  std::string bytes;
  for (int i = 0; i < 256; ++i)
    bytes.push_back(char(i));
  return bytes;
}

class SaveTest : public PageTest {
protected:
  SaveTest() : PageTest(INDEX) {}

  bool waitForReveals(std::size_t count, double timeoutSeconds = 20) {
    return systest::spinUntil([&] { return workspace().revealedFiles.size() >= count; },
                              timeoutSeconds);
  }
  bool waitForAlerts(std::size_t count) {
    return systest::spinUntil([&] { return dialogs().alerts.size() >= count; });
  }

  // Saves a small marker and waits for it: messages arrive in the order the
  // page posted them, so whatever an earlier click posted has been handled
  // by then.
  void saveMarkerAndWait(const fs::path& where) {
    dialogs().saveAnswers.push_back(where);
    EXPECT_EQ(run("return await saveBlob(new Blob(['marker']), 'marker.txt');"), TAKEN_OVER);
    // Its own reveal: an earlier save may still be on its way.
    ASSERT_TRUE(systest::spinUntil([&] {
      const std::vector<fs::path>& shown = workspace().revealedFiles;
      return std::find(shown.begin(), shown.end(), where) != shown.end();
    }));
  }
};

using SaveBridge = SaveTest;
using Saving = SaveTest;

// ---- the page script ------------------------------------------------------------

TEST_F(SaveBridge, APageWithoutTheSaveChannelKeepsItsBuiltInFunctions) {
  const char* probe =
      "return {flag: window.__hlvnSaveBridge === true, webkit: typeof window.webkit,"
      "  native: [HTMLAnchorElement.prototype.click, URL.createObjectURL,"
      "           URL.revokeObjectURL].map((f) => /\\[native code\\]/.test(f))};";
  // In the app the script has installed itself...
  EXPECT_EQ(
      run(probe),
      json({{"flag", true}, {"webkit", "object"}, {"native", json::array({false, false, false})}}));

  // ...while the same script, injected the same way into a file: page of an
  // ordinary web view that has no channels, leaves the page as it was.
  WebKitUserContentManager* content = webkit_user_content_manager_new();
  WebKitUserScript* script =
      webkit_user_script_new(saveBridgeScript().c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                             WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
  webkit_user_content_manager_add_script(content, script);
  webkit_user_script_unref(script);
  GtkWidget* plain = GTK_WIDGET(g_object_ref_sink(
      g_object_new(WEBKIT_TYPE_WEB_VIEW, "user-content-manager", content, nullptr)));
  g_object_unref(content);
  const fs::path page = app.root.path() / "outside.html";
  writeFile(page, "<!doctype html><meta charset=utf-8><title>Outside</title><p>plain page");
  const std::string url = "file://" + page.string();
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(plain), url.c_str());
  bool loaded = systest::spinUntil([&] {
    systest::ScriptResult r =
        systest::evaluateIn(plain, "return location.href + ' ' + document.readyState;", 5);
    return r.ok && r.value == url + " complete";
  });
  ASSERT_TRUE(loaded);
  systest::ScriptResult outside = systest::evaluateIn(plain, probe);
  ASSERT_TRUE(outside.ok) << outside.error;
  EXPECT_EQ(outside.value, json({{"flag", false},
                                 {"webkit", "undefined"},
                                 {"native", json::array({true, true, true})}}));
  gtk_widget_destroy(plain);
  g_object_unref(plain);
}

TEST_F(SaveBridge, InjectingTheScriptAgainInstallsNothingMore) {
  json same = run("const before = [HTMLAnchorElement.prototype.click, URL.createObjectURL,"
                  "  URL.revokeObjectURL];"
                  "(0, eval)(" +
                  json(saveBridgeScript()).dump() +
                  ");"
                  "const after = [HTMLAnchorElement.prototype.click, URL.createObjectURL,"
                  "  URL.revokeObjectURL];"
                  "return before.map((f, i) => f === after[i]);");
  EXPECT_EQ(same, json::array({true, true, true}));

  // One click still makes exactly one save.
  dialogs().saveAnswers.push_back(downloads() / "once.txt");
  EXPECT_EQ(run("return await saveBlob(new Blob(['once']), 'once.txt');"), TAKEN_OVER);
  saveMarkerAndWait(downloads() / "marker.txt");
  ASSERT_EQ(dialogs().savePanels.size(), 2u);
  EXPECT_EQ(dialogs().savePanels[0].nameFieldValue, "once.txt");
  EXPECT_EQ(readFile(downloads() / "once.txt"), "once");
}

TEST_F(SaveBridge, ABlobAnchorSavesExactlyItsBytesWhereThePanelSays) {
  // The user picks a folder of their own in a panel that opened on Downloads.
  const fs::path chosen = app.root.path() / "chosen";
  fs::create_directories(chosen);
  const std::string name = "批改 计划 第1周.csv";
  dialogs().saveAnswers.push_back(chosen / name);
  EXPECT_EQ(
      run("return await saveBlob(new Blob([bytesOf(256, (i) => i)]), " + json(name).dump() + ");"),
      TAKEN_OVER);
  ASSERT_TRUE(waitForReveals(1));
  ASSERT_EQ(dialogs().savePanels.size(), 1u);
  EXPECT_EQ(dialogs().savePanels[0].nameFieldValue, name);
  EXPECT_EQ(dialogs().savePanels[0].directory, downloads());
  EXPECT_TRUE(dialogs().savePanels[0].canCreateDirectories);
  EXPECT_EQ(readFile(chosen / name), everyByteValue());
  EXPECT_EQ(workspace().revealedFiles, std::vector<fs::path>{chosen / name});
  EXPECT_TRUE(dialogs().alerts.empty());

  // A type whose parameters hold commas does not cut into the payload.
  dialogs().saveAnswers.push_back(chosen / "hello.txt");
  EXPECT_EQ(run("return await saveBlob(new Blob(['Hello'], {type: 'text/plain;x=a,b'}),"
                "  'hello.txt');"),
            TAKEN_OVER);
  ASSERT_TRUE(waitForReveals(2));
  EXPECT_EQ(readFile(chosen / "hello.txt"), "Hello");
}

TEST_F(SaveBridge, RevokingTheURLRightAfterTheClickStillSaves) {
  dialogs().saveAnswers.push_back(downloads() / "kept.txt");
  json got = run("const url = URL.createObjectURL(new Blob(['kept bytes']));"
                 "const settled = clickAndSettle(anchor(url, 'kept.txt'));"
                 "URL.revokeObjectURL(url);"
                 "const how = await settled;"
                 // Still readable: the revocation waits.
                 "const text = await fetch(url).then((r) => r.text(), () => 'revoked');"
                 "return [how, text];");
  EXPECT_EQ(got, json::array({TAKEN_OVER, "kept bytes"}));
  ASSERT_TRUE(waitForReveals(1));
  EXPECT_EQ(readFile(downloads() / "kept.txt"), "kept bytes");
}

TEST_F(SaveBridge, OnlyNonEmptyBlobsOfThisWindowWithADownloadNameAreTakenOver) {
  json got =
      run("const out = {};"
          "out.emptyName = await clickAndSettle(anchor(URL.createObjectURL(new Blob(['a'])), ''));"
          "out.noName = await clickAndSettle(anchor(URL.createObjectURL(new Blob(['b']))));"
          "out.notBlob = await clickAndSettle(anchor('data.txt', 'data.txt'));"
          // Made by another window: its own script recorded it, this one did not.
          "const frame = document.createElement('iframe'); document.body.append(frame);"
          "await new Promise((r) => { frame.onload = r; frame.srcdoc = '<p>frame'; });"
          "const foreign = frame.contentWindow.URL.createObjectURL("
          "  new frame.contentWindow.Blob(['c']));"
          "out.foreign = await clickAndSettle(anchor(foreign, 'foreign.txt'));"
          // Nothing to save, and no built-in download either.
          "out.empty = await clickAndSettle(anchor(URL.createObjectURL(new Blob([])), 'e.txt'));"
          "return out;");
  EXPECT_EQ(got["emptyName"], BUILT_IN);
  EXPECT_EQ(got["noName"], BUILT_IN);
  EXPECT_EQ(got["notBlob"], BUILT_IN);
  EXPECT_EQ(got["foreign"], BUILT_IN);
  EXPECT_EQ(got["empty"], TAKEN_OVER);

  saveMarkerAndWait(downloads() / "marker.txt");
  ASSERT_EQ(dialogs().savePanels.size(), 1u);
  EXPECT_EQ(dialogs().savePanels[0].nameFieldValue, "marker.txt");
  EXPECT_EQ(namesIn(downloads()), std::vector<std::string>{"marker.txt"});
}

TEST_F(SaveBridge, TheLargestFileASaveCarriesArrivesWholeAndALargerOneIsRefusedAloud) {
  constexpr std::size_t size = MAX_SAVE_BASE64_BYTES / 4 * 3;
  dialogs().saveAnswers.push_back(downloads() / "big.bin");
  EXPECT_EQ(run("const b = bytesOf(" + std::to_string(size) +
                    ", (i) => (i ^ (i >>> 11)) & 255);"
                    "return await saveBlob(new Blob([b]), 'big.bin');",
                60),
            TAKEN_OVER);
  ASSERT_TRUE(waitForReveals(1, 120));
  std::string want(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    want[i] = char((i ^ (i >> 11)) & 255);
  std::string got = readFile(downloads() / "big.bin");
  ASSERT_EQ(got.size(), size);
  EXPECT_TRUE(got == want);

  // One byte more is not read, not offered a panel, and not left to the
  // engine either: the user is told why nothing was saved.
  EXPECT_EQ(run("return await saveBlob(new Blob([new Uint8Array(" + std::to_string(size + 1) +
                ")]), 'bigger.bin');"),
            json({{"reader", false}, {"clicks", 0}}));
  ASSERT_TRUE(waitForAlerts(1));
  EXPECT_EQ(dialogs().alerts[0], (systest::ScriptedDialogs::Alert{
                                     "导出失败", "文件有 19 MB，超过了一次能导出的 18 MB。"}));
  EXPECT_EQ(dialogs().savePanels.size(), 1u);
}

// ---- the native side ------------------------------------------------------------

// A file system of its own for the test: a tmpfs mounted in a mount namespace
// private to the calling (main) thread, so nothing else on the machine sees
// it and it goes away with the process whatever happens. Needs root.
class PrivateTmpfs {
public:
  PrivateTmpfs(const fs::path& at, const std::string& options, bool readOnly) : at_(at) {
    fs::create_directories(at);
    static bool unshared = [] {
      return ::unshare(CLONE_NEWNS) == 0 &&
             ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }();
    if (!unshared) {
      why_ = std::string("no private mount namespace: ") + std::strerror(errno);
      return;
    }
    if (::mount("tmpfs", at.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) != 0) {
      why_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
      return;
    }
    mounted_ = true;
  }
  ~PrivateTmpfs() {
    if (mounted_)
      ::umount2(at_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& why() const { return why_; }

private:
  fs::path at_;
  bool mounted_ = false;
  std::string why_;
};

TEST_F(Saving, APanelOpensWithTheAppActiveAndTheBallBelowItUntilItCloses) {
  const int activationsBefore = app.platform.app.activateCalls;
  std::vector<bool> whileUp;
  int activationsWhileUp = 0;
  dialogs().onSavePanel = [&](const platform::SavePanelOptions&) {
    whileUp = app.platform.panelFloating;
    activationsWhileUp = app.platform.app.activateCalls;
  };
  dialogs().saveAnswers.push_back(std::nullopt);
  run("webkit.messageHandlers.hlvnSave.postMessage({name: 'a.txt', data: 'aGk='});");
  ASSERT_TRUE(waitForPanels(1));
  EXPECT_EQ(whileUp, std::vector<bool>{false});
  EXPECT_GT(activationsWhileUp, activationsBefore);
  EXPECT_EQ(app.platform.panelFloating, (std::vector<bool>{false, true}));
}

TEST_F(Saving, CancellingThePanelWritesNothingAndShowsNothing) {
  EXPECT_EQ(run("return await saveBlob(new Blob(['unwanted']), 'report.csv');"), TAKEN_OVER);
  ASSERT_TRUE(waitForPanels(1));
  systest::spinFor(0.2);
  EXPECT_TRUE(namesIn(downloads()).empty());
  EXPECT_TRUE(dialogs().alerts.empty());
  EXPECT_TRUE(workspace().revealedFiles.empty());
}

TEST_F(Saving, AFolderThatCannotBeWrittenShowsOneAlertWithTheSystemsReason) {
  // A destination whose folder is a regular file.
  writeFile(app.root.path() / "notes", "a file, not a folder");
  dialogs().saveAnswers.push_back(app.root.path() / "notes" / "report.csv");
  EXPECT_EQ(run("return await saveBlob(new Blob(['x']), 'report.csv');"), TAKEN_OVER);
  ASSERT_TRUE(waitForAlerts(1));
  ASSERT_EQ(dialogs().alerts.size(), 1u);
  EXPECT_EQ(dialogs().alerts[0].message, "导出失败");
  EXPECT_EQ(dialogs().alerts[0].informative, std::strerror(ENOTDIR));
  EXPECT_EQ(readFile(app.root.path() / "notes"), "a file, not a folder");

  // A folder the user may not write into. Root writes through permission
  // bits, so it gets a read-only file system instead.
  const fs::path locked = app.root.path() / "locked";
  std::optional<PrivateTmpfs> readOnly;
  int expected = EACCES;
  if (::geteuid() != 0) {
    fs::create_directories(locked);
    fs::permissions(locked, fs::perms(0555));
  } else {
    readOnly.emplace(locked, "size=64k", true);
    if (!readOnly->mounted())
      GTEST_SKIP() << "the read-only half needs a private tmpfs: " << readOnly->why();
    expected = EROFS;
  }
  dialogs().saveAnswers.push_back(locked / "report.csv");
  EXPECT_EQ(run("return await saveBlob(new Blob(['y']), 'report.csv');"), TAKEN_OVER);
  ASSERT_TRUE(waitForAlerts(2));
  systest::spinFor(0.2);
  ASSERT_EQ(dialogs().alerts.size(), 2u);
  EXPECT_EQ(dialogs().alerts[1].message, "导出失败");
  EXPECT_EQ(dialogs().alerts[1].informative, std::strerror(expected));
  EXPECT_TRUE(namesIn(locked).empty());
  EXPECT_TRUE(workspace().revealedFiles.empty());
}

TEST_F(Saving, AFailedSaveOverAFileOnAFullFileSystemLeavesTheOldFileWhole) {
  const fs::path small = app.root.path() / "small";
  PrivateTmpfs tmpfs(small, "size=64k", false);
  if (!tmpfs.mounted())
    GTEST_SKIP() << "needs a tiny file system to fill: " << tmpfs.why();
  std::string old(8192, '\0');
  for (std::size_t i = 0; i < old.size(); ++i)
    old[i] = char('a' + i % 26);
  writeFile(small / "report.csv", old);
  ASSERT_EQ(readFile(small / "report.csv"), old);
  // Fill every block that is left.
  {
    int fd = ::open((small / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    std::string block(4096, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    ::close(fd);
  }

  dialogs().saveAnswers.push_back(small / "report.csv");
  EXPECT_EQ(run("return await saveBlob(new Blob([bytesOf(40000, (i) => i & 255)]),"
                "  'report.csv');"),
            TAKEN_OVER);
  ASSERT_TRUE(waitForAlerts(1));
  systest::spinFor(0.2);
  ASSERT_EQ(dialogs().alerts.size(), 1u);
  EXPECT_EQ(dialogs().alerts[0].message, "导出失败");
  EXPECT_EQ(dialogs().alerts[0].informative, std::strerror(ENOSPC));
  EXPECT_EQ(readFile(small / "report.csv"), old);
  // No half-written file is left beside it.
  EXPECT_EQ(namesIn(small), (std::vector<std::string>{"filler", "report.csv"}));
  EXPECT_TRUE(workspace().revealedFiles.empty());
}

} // namespace
