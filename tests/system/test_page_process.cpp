// The page's web process ending under a loaded page: the app loads the page
// again in the same window, and asks the user once it keeps ending.

#include "PageTest.h"
#include "support/SystemHarness.h"

#include "ball/BallView.h"

#include <webkit2/webkit2.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Posts its count as soon as it runs; barrier() resolves once the launch
// channel has answered a "status" command.
const std::string PAGE =
    std::string(
        "<!doctype html><meta charset=utf-8><title>Lives</title><script>"
        "window.post = (channel, body) => webkit.messageHandlers[channel].postMessage(body);"
        "post('hlvnBadge', {n: 7});") +
    BARRIER_SCRIPT + "</script>";

class PageProcess : public PageTest {
protected:
  PageProcess() : PageTest(PAGE) {}

  // Ends the page's process and waits for the next finished load.
  bool endProcessAndWaitForLoad() {
    int loads = app.loadsFinished();
    webkit_web_view_terminate_web_process(WEBKIT_WEB_VIEW(app.webViewWidget()));
    return app.waitForLoads(loads + 1, 15);
  }
};

TEST_F(PageProcess, AnEndedProcessLoadsThePageAgainUntilItKeepsEnding) {
  // A count of the test's own, so that the page's next one is seen arriving.
  run("webkit.messageHandlers.hlvnBadge.postMessage({n: 41}); location.hash = 'week';"
      "await barrier();");
  ASSERT_EQ(app.delegate().ball().count(), 41);
  platform::Rect frame = app.mainWindow().frame();
  const std::string url = app.webView().currentURL();
  ASSERT_EQ(url, "halvane://local/index.html#week");

  ASSERT_TRUE(endProcessAndWaitForLoad());
  // The page it was showing, live again: the launch channel answers and the
  // count the reloaded page posts reaches the ball.
  EXPECT_EQ(app.webView().currentURL(), url);
  EXPECT_EQ(run("await barrier(); return location.hash;"), "#week");
  EXPECT_TRUE(systest::spinUntil([&] { return app.delegate().ball().count() == 7; }, 5));
  EXPECT_TRUE(app.mainWindow().isVisible());
  EXPECT_EQ(app.mainWindow().frame(), frame);

  // Two more ends are reloaded without a word; the fourth within a minute
  // asks, and "重新加载" loads the page once more.
  ASSERT_TRUE(endProcessAndWaitForLoad());
  ASSERT_TRUE(endProcessAndWaitForLoad());
  EXPECT_TRUE(dialogs().buttonAlerts.empty());
  dialogs().buttonAnswers = {platform::AlertButton::First};
  ASSERT_TRUE(endProcessAndWaitForLoad());
  ASSERT_EQ(dialogs().buttonAlerts.size(), 1u);
  EXPECT_EQ(dialogs().buttonAlerts[0].message, "页面意外停止");
  EXPECT_EQ(run("await barrier(); return location.href;"), url);
  EXPECT_EQ(app.platform.app.terminateCalls, 0);
}

} // namespace
