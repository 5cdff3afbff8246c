// The command channel "hlvnLaunch" in the real engine: the app's own page
// commands the machine and gets its answers. The channels' gate: no frame and
// no page outside the app has any of the three channels, while the app's own
// top page has them all.

#include "PageTest.h"
#include "support/SystemHarness.h"

#include "app/constants.h"
#include "ball/BallView.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

using nlohmann::json;

const char* INDEX = "<!doctype html><meta charset=utf-8><title>Launch</title><script>"
                    "window.replies = [];"
                    "window.__hlvnApply = (token, result) => replies.push([token, result]);"
                    "window.send = (command) =>"
                    "  webkit.messageHandlers.hlvnLaunch.postMessage(JSON.stringify(command));"
                    "window.frameReports = [];"
                    "addEventListener('message', (e) => frameReports.push(e.data));"
                    "</script>";

// What a hostile document tries, from wherever it is loaded: its own
// channel, the parent's channel, and the event the gate's shim sends. It
// reports what happened to the parent (if it has one) and keeps it in `out`.
std::string attemptScript(const std::string& label) {
  return "<script>"
         "window.replies = [];"
         "window.__hlvnApply = (token, result) => replies.push([token, result]);"
         "const cmd = JSON.stringify({cmd: 'autostart', cb: \"'from-" +
         label +
         "'\", params: {on: true}});"
         "const status = JSON.stringify({cmd: 'status', cb: \"'status-" +
         label +
         "'\"});"
         "const out = [];"
         "const h = window.webkit && webkit.messageHandlers;"
         "out.push('save:' + typeof (h && h.hlvnSave) + ' badge:' + typeof (h && h.hlvnBadge));"
         "out.push('own:' + typeof (h && h.hlvnLaunch));"
         "try { h.hlvnLaunch.postMessage(cmd); h.hlvnLaunch.postMessage(status);"
         "      out.push('own:posted'); } catch (e) { out.push('own:' + e.name); }"
         "if (parent !== window) {"
         "  try { parent.webkit.messageHandlers.hlvnLaunch.postMessage(cmd);"
         "        out.push('parent:posted'); } catch (e) { out.push('parent:' + e.name); }"
         "}"
         "try { (parent.document || document).dispatchEvent(new CustomEvent("
         "        '__hlvnGate_hlvnLaunch', {detail: cmd})); out.push('event:sent');"
         "} catch (e) { out.push('event:' + e.name); }"
         "try { document.dispatchEvent(new CustomEvent('__hlvnGate_hlvnLaunch', {detail: cmd}));"
         "} catch (e) {}"
         "window.out = out;"
         "if (parent !== window) parent.postMessage({frame: '" +
         label +
         "', out: out}, '*');"
         "</script>";
}

