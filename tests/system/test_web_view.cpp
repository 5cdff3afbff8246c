// What the assembled web view gives a page: the three channels in the app's
// own top page and in no frame, the save script ahead of the page's own
// (installed only where its channel is), and a launch channel that answers
// only the app's own top page.

#include "PageTest.h"
#include "support/SystemHarness.h"

#include <gtest/gtest.h>

namespace {

using nlohmann::json;

const char* INDEX = "<!doctype html><meta charset=utf-8><title>Assembly</title>"
                    "<script>"
                    "window.bridgeAtStart = window.__hlvnSaveBridge === true;"
                    "window.replies = [];"
                    "window.__hlvnApply = (token, reply) => window.replies.push([token, reply]);"
                    "</script>"
                    "<iframe id=f src=frame.html></iframe>";

const char* FRAME = "<!doctype html><meta charset=utf-8><script>"
                    "window.bridgeAtStart = window.__hlvnSaveBridge === true;"
                    "window.replies = [];"
                    "window.__hlvnApply = (token, reply) => window.replies.push([token, reply]);"
                    "</script>";

class WebViewAssembly : public PageTest {
protected:
  WebViewAssembly() : PageTest(INDEX) {}
  void SetUp() override {
    app.addResource("frame.html", FRAME);
    ASSERT_NO_FATAL_FAILURE(PageTest::SetUp());
    ASSERT_TRUE(app.waitForScript("document.getElementById('f').contentWindow.bridgeAtStart "
                                  "!== undefined"));
  }
};

TEST_F(WebViewAssembly, ThePageSeesTheThreeChannelsAndTheSaveScriptFirst) {
  systest::ScriptResult r =
      app.evaluate("const h = window.webkit.messageHandlers;"
                   "const has = (n) => !!h[n] && typeof h[n].postMessage === 'function';"
                   "const frame = document.getElementById('f').contentWindow;"
                   "return [has('hlvnSave'), has('hlvnBadge'), has('hlvnLaunch'), has('hlvnOther'),"
                   "  window.bridgeAtStart, frame.bridgeAtStart];");
  ASSERT_TRUE(r.ok) << r.error;
  // The frame has no save channel, so the save script leaves its downloads
  // to the engine.
  EXPECT_EQ(r.value, json::array({true, true, true, false, true, false}));
}

TEST_F(WebViewAssembly, TheLaunchChannelAnswersTheTopPageOnly) {
  // The frame tries first with token 1, then the page asks with token 2.
  // Answers come in order through the main queue and are evaluated in the
  // top page, so had the frame's request got through, 1 would be there.
  systest::ScriptResult r = app.evaluate(
      "const frame = document.getElementById('f').contentWindow;"
      "const ask = (w, token) => {"
      "  const h = w.webkit && w.webkit.messageHandlers && w.webkit.messageHandlers.hlvnLaunch;"
      "  if (h) h.postMessage(JSON.stringify({cmd: 'status', cb: String(token)}));"
      "};"
      "ask(frame, 1);"
      "ask(window, 2);"
      "while (!window.replies.some((r) => r[0] === 2))"
      "  await new Promise((done) => setTimeout(done, 5));"
      "return [window.replies.map((r) => r[0]), frame.replies.length,"
      "  window.replies[0][1].kind, typeof window.replies[0][1].installed];");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.value, json::parse(R"([[2], 0, "linux", "boolean"])"));
}

} // namespace
