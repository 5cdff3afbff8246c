#include "bridge/LaunchHandler.h"

#include "system/Autostart.h"
#include "system/Install.h"
#include "test_ball_fakes.h"
#include "test_install_roots.h"
#include "web/Navigation.h"
#include "web/PageRecovery.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;
using roots::Machine;

namespace {

platform::ScriptMessage appMessage(std::optional<json> body) {
  platform::ScriptMessage message;
  message.body = std::move(body);
  message.fromMainFrame = true;
  message.senderScheme = "halvane";
  return message;
}

std::string commandText(const std::string& cmd, const std::string& cb, json params = nullptr) {
  json command{{"cmd", cmd}, {"cb", cb}};
  if (!params.is_null())
    command["params"] = std::move(params);
  return command.dump();
}

// The JSON argument of a reply script for the given token.
std::string replyJson(const std::string& script, const std::string& token) {
  const std::string head = "window.__hlvnApply && window.__hlvnApply(" + token + ", ";
  if (!script.starts_with(head) || !script.ends_with(");"))
    return "";
  return script.substr(head.size(), script.size() - head.size() - 2);
}

std::string nested(int levels) {
  return std::string(levels, '[') + std::string(levels, ']');
}

} // namespace

TEST(LaunchCommandParsing, ReadsCmdAndCbAndIgnoresTheRest) {
  auto command = launchCommandFromBody(json(R"({"cmd":"status","cb":"7","extra":[1,{}]})"));
  ASSERT_TRUE(command.has_value());
  EXPECT_EQ(command->cmd, "status");
  EXPECT_EQ(command->cb, "7");
  // Whitespace around the object is no trailing garbage.
  EXPECT_TRUE(launchCommandFromText(" \n{\"cmd\":\"x\",\"cb\":\"\"}\t ").has_value());
  // Nesting up to the limit is fine, and brackets inside strings are text.
  EXPECT_TRUE(launchCommandFromText(R"({"cmd":"s","cb":"1","p":)" + nested(63) + "}"));
  EXPECT_TRUE(launchCommandFromText(R"({"cmd":"s","cb":")" + std::string(500, '[') + "\"}"));
}

TEST(LaunchCommandParsing, DropsEverythingMalformed) {
  const std::string valid = R"({"cmd":"status","cb":"1"})";
  // Not a string of text: an object, even a well-formed command, or nothing.
  EXPECT_FALSE(launchCommandFromBody(json::parse(valid)));
  EXPECT_FALSE(launchCommandFromBody(json(5)));
  EXPECT_FALSE(launchCommandFromBody(json(nullptr)));

  std::vector<std::string> bad{
      "",
      "{",
      "not json",
      valid + " x",
      valid + valid,
      R"([{"cmd":"status","cb":"1"}])",
      R"("{\"cmd\":\"status\",\"cb\":\"1\"}")",
      "1",
      "null",
      R"({"cmd":"status","cb":1})",
      R"({"cmd":"status","cb":null})",
      R"({"cmd":"status"})",
      R"({"cb":"1"})",
      R"({"cmd":["status"],"cb":"1"})",
      // A lone surrogate has no UTF-8 form, paired or not.
      R"({"cmd":"status","cb":"1","x":"\uD800"})",
      R"({"cmd":"status","cb":"1","x":"\uDC00\uD800"})",
      // Bytes that are not UTF-8, inside and outside strings.
      "{\"cmd\":\"status\",\"cb\":\"1\xff\"}",
      "{\"cmd\":\"status\",\"cb\":\"\xc0\xaf\"}",
      "{\"cmd\":\"status\",\"cb\":\"\xed\xa0\x80\"}",
      "\xef\xbb\xbf\xff" + valid,
      std::string("{\"cmd\":\"status\",\"cb\":\"1\0\"}", 26),
      // One level too deep, and far too deep.
      R"({"cmd":"s","cb":"1","p":)" + nested(64) + "}",
      std::string(100000, '['),
      R"({"cmd":"s","cb":"1","p":)" + std::string(100000, '{'),
  };
  for (const std::string& text : bad) {
    EXPECT_FALSE(launchCommandFromText(text)) << testing::PrintToString(text.substr(0, 60));
    EXPECT_FALSE(launchCommandFromBody(json(text)));
  }
}

