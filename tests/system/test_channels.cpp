// What any message on the three channels can cost, in the real engine: bodies
// are read exactly and within limits, a page cannot keep save panels coming,
// and every name the file system takes can be saved.

#include "PageTest.h"
#include "support/SystemHarness.h"

#include "ball/BallView.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

using nlohmann::json;

const std::string PAGE =
    std::string(
        "<!doctype html><meta charset=utf-8><title>Channels</title><script>"
        "window.post = (channel, body) => webkit.messageHandlers[channel].postMessage(body);") +
    BARRIER_SCRIPT + "</script>";

class Channels : public PageTest {
protected:
  Channels() : PageTest(PAGE) {}
  void runAndSettle(const std::string& posts, double timeoutSeconds = 20) {
    run(posts + "await barrier();", timeoutSeconds);
  }
};

TEST_F(Channels, BodiesAreReadExactlyAndWithinLimits) {
  runAndSettle("post('hlvnBadge', {n: 42});");
  ASSERT_EQ(app.delegate().ball().count(), 42);

  // A sparse array claims ten million elements; reading it would take the UI
  // many seconds. It is dropped at once, and the next command answered.
  auto start = std::chrono::steady_clock::now();
  runAndSettle("const a = []; a.length = 1e7; a[5] = 1; post('hlvnBadge', {n: 7, a});");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 5.0);
  EXPECT_EQ(app.delegate().ball().count(), 42);
  // Within the limits the same shape passes.
  runAndSettle("post('hlvnBadge', {n: 8, a: new Array(10)});");
  EXPECT_EQ(app.delegate().ball().count(), 8);

  // A NUL in a name is a character like any other control: the panel gets
  // it as "_", never a name cut at it.
  dialogs().saveAnswers.push_back(downloads() / "nul.txt");
  runAndSettle("post('hlvnSave', {name: 'a\\u0000b.txt', data: 'QUJD'});");
  ASSERT_TRUE(waitForPanels(1));
  EXPECT_EQ(dialogs().savePanels[0].nameFieldValue, "a_b.txt");
  ASSERT_TRUE(systest::spinUntil([&] { return workspace().revealedFiles.size() == 1; }));
  EXPECT_EQ(readFile(downloads() / "nul.txt"), "ABC");

  // A NUL in the data, and an unpaired surrogate anywhere, drop the message:
  // nothing is saved empty or short, counted or commanded.
  runAndSettle("post('hlvnSave', {name: 'x.txt', data: 'QUJD\\u0000'});"
               "post('hlvnSave', {name: 'x.txt', data: 'QUJD\\uD800'});"
               "post('hlvnSave', {name: 'x\\uDC00.txt', data: 'QUJD'});"
               "post('hlvnSave', {name: 'x.txt', data: 'QUJD', ['k\\uD800']: 1});"
               "post('hlvnBadge', {n: 9, note: 'a\\uD800b'});"
               "post('hlvnLaunch', JSON.stringify({cmd: 'status', cb: '1001'}) + '\\u0000junk');"
               "post('hlvnLaunch', JSON.stringify({cmd: 'status', cb: '1002', x: '\\uDC00'}));");
  systest::spinFor(0.2);
  EXPECT_EQ(dialogs().savePanels.size(), 1u) << dialogs().savePanels.back().nameFieldValue;
  EXPECT_EQ(app.delegate().ball().count(), 8);
  EXPECT_EQ(run("return replies.filter((r) => r > 1000);"), json::array());
}

TEST_F(Channels, EachChannelReadsOnlyWhatItsMessagesNeed) {
  runAndSettle("post('hlvnBadge', {n: 3});");
  ASSERT_EQ(app.delegate().ball().count(), 3);

  // A command and a count of a few megabytes, each well-formed: far more
  // than either ever needs, so both are dropped unread, and the command
  // after them is answered at once.
  auto start = std::chrono::steady_clock::now();
  runAndSettle("const pad = 'x'.repeat(3 << 20);"
               "post('hlvnLaunch', JSON.stringify({cmd: 'status', cb: '1001', pad}));"
               "post('hlvnBadge', {n: 9, pad});"
               "post('hlvnBadge', {n: 10, note: '中'.repeat(2000)});",
               10);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 5.0);
  EXPECT_EQ(app.delegate().ball().count(), 3);
  EXPECT_EQ(run("return replies.filter((r) => r > 1000);"), json::array());

  // A save of a few megabytes still goes through whole.
  std::string bytes;
  for (int i = 0; i < (3 << 17); ++i)
    bytes += "abcdefgh";
  dialogs().saveAnswers.push_back(downloads() / "big.txt");
  runAndSettle("post('hlvnSave', {name: 'big.txt', data: btoa('abcdefgh'.repeat(3 << 17))});");
  ASSERT_TRUE(systest::spinUntil([&] { return workspace().revealedFiles.size() == 1; }));
  EXPECT_TRUE(dialogs().alerts.empty());
  EXPECT_TRUE(readFile(downloads() / "big.txt") == bytes);
}

TEST_F(Channels, AFloodOfSavesEndsAfterAtMostFourPanels) {
  // Two or three files at once all reach the user.
  for (const char* name : {"one.txt", "two.txt", "three.txt"})
    dialogs().saveAnswers.push_back(downloads() / name);
  run("for (const n of ['one', 'two', 'three']) post('hlvnSave', {name: n + '.txt', data: "
      "btoa(n)});");
  ASSERT_TRUE(systest::spinUntil([&] { return workspace().revealedFiles.size() == 3; }));
  EXPECT_EQ(readFile(downloads() / "three.txt"), "three");
  dialogs().savePanels.clear();

  // Each panel is modal: while it is open the main loop runs for it, and the
  // engine goes on delivering messages. The user cancels every one, taking
  // long enough that a loaded machine still delivers the whole burst while
  // the first panel is open.
  int open = 0, nested = 0;
  dialogs().onSavePanel = [&](const platform::SavePanelOptions&) {
    if (open > 0)
      ++nested;
    ++open;
    systest::spinFor(0.5);
    --open;
  };
  run("for (let i = 0; i < 50; ++i) post('hlvnSave', {name: 'f' + i + '.txt', data: 'QUJD'});");
  std::size_t seen = 0;
  do {
    seen = dialogs().savePanels.size();
    systest::spinFor(1.0);
  } while (dialogs().savePanels.size() != seen);
  EXPECT_GE(seen, 1u);
  EXPECT_LE(seen, 4u);
  EXPECT_EQ(nested, 0);
  EXPECT_EQ(namesIn(downloads()).size(), 3u);

  // The app is its own again: Ctrl+Q reaches the menu's Quit.
  GtkWindow* window = app.mainGtkWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(gtk_accel_groups_activate(G_OBJECT(window), GDK_KEY_q, GDK_CONTROL_MASK));
}

TEST_F(Channels, ANameOfTheLongestLengthTheFileSystemTakesIsSaved) {
  const std::string name = std::string(251, 'n') + ".txt";
  ASSERT_EQ(name.size(), 255u);
  dialogs().saveAnswers.push_back(downloads() / name);
  run("post('hlvnSave', {name: " + json(name).dump() + ", data: btoa('long')});");
  ASSERT_TRUE(systest::spinUntil([&] { return workspace().revealedFiles.size() == 1; }))
      << (dialogs().alerts.empty() ? "" : dialogs().alerts[0].informative);
  EXPECT_TRUE(dialogs().alerts.empty());
  EXPECT_EQ(readFile(downloads() / name), "long");
  EXPECT_EQ(namesIn(downloads()), std::vector<std::string>{name});
}

} // namespace