class Launch : public PageTest {
protected:
  Launch() : PageTest(INDEX) {}
  void SetUp() override {
    // Turning autostart on needs an installation that could be started.
    const fs::path& exe = app.platform.env.executablePath;
    writeFile(exe, "#!/bin/sh\nexit 0\n");
    fs::permissions(exe, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
    ASSERT_NO_FATAL_FAILURE(PageTest::SetUp());
  }

  // Waits until the page has received `count` replies, then returns them all.
  json repliesAfter(std::size_t count) {
    EXPECT_TRUE(app.waitForScript("replies.length >= " + std::to_string(count)))
        << "replies so far: " << run("return replies;").dump();
    return run("return replies;");
  }

  fs::path autostartFile() const {
    return app.platform.env.configDirectory / "autostart" / (std::string(LA_LABEL) + ".desktop");
  }
};

TEST_F(Launch, StatusAnswersTheTokenVerbatimWithTheFactsOfThisInstallation) {
  run("send({cmd: 'status', cb: '1'});"
      "send({cmd: 'status', cb: \"'tok-' + (20 + 3)\", params: {on: true}});");
  json replies = repliesAfter(2);
  json facts = {{"kind", "linux"},
                {"installed", false},
                {"autostart", false},
                {"appPath", app.platform.env.bundlePath.string()}};
  // The token is script text: "1" arrives as the number 1, an expression as
  // its value.
  EXPECT_EQ(replies, json::array({json::array({1, facts}), json::array({"tok-23", facts})}));
  // Asking changes nothing on disk.
  EXPECT_FALSE(fs::exists(autostartFile().parent_path()));
}

TEST_F(Launch, AutostartOnWritesTheLoginEntryAndOffRemovesIt) {
  run("send({cmd: 'autostart', cb: '1', params: {on: true}});");
  json replies = repliesAfter(1);
  EXPECT_EQ(replies[0], json::array({1, {{"ok", true}, {"autostart", true}}}));
  ASSERT_TRUE(fs::is_regular_file(autostartFile()));
  std::string entry = readFile(autostartFile());
  EXPECT_NE(entry.find("Exec=" + app.platform.env.executablePath.string() + " --ball-only"),
            std::string::npos)
      << entry;

  run("send({cmd: 'autostart', cb: '2', params: {on: false}});");
  replies = repliesAfter(2);
  EXPECT_EQ(replies[1], json::array({2, {{"ok", true}, {"autostart", false}}}));
  EXPECT_FALSE(fs::exists(fs::symlink_status(autostartFile())));
}

TEST_F(Launch, CommandsAreCarriedOutAndAnsweredInTheOrderPosted) {
  // All four leave the page before the first answer comes back; each status
  // sees what the command before it did.
  run("send({cmd: 'autostart', cb: '1', params: {on: 1}});"
      "send({cmd: 'status', cb: '2'});"
      "send({cmd: 'autostart', cb: '3'});"
      "send({cmd: 'status', cb: '4'});");
  json replies = repliesAfter(4);
  ASSERT_EQ(replies.size(), 4u) << replies.dump();
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(replies[i][0], i + 1);
  EXPECT_EQ(replies[0][1], json({{"ok", true}, {"autostart", true}}));
  EXPECT_EQ(replies[1][1]["autostart"], true);
  EXPECT_EQ(replies[2][1], json({{"ok", true}, {"autostart", false}}));
  EXPECT_EQ(replies[3][1]["autostart"], false);
  EXPECT_FALSE(fs::exists(autostartFile()));
}

TEST_F(Launch, FramesOfOtherOriginsInsideTheAppPageReachNothing) {
  app.addResource("other.html", "<!doctype html><meta charset=utf-8>" + attemptScript("host"));
  // A frame of the page's own origin may script its parent, so it only
  // looks: it must have no channel of its own.
  app.addResource("same.html",
                  "<!doctype html><meta charset=utf-8><script>"
                  "const h = window.webkit && webkit.messageHandlers;"
                  "parent.postMessage({frame: 'same', out: ['hlvnSave', 'hlvnBadge', 'hlvnLaunch']"
                  "  .map((n) => n + ':' + typeof (h && h[n]))}, '*');</script>");
  const std::string frameFile = (app.root.path() / "frame.html").string();
  writeFile(frameFile, "<!doctype html><meta charset=utf-8>" + attemptScript("file"));
  json loaded =
      run("const attempt = (label) => " +
          json("<!doctype html><meta charset=utf-8>" + attemptScript("LABEL")).dump() +
          ".replaceAll('LABEL', label);"
          "const add = (attrs) => { const f = document.createElement('iframe');"
          "  Object.assign(f, attrs); document.body.append(f); };"
          "add({src: 'data:text/html;charset=utf-8,' + encodeURIComponent(attempt('data'))});"
          "const s = document.createElement('iframe'); s.sandbox = 'allow-scripts';"
          "s.srcdoc = attempt('sandboxed'); document.body.append(s);"
          // Same scheme, another host: another origin served by the app itself.
          "add({src: 'halvane://elsewhere/other.html'});"
          "add({src: 'same.html'});"
          "add({src: " +
          json("file://" + frameFile).dump() +
          "});"
          "const want = ['data', 'sandboxed', 'host', 'same'];"
          "for (let i = 0; i < 1500 && !want.every((w) => frameReports.some((r) => r.frame === w));"
          "     ++i) await new Promise((r) => setTimeout(r, 10));"
          "return frameReports;");
  // Each frame ran its script inside this web view and found no channel of
  // its own and no way into the parent's.
  for (const char* frame : {"data", "sandboxed", "host"}) {
    json report;
    for (const json& r : loaded)
      if (r["frame"] == frame)
        report = r["out"];
    ASSERT_TRUE(report.is_array()) << frame << " never ran: " << loaded.dump();
    EXPECT_EQ(report[0], "save:undefined badge:undefined") << frame;
    EXPECT_EQ(report[1], "own:undefined") << frame;
    EXPECT_EQ(report[2], "own:TypeError") << frame;
    EXPECT_EQ(report[3], "parent:SecurityError") << frame;
    EXPECT_EQ(report[4], "event:SecurityError") << frame;
  }
  json same;
  for (const json& r : loaded)
    if (r["frame"] == "same")
      same = r["out"];
  EXPECT_EQ(same,
            json::array({"hlvnSave:undefined", "hlvnBadge:undefined", "hlvnLaunch:undefined"}))
      << loaded.dump();
  // The engine refuses to load a file: frame into a page of the app's
  // scheme; should it ever run one, that frame must be as powerless.
  for (const json& r : loaded)
    if (r["frame"] == "file") {
      EXPECT_EQ(r["out"][0], "save:undefined badge:undefined") << r.dump();
      EXPECT_EQ(r["out"][1], "own:undefined") << r.dump();
    }

  // The page's own command is answered; had any frame's got through, its
  // answer would have come first, and autostart would be on.
  run("send({cmd: 'status', cb: \"'sync'\"});");
  json replies = repliesAfter(1);
  ASSERT_EQ(replies.size(), 1u) << replies.dump();
  EXPECT_EQ(replies[0][0], "sync");
  EXPECT_EQ(replies[0][1]["autostart"], false);
  EXPECT_FALSE(fs::exists(autostartFile()));
}

TEST_F(Launch, APageOutsideTheAppInTheMainFrameReachesNothing) {
  // The main frame shows no file or web page, but the app may load a data:
  // page there.
  std::string page = "data:text/html;charset=utf-8,";
  for (unsigned char c :
       "<!doctype html><meta charset=utf-8><title>Outside</title>" + attemptScript("top")) {
    static const char hex[] = "0123456789ABCDEF";
    page += {'%', hex[c >> 4], hex[c & 15]};
  }
  app.webView().loadRequest(page, 60);
  ASSERT_TRUE(app.waitForLoads(2));
  ASSERT_EQ(app.webView().currentURL().substr(0, 5), "data:");
  json out = run("return window.out;");
  ASSERT_TRUE(out.is_array()) << out.dump();
  EXPECT_EQ(out[0], "save:undefined badge:undefined");
  EXPECT_EQ(out[1], "own:undefined");
  EXPECT_EQ(out[2], "own:TypeError");
  // Its own document holds no forwarder, so the event goes nowhere.
  EXPECT_EQ(out[3], "event:sent");
  systest::spinFor(0.3);
  EXPECT_EQ(run("return replies;"), json::array());

  // Back in the app, a command of its own is answered, and nothing the file
  // page sent was carried out.
  app.webView().loadRequest(HOME_URL, 60);
  ASSERT_TRUE(app.waitForLoads(3));
  run("send({cmd: 'status', cb: '9'});");
  json replies = repliesAfter(1);
  ASSERT_EQ(replies.size(), 1u) << replies.dump();
  EXPECT_EQ(replies[0][1]["autostart"], false);
  EXPECT_FALSE(fs::exists(autostartFile()));
}

TEST_F(Launch, TheSaveAndBadgeChannelsStayOpenToTheAppPage) {
  run("webkit.messageHandlers.hlvnBadge.postMessage({n: 7});");
  EXPECT_TRUE(systest::spinUntil([&] { return app.delegate().ball().count() == 7; }));

  const fs::path target = app.root.path() / "saved.txt";
  app.platform.dialogsScript.saveAnswers.push_back(target);
  run("webkit.messageHandlers.hlvnSave.postMessage({name: 'note.txt', data: btoa('hi there')});");
  ASSERT_TRUE(systest::spinUntil([&] { return !app.platform.workspaceLog.revealedFiles.empty(); }));
  EXPECT_EQ(app.platform.dialogsScript.savePanels.at(0).nameFieldValue, "note.txt");
  EXPECT_EQ(readFile(target), "hi there");
}

} // namespace

TEST_F(Launch, RepliesKeepComingWhileASavePanelIsUp) {
  // The scripted panel stays up the way a real one does: its own loop runs
  // until the user is done, here until the page has its answer or 10 s.
  bool answeredWhileUp = false;
  dialogs().onSavePanel = [&](const platform::SavePanelOptions&) {
    run("send({cmd: 'status', cb: '1'});");
    answeredWhileUp = app.waitForScript("replies.length >= 1", 10);
  };
  run("webkit.messageHandlers.hlvnSave.postMessage({name: 'a.txt', data: 'aGk='});");
  ASSERT_TRUE(waitForPanels(1));
  EXPECT_TRUE(answeredWhileUp);
}