TEST(LaunchCommandParsing, OnlyTrueOrANumberEqualToOneMeansOn) {
  for (const char* on : {"true", "1", "1.0", "1e0"})
    EXPECT_TRUE(launchCommandFromText(
                    std::string(R"({"cmd":"autostart","cb":"1","params":{"on":)") + on + "}}")
                    ->on)
        << on;
  for (const char* on :
       {"false", "0", "2", "-1", "1.5", "0.9999", "null", "\"1\"", "\"true\"", "[1]", "{}"})
    EXPECT_FALSE(launchCommandFromText(
                     std::string(R"({"cmd":"autostart","cb":"1","params":{"on":)") + on + "}}")
                     ->on)
        << on;
  for (const char* params : {"", R"(,"params":{})", R"(,"params":[true])", R"(,"params":1)",
                             R"(,"params":null)", R"(,"on":true)"})
    EXPECT_FALSE(
        launchCommandFromText(std::string(R"({"cmd":"autostart","cb":"1")") + params + "}")->on)
        << params;
}

TEST(LaunchCommands, StatusHasExactlyTheFourEntriesAndChangesNothing) {
  Machine mac(TestSystem::Mac);
  auto before = roots::snapshot(mac.dir.path());
  json status = runLaunchCommand({"status", "1", true}, mac.env);
  EXPECT_EQ(status, (json{{"kind", "mac"},
                          {"installed", false},
                          {"autostart", false},
                          {"appPath", mac.env.bundlePath.string()}}));
  EXPECT_EQ(roots::snapshot(mac.dir.path()), before);

  ASSERT_TRUE(hlvnSetAutostart(mac.env, true));
  mac.env.bundlePath = mac.env.applicationsDirectory / "Tools" / "Tessaloom.app";
  status = runLaunchCommand({"status", "1", false}, mac.env);
  EXPECT_EQ(status["autostart"], true);
  EXPECT_EQ(status["installed"], true);

  Machine linux(TestSystem::Linux);
  status = runLaunchCommand({"status", "1", false}, linux.env);
  EXPECT_EQ(status, (json{{"kind", "linux"},
                          {"installed", false},
                          {"autostart", false},
                          {"appPath", linux.env.bundlePath.string()}}));
}

TEST(LaunchCommands, StatusSeesTheCopyInALinkedApplicationsFolder) {
  // ~/Applications is a link to a folder elsewhere; the copy installed there
  // learns its own path with links resolved, as the Linux app does.
  Machine machine(TestSystem::Linux);
  const fs::path real = machine.dir.path() / "disk2" / "Apps";
  fs::create_directories(real);
  fs::create_directory_symlink(real, machine.env.applicationsDirectory);
  ASSERT_TRUE(hlvnInstallToApplications(machine.env).ok);
  ASSERT_TRUE(fs::is_regular_file(real / "Tessaloom" / "tessaloom"));

  platform::Environment copy = machine.env;
  copy.bundlePath = real / "Tessaloom";
  copy.executablePath = copy.bundlePath / "tessaloom";
  EXPECT_EQ(runLaunchCommand({"status", "1", false}, copy)["installed"], true);
  // The same copy reached through the link, the folder named by its real path.
  copy.bundlePath = machine.env.applicationsDirectory / "Tessaloom";
  copy.applicationsDirectory = real;
  EXPECT_EQ(runLaunchCommand({"status", "1", false}, copy)["installed"], true);
  // A folder beside it is not the Applications folder.
  copy.bundlePath = machine.dir.path() / "disk2" / "Apps2" / "Tessaloom";
  EXPECT_EQ(runLaunchCommand({"status", "1", false}, copy)["installed"], false);
  EXPECT_EQ(runLaunchCommand({"status", "1", false}, machine.env)["installed"], false);
}

