// Counts posted by a real page on "hlvnBadge" reaching the ball.

#include "PageTest.h"
#include "support/SystemHarness.h"

#include "ball/BallView.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// barrier() resolves once every message posted before it has been handled:
// the launch channel's answer comes through the same serial main queue that
// the counts go through, after them.
const char* PAGE =
    "<!doctype html><meta charset=utf-8><title>Badge</title><script>"
    "window.replies = [];"
    "window.__hlvnApply = (token, reply) => window.replies.push(token);"
    "window.post = (body) => window.webkit.messageHandlers.hlvnBadge.postMessage(body);"
    "let next = 1;"
    "window.barrier = () => {"
    "  const token = next++;"
    "  window.webkit.messageHandlers.hlvnLaunch.postMessage("
    "    JSON.stringify({cmd: 'status', cb: String(token)}));"
    "  return new Promise((done) => {"
    "    const look = () => window.replies.includes(token) ? done() : setTimeout(look, 5);"
    "    look();"
    "  });"
    "};"
    "</script>";

class Badge : public PageTest {
protected:
  Badge() : PageTest(PAGE) {}
  // Posts the bodies (JavaScript expressions) in one turn of the page, waits
  // until all are handled and returns the ball's count.
  int64_t postAll(const std::string& bodies) {
    systest::ScriptResult r =
        app.evaluate("for (const b of [" + bodies + "]) post(b); await barrier();");
    EXPECT_TRUE(r.ok) << r.error;
    return app.delegate().ball().count();
  }
};

TEST_F(Badge, AWholeNumberBecomesTheBallsCount) {
  EXPECT_EQ(app.delegate().ball().count(), 0);
  EXPECT_EQ(postAll("{n: 3}"), 3);
  EXPECT_EQ(postAll("{n: 0}"), 0);
  EXPECT_EQ(postAll("{n: -3}"), -3);
  // Beyond 32 bits, and exactly representable: passes unchanged.
  EXPECT_EQ(postAll("{n: 2 ** 40}"), int64_t(1) << 40);
  EXPECT_EQ(postAll("{n: -(2 ** 53)}"), -(int64_t(1) << 53));
  // Further members are ignored; a whole number written as 4.0 is 4.
  EXPECT_EQ(postAll("{n: 4, label: 'x'}"), 4);
  EXPECT_EQ(postAll("{n: 5.0}"), 5);
}

TEST_F(Badge, ABurstOfCountsEndsAtTheLastOne) {
  systest::ScriptResult up =
      app.evaluate("for (let i = 1; i <= 100; ++i) post({n: i}); await barrier();");
  ASSERT_TRUE(up.ok) << up.error;
  EXPECT_EQ(app.delegate().ball().count(), 100);
  systest::ScriptResult down =
      app.evaluate("for (let i = 100; i >= 1; --i) post({n: i}); await barrier();");
  ASSERT_TRUE(down.ok) << down.error;
  EXPECT_EQ(app.delegate().ball().count(), 1);
}

TEST_F(Badge, MalformedBodiesLeaveTheCountAsItWas) {
  // A count none of the bodies below could be read as.
  ASSERT_EQ(postAll("{n: 42}"), 42);
  for (const char* body : {"{n: '3'}",
                           "{n: 3.5}",
                           "{}",
                           "7",
                           "null",
                           "true",
                           "'9'",
                           "[8]",
                           "{n: true}",
                           "{n: null}",
                           "{n: 1e20}",
                           "{n: -1e20}",
                           "{n: NaN}",
                           "{n: Infinity}",
                           "{n: [2]}",
                           "{n: {n: 2}}",
                           "{N: 6}",
                           "{n: 2 ** 63}",
                           "{n: 0.1 + 0.2}",
                           "{n: undefined}",
                           "{n: () => 1}"})
    EXPECT_EQ(postAll(body), 42) << body;
  // The barrier does wait for counts: the next good one still lands.
  EXPECT_EQ(postAll("{n: 8}"), 8);
}

} // namespace
