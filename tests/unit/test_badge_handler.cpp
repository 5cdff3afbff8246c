#include "bridge/BadgeHandler.h"

#include "ball/BallView.h"
#include "test_ball_fakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

using nlohmann::json;

namespace {

json withN(json n) {
  return json{{"n", std::move(n)}};
}

platform::ScriptMessage message(json body) {
  platform::ScriptMessage m;
  m.body = std::move(body);
  return m;
}

} // namespace

TEST(BadgeCount, AcceptsWholeNumbersThatFitInt64) {
  EXPECT_EQ(countFromBody(withN(5)), 5);
  EXPECT_EQ(countFromBody(withN(0)), 0);
  EXPECT_EQ(countFromBody(withN(-3)), -3);
  EXPECT_EQ(countFromBody(json{{"n", 4}, {"label", "x"}, {"m", 9}}), 4);
  // Whole values that arrive as doubles, the usual form of a script number.
  EXPECT_EQ(countFromBody(withN(5.0)), 5);
  EXPECT_EQ(countFromBody(withN(-0.0)), 0);
  EXPECT_EQ(countFromBody(json::parse(R"({"n": 1e2})")), 100);
  // The ends of the range, however they arrive.
  EXPECT_EQ(countFromBody(json::parse(R"({"n": 9223372036854775807})")), INT64_MAX);
  EXPECT_EQ(countFromBody(json::parse(R"({"n": -9223372036854775808})")), INT64_MIN);
  EXPECT_EQ(countFromBody(withN(-9223372036854775808.0)), INT64_MIN);
  EXPECT_EQ(countFromBody(withN(std::nextafter(9223372036854775808.0, 0.0))),
            int64_t{9223372036854774784});
}

TEST(BadgeCount, DropsEverythingElse) {
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<json> bad{
      withN(2.5),
      withN(3.5),
      withN(-0.5),
      withN(1e20),
      withN(-1e20),
      withN(std::nan("")),
      withN(inf),
      withN(-inf),
      json::parse(R"({"n": 9223372036854775808})"), // 2^63, unsigned
      withN(9223372036854775808.0),                 // 2^63 as double
      withN(uint64_t{18446744073709551615u}),
      json::parse(R"({"n": 18446744073709551616})"), // beyond uint64, a double
      withN(std::nextafter(-9223372036854775808.0, -inf)),
      withN("4"),
      withN(true),
      withN(false),
      withN(nullptr),
      withN(json::array({1})),
      withN(json{{"n", 1}}),
      json::object(),
      json{{"N", 1}},
      json(5),
      json("5"),
      json::array({5}),
      json(true),
      json(nullptr),
  };
  for (const json& body : bad)
    EXPECT_EQ(countFromBody(body), std::nullopt) << body.dump();
}

TEST(BadgeHandler, DeliversOnALaterTurnToTheCallbackSetThen) {
  fakes::FakeMainQueue queue;
  auto handler = std::make_shared<BadgeHandler>(queue);
  std::vector<int64_t> seen;

  handler->didReceiveScriptMessage(message(withN(5)));
  ASSERT_EQ(queue.pending.size(), 1u);
  // Set after the message arrived: the delivery reads it when it runs.
  handler->onCount = [&](int64_t n) { seen.push_back(n); };
  EXPECT_TRUE(seen.empty());
  queue.runAll();
  EXPECT_EQ(seen, (std::vector<int64_t>{5}));

  // Malformed and unrepresentable messages schedule nothing.
  handler->didReceiveScriptMessage(message(withN(2.5)));
  handler->didReceiveScriptMessage(message(json(5)));
  handler->didReceiveScriptMessage(platform::ScriptMessage{});
  EXPECT_TRUE(queue.pending.empty());

  // Without a callback the delivery does nothing.
  handler->didReceiveScriptMessage(message(withN(6)));
  handler->onCount = nullptr;
  queue.runAll();
  EXPECT_EQ(seen, (std::vector<int64_t>{5}));
}

TEST(BadgeHandler, PendingDeliveryKeepsTheHandlerAlive) {
  fakes::FakeMainQueue queue;
  int64_t got = 0;
  auto handler = std::make_shared<BadgeHandler>(queue);
  handler->onCount = [&](int64_t n) { got = n; };
  std::weak_ptr<BadgeHandler> watch = handler;

  handler->didReceiveScriptMessage(message(withN(-3)));
  handler.reset();
  EXPECT_FALSE(watch.expired());
  queue.runAll();
  EXPECT_EQ(got, -3);
  EXPECT_TRUE(watch.expired());
}

TEST(BadgeHandler, BurstEndsOnTheLastCountAndRepeatsCostNoRedraw) {
  fakes::FakeMainQueue queue;
  fakes::FakeScreens screens;
  fakes::FakeView view;
  BallView ball(screens);
  ball.attach(&view, nullptr);
  auto handler = std::make_shared<BadgeHandler>(queue);
  std::vector<int64_t> applied;
  handler->onCount = [&](int64_t n) {
    applied.push_back(n);
    ball.setCount(n);
  };

  std::vector<int64_t> sent;
  for (int64_t i = 1; i <= 100; ++i) {
    int64_t n = (i * 37) % 101; // a shuffled run, so order matters
    sent.push_back(n);
    handler->didReceiveScriptMessage(message(withN(n)));
  }
  EXPECT_EQ(ball.count(), 0);
  queue.runAll();
  EXPECT_EQ(applied, sent);
  EXPECT_EQ(ball.count(), sent.back());
  EXPECT_EQ(view.redraws, 100);

  // The same value twice is applied twice but redraws nothing.
  handler->didReceiveScriptMessage(message(withN(sent.back())));
  handler->didReceiveScriptMessage(message(withN(sent.back())));
  queue.runAll();
  EXPECT_EQ(applied.size(), 102u);
  EXPECT_EQ(view.redraws, 100);
}