TEST(LaunchCommands, AutostartReportsTheStateItReached) {
  Machine machine(TestSystem::Mac);
  EXPECT_EQ(runLaunchCommand({"autostart", "1", true}, machine.env),
            (json{{"ok", true}, {"autostart", true}}));
  EXPECT_TRUE(hlvnAutostartEnabled(machine.env));

  // A command without "params" asks for off.
  auto off = launchCommandFromText(R"({"cmd":"autostart","cb":"2"})");
  ASSERT_TRUE(off);
  EXPECT_EQ(runLaunchCommand(*off, machine.env), (json{{"ok", true}, {"autostart", false}}));
  EXPECT_FALSE(hlvnAutostartEnabled(machine.env));

  // A failed call never reports on.
  fs::path folder = autostartItemPath(machine.env).parent_path();
  fs::remove_all(folder);
  writeFile(folder, "in the way");
  EXPECT_EQ(runLaunchCommand({"autostart", "1", true}, machine.env),
            (json{{"ok", false}, {"autostart", false}}));
}

TEST(LaunchCommands, ATranslocatedCopyRefusesAutostartWithAReasonAndWritesNothing) {
  // Where macOS runs a quarantined app opened from Downloads.
  Machine machine(TestSystem::Mac, "AppTranslocation/5D2C1F/d/Tessaloom.app");
  auto before = roots::snapshot(machine.dir.path());
  json refused = runLaunchCommand({"autostart", "1", true}, machine.env);
  EXPECT_EQ(refused["ok"], false);
  EXPECT_EQ(refused["autostart"], false);
  ASSERT_TRUE(refused.contains("error"));
  EXPECT_NE(refused["error"].get<std::string>().find("「应用程序」"), std::string::npos);
  EXPECT_EQ(roots::snapshot(machine.dir.path()), before);
  // Status and turning off still work.
  EXPECT_EQ(runLaunchCommand({"status", "1", false}, machine.env)["autostart"], false);
  EXPECT_EQ(runLaunchCommand({"autostart", "1", false}, machine.env),
            (json{{"ok", true}, {"autostart", false}}));

  // Only macOS translocates: the same folder name on Linux is an ordinary folder.
  Machine linux(TestSystem::Linux, "AppTranslocation");
  EXPECT_EQ(runLaunchCommand({"autostart", "1", true}, linux.env),
            (json{{"ok", true}, {"autostart", true}}));
}

TEST(LaunchCommands, WhereTheSystemHoldsLoginItemsBackItsWordDecidesWithTheFile) {
  // macOS 13 and later: the user can switch the agent off in Login Items and
  // the file stays.
  Machine machine(TestSystem::Mac);
  const fs::path item = autostartItemPath(machine.env);
  auto approval = platform::LoginItemApproval::NotEnabled;
  std::vector<fs::path> asked;
  machine.env.loginItemApproval = [&](const fs::path& path) {
    asked.push_back(path);
    return approval;
  };
  auto status = [&] { return runLaunchCommand({"status", "1", false}, machine.env); };

  // On is written as before, but the page hears why it is not on.
  json refused = runLaunchCommand({"autostart", "1", true}, machine.env);
  EXPECT_EQ(refused, (json{{"ok", false},
                           {"autostart", false},
                           {"error", "开机自启已设置，但 macOS 还没有允许它：请在「系统设置 › "
                                     "通用 › 登录项」中打开「Tessaloom」。"}}));
  ASSERT_TRUE(autostartItemText(machine.env));
  EXPECT_EQ(readFile(item), *autostartItemText(machine.env));
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.back(), item);
  EXPECT_EQ(status(), (json{{"kind", "mac"},
                            {"installed", false},
                            {"autostart", false},
                            {"appPath", machine.env.bundlePath.string()}}));

  // The user allows it: on, with the same file.
  approval = platform::LoginItemApproval::Enabled;
  EXPECT_EQ(status()["autostart"], true);
  EXPECT_EQ(runLaunchCommand({"autostart", "1", true}, machine.env),
            (json{{"ok", true}, {"autostart", true}}));

  // Off removes the file whatever the system says; without the file the
  // system's word alone is not on.
  approval = platform::LoginItemApproval::NotEnabled;
  EXPECT_EQ(runLaunchCommand({"autostart", "1", false}, machine.env),
            (json{{"ok", true}, {"autostart", false}}));
  EXPECT_FALSE(fs::exists(fs::symlink_status(item)));
  approval = platform::LoginItemApproval::Enabled;
  EXPECT_EQ(status()["autostart"], false);

  // Where the system has no such switch (macOS 11 and 12), the file decides.
  approval = platform::LoginItemApproval::NotApplicable;
  EXPECT_EQ(runLaunchCommand({"autostart", "1", true}, machine.env),
            (json{{"ok", true}, {"autostart", true}}));
  EXPECT_EQ(status()["autostart"], true);
}

