#pragma once

#include "support/SystemHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// One app serving a test's page as index.html (plus whatever the fixture adds
// before SetUp), launched and loaded before each test.
class PageTest : public ::testing::Test {
protected:
  explicit PageTest(std::string_view page) { app.addResource("index.html", page); }
  void SetUp() override {
    app.launch();
    ASSERT_TRUE(app.waitForLoads(1));
  }

  // Runs the body in the page and expects it to succeed.
  nlohmann::json run(const std::string& body, double timeoutSeconds = 20) {
    systest::ScriptResult r = app.evaluate(body, timeoutSeconds);
    EXPECT_TRUE(r.ok) << r.error;
    return r.value;
  }

  systest::ScriptedDialogs& dialogs() { return app.platform.dialogsScript; }
  systest::RecordingWorkspace& workspace() { return app.platform.workspaceLog; }
  const std::filesystem::path& downloads() const { return *app.platform.env.downloadsDirectory; }
  bool waitForPanels(std::size_t count, double timeoutSeconds = 30) {
    return systest::spinUntil([&] { return dialogs().savePanels.size() >= count; }, timeoutSeconds);
  }

  systest::SystemApp app;
};

// A page script: barrier() resolves once every message posted before it has
// been handled, since the launch channel's answer to a "status" command comes
// through the same serial main queue. The page defines post(channel, body).
inline constexpr const char* BARRIER_SCRIPT =
    "window.replies = [];"
    "window.__hlvnApply = (token, reply) => window.replies.push(token);"
    "let next = 1;"
    "window.barrier = () => {"
    "  const token = next++;"
    "  post('hlvnLaunch', JSON.stringify({cmd: 'status', cb: String(token)}));"
    "  return new Promise((done) => {"
    "    const look = () => replies.includes(token) ? done() : setTimeout(look, 5);"
    "    look();"
    "  });"
    "};";