TEST(LaunchCommands, InstallAndUnknownReplies) {
  Machine machine(TestSystem::Linux);
  EXPECT_EQ(runLaunchCommand({"install", "1", false}, machine.env),
            (json{{"ok", true}, {"installed", true}}));

  ASSERT_EQ(::mkfifo((machine.env.bundlePath / "pipe").c_str(), 0644), 0);
  json failed = runLaunchCommand({"install", "1", false}, machine.env);
  EXPECT_EQ(failed["ok"], false);
  ASSERT_TRUE(failed.contains("error"));
  EXPECT_TRUE(failed["error"].get<std::string>().starts_with("复制到应用程序文件夹失败（"));
  EXPECT_FALSE(failed.contains("installed"));
  EXPECT_EQ(failed.size(), 2u);

  for (const char* cmd : {"Status", "STATUS", "status ", "", "uninstall"})
    EXPECT_EQ(runLaunchCommand({cmd, "1", true}, machine.env),
              (json{{"ok", false}, {"error", "unknown cmd"}}))
        << cmd;
  EXPECT_FALSE(hlvnAutostartEnabled(machine.env));
}

TEST(LaunchReply, TheTokenGoesInVerbatimAndTheJsonStaysScriptSafe) {
  EXPECT_EQ(launchReplyScript("7", json{{"ok", false}, {"error", "unknown cmd"}}),
            R"(window.__hlvnApply && window.__hlvnApply(7, {"error":"unknown cmd","ok":false});)");
  EXPECT_EQ(launchReplyScript("cbs['a b']", json::object()),
            "window.__hlvnApply && window.__hlvnApply(cbs['a b'], {});");

  // Line separators are fine in JSON but ended lines in older JavaScript.
  const std::string awkward = "a\u2028b\u2029c \"quoted\" back\\slash \n\r\t\x01\x1f </script> é";
  json reply{{"error", awkward}, {"ok", false}};
  std::string script = launchReplyScript("1", reply);
  EXPECT_EQ(script.find("\u2028"), std::string::npos);
  EXPECT_EQ(script.find("\u2029"), std::string::npos);
  for (char c : script)
    EXPECT_GE(static_cast<unsigned char>(c), 0x20) << "raw control character in the script";
  json back = json::parse(replyJson(script, "1"), nullptr, false);
  ASSERT_FALSE(back.is_discarded()) << script;
  EXPECT_EQ(back, reply);

  // A path that is not UTF-8 cannot fail the reply.
  Machine machine(TestSystem::Linux);
  machine.env.bundlePath = "/home/x/\xff\xfe/Tessaloom";
  std::string status =
      launchReplyScript("2", runLaunchCommand({"status", "2", false}, machine.env));
  json parsed = json::parse(replyJson(status, "2"), nullptr, false);
  ASSERT_FALSE(parsed.is_discarded()) << status;
  EXPECT_EQ(parsed["appPath"], "/home/x/\uFFFD\uFFFD/Tessaloom");
}

class LaunchHandlerTest : public testing::Test {
protected:
  Machine machine{TestSystem::Mac};
  fakes::FakeMainQueue queue;
  std::shared_ptr<fakes::RecordingWebView> view = std::make_shared<fakes::RecordingWebView>();
  std::shared_ptr<LaunchHandler> handler = std::make_shared<LaunchHandler>(queue, machine.env);

  void SetUp() override { handler->webView = view; }
};

TEST_F(LaunchHandlerTest, RunsTheCommandAtOnceAndRepliesOnALaterTurn) {
  handler->didReceiveScriptMessage(appMessage(json(commandText("autostart", "1", {{"on", true}}))));
  // The command has run before any reply goes out.
  EXPECT_TRUE(hlvnAutostartEnabled(machine.env));
  EXPECT_TRUE(view->scripts.empty());
  handler->didReceiveScriptMessage(appMessage(json(commandText("nope", "\"second\""))));

  queue.runAll();
  ASSERT_EQ(view->scripts.size(), 2u);
  EXPECT_EQ(view->scripts[0], launchReplyScript("1", json{{"ok", true}, {"autostart", true}}));
  EXPECT_EQ(json::parse(replyJson(view->scripts[1], "\"second\"")),
            (json{{"ok", false}, {"error", "unknown cmd"}}));
}

TEST_F(LaunchHandlerTest, OnlyTheAppsOwnMainFrameIsHeard) {
  const json body(commandText("autostart", "1", {{"on", true}}));
  auto subframe = appMessage(body);
  subframe.fromMainFrame = false;
  auto otherScheme = appMessage(body);
  otherScheme.senderScheme = "https";
  // The channel's gate drops these before the handler hears them.
  platform::MessageChannel channel = registeredChannel(handler);
  for (const auto& message : {subframe, otherScheme})
    channel.handler(message);

  // The sender claims the app's origin, but the main frame shows another page.
  for (const char* url :
       {"https://example.com/", "file:///tmp/x.html", "halvanex://local/", "", "about:blank"}) {
    view->url = url;
    handler->didReceiveScriptMessage(appMessage(body));
  }
  // No web view to answer in: nothing runs either.
  view->url = "halvane://local/index.html";
  handler->webView.reset();
  handler->didReceiveScriptMessage(appMessage(body));
  // A body that could not be represented.
  handler->webView = view;
  handler->didReceiveScriptMessage(appMessage(std::nullopt));

  EXPECT_TRUE(queue.pending.empty());
  EXPECT_FALSE(hlvnAutostartEnabled(machine.env));
  EXPECT_FALSE(fs::exists(autostartItemPath(machine.env).parent_path()));
}

TEST_F(LaunchHandlerTest, AReplyIsDroppedWhenThePageHasGoneByThen) {
  handler->didReceiveScriptMessage(appMessage(json(commandText("status", "1"))));
  view->url = "https://example.com/";
  queue.runAll();
  EXPECT_TRUE(view->scripts.empty());

  // The web view itself is gone: the reply is dropped, and the handler's
  // reference never kept it alive.
  view->url = "halvane://local/index.html";
  handler->didReceiveScriptMessage(appMessage(json(commandText("status", "2"))));
  std::weak_ptr<fakes::RecordingWebView> watch = view;
  view.reset();
  EXPECT_TRUE(watch.expired());
  queue.runAll();
}

// The gate, the handler and the window's navigation answer alike: a scheme
// in another letter case is still the app's own, anything else after or
// before it is not.
TEST(OwnAddress, TheGateTheHandlerAndTheNavigationAgree) {
  struct Case {
    const char* url;
    bool own;
  };
  for (const Case& c : {Case{"halvane://local/index.html", true},
                        {"HALVANE://local/a.html", true},
                        {"Halvane://local/", true},
                        {"halvane:opaque", true},
                        {"halvanex://local/", false},
                        {"halvan://local/", false},
                        {"halvane", false},
                        {"", false},
                        {" halvane://local/", false},
                        {"blob:halvane://local/1", false},
                        {"x:halvane://", false},
                        {"https://example.com/", false}}) {
    auto view = std::make_shared<fakes::RecordingWebView>();
    view->url = c.url;
    EXPECT_EQ(showsAppPage(view), c.own) << c.url;
    EXPECT_EQ(responsePolicy({c.url, false, "x"}) == platform::ResponsePolicy::Ignore, c.own)
        << c.url;
    EXPECT_EQ(addressAfterPageProcessEnd(c.url) == c.url, c.own) << c.url;
  }
  for (const char* scheme : {"halvane", "HALVANE", "Halvane"}) {
    platform::ScriptMessage message = appMessage(json("x"));
    message.senderScheme = scheme;
    EXPECT_TRUE(senderAllowed(LAUNCH_CHANNEL, message)) << scheme;
  }
  for (const char* scheme : {"halvanex", "halvan", "", "https", "halvane:"}) {
    platform::ScriptMessage message = appMessage(json("x"));
    message.senderScheme = scheme;
    EXPECT_FALSE(senderAllowed(LAUNCH_CHANNEL, message)) << scheme;
  }
}
