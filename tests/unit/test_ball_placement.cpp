#include "ball/BallPlacement.h"
#include "platform/GeometryText.h"

#include "test_ball_fakes.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using platform::Point;
using platform::Rect;

namespace {

const Rect LAPTOP{{0, 80}, {1440, 795}};
const Rect RIGHT_MONITOR{{1440, 0}, {1920, 1080}};
const Point LAPTOP_DEFAULT{1340, 114};

} // namespace

TEST(BallPlacement, DefaultsToTheLowerRightOfTheMainScreen) {
  EXPECT_EQ(ballPanelOrigin(std::nullopt, LAPTOP, {LAPTOP}), LAPTOP_DEFAULT);
  EXPECT_EQ(ballPanelOrigin(std::nullopt, RIGHT_MONITOR, {LAPTOP, RIGHT_MONITOR}),
            (Point{3260, 34}));
  EXPECT_EQ(ballPanelOrigin(std::nullopt, std::nullopt, {}), (Point{1200, 120}));
  EXPECT_EQ(ballContentRect(LAPTOP_DEFAULT), (Rect{{1340, 114}, {66, 66}}));
}

TEST(BallPlacement, StoredPositionIsUsedExactlyWhileReachable) {
  EXPECT_EQ(ballPanelOrigin("{10, 120}", LAPTOP, {LAPTOP}), (Point{10, 120}));
  EXPECT_EQ(ballPanelOrigin("{812.25, 400.5}", LAPTOP, {LAPTOP}), (Point{812.25, 400.5}));
  // Partly off the screen, but the centre is still on it.
  EXPECT_EQ(ballPanelOrigin("{-30, 500}", LAPTOP, {LAPTOP}), (Point{-30, 500}));
  EXPECT_EQ(ballPanelOrigin("{1400, 830}", LAPTOP, {LAPTOP}), (Point{1400, 830}));
  // On a second screen that is not the main one.
  EXPECT_EQ(ballPanelOrigin("{2000, 10}", LAPTOP, {LAPTOP, RIGHT_MONITOR}), (Point{2000, 10}));
  // The main screen counts even if the list leaves it out.
  EXPECT_EQ(ballPanelOrigin("{100, 100}", LAPTOP, {}), (Point{100, 100}));
  // A screen but no main screen.
  EXPECT_EQ(ballPanelOrigin("{2000, 10}", std::nullopt, {RIGHT_MONITOR}), (Point{2000, 10}));
}

TEST(BallPlacement, UnreachableOrUnreadablePositionFallsBack) {
  // The monitor it was left on is gone.
  EXPECT_EQ(ballPanelOrigin("{2000, 10}", LAPTOP, {LAPTOP}), LAPTOP_DEFAULT);
  // Centre just past the left edge, and exactly on the far edges (half-open).
  EXPECT_EQ(ballPanelOrigin("{-33.5, 500}", LAPTOP, {LAPTOP}), LAPTOP_DEFAULT);
  EXPECT_EQ(ballPanelOrigin("{1407, 500}", LAPTOP, {LAPTOP}), LAPTOP_DEFAULT);
  EXPECT_EQ(ballPanelOrigin("{1406.5, 500}", LAPTOP, {LAPTOP}), (Point{1406.5, 500}));
  EXPECT_EQ(ballPanelOrigin("{500, 842}", LAPTOP, {LAPTOP}), LAPTOP_DEFAULT);
  // Under the Dock: off the visible area.
  EXPECT_EQ(ballPanelOrigin("{500, 10}", LAPTOP, {LAPTOP}), LAPTOP_DEFAULT);
  // Numbers too large for a coordinate, words, nothing at all.
  EXPECT_EQ(ballPanelOrigin("{1e999, 500}", LAPTOP, {LAPTOP}), LAPTOP_DEFAULT);
  EXPECT_EQ(ballPanelOrigin("{-1e999, 500}", LAPTOP, {LAPTOP}), LAPTOP_DEFAULT);
  EXPECT_EQ(ballPanelOrigin("{nan, nan}", LAPTOP, {LAPTOP}), LAPTOP_DEFAULT);
  EXPECT_EQ(ballPanelOrigin("garbage", LAPTOP, {LAPTOP}), LAPTOP_DEFAULT);
  EXPECT_EQ(ballPanelOrigin("", LAPTOP, {LAPTOP}), LAPTOP_DEFAULT);
  // No screens at all.
  EXPECT_EQ(ballPanelOrigin("{100, 100}", std::nullopt, {}), (Point{1200, 120}));
}

TEST(BallPlacement, LaunchReadsButNeverWritesThePosition) {
  fakes::MemoryDefaults defaults;
  fakes::FakeScreens screens;
  screens.main = LAPTOP;
  screens.frames = {LAPTOP};

  EXPECT_EQ(ballPanelOrigin(defaults, screens), LAPTOP_DEFAULT);
  defaults.values["ballPos"] = "{2000, 10}";
  EXPECT_EQ(ballPanelOrigin(defaults, screens), LAPTOP_DEFAULT);
  defaults.values["ballPos"] = "{700, 300}";
  EXPECT_EQ(ballPanelOrigin(defaults, screens), (Point{700, 300}));
  EXPECT_EQ(defaults.writes, 0);
  EXPECT_EQ(defaults.values.size(), 1u);
}

TEST(BallPlacement, DragEndStoresTheOriginForTheNextLaunch) {
  fakes::MemoryDefaults defaults;
  fakes::FakePanel panel;
  panel.origin = {812.25, -20};
  storeBallPosition(panel, defaults);
  EXPECT_EQ(defaults.writes, 1);
  EXPECT_EQ(defaults.values["ballPos"], "{812.25, -20}");

  panel.origin = {640, 360};
  storeBallPosition(panel, defaults);
  fakes::FakeScreens screens;
  screens.main = LAPTOP;
  screens.frames = {LAPTOP};
  EXPECT_EQ(ballPanelOrigin(defaults, screens), (Point{640, 360}));
}

TEST(BallPlacement, ADroppedBallStaysOnItsScreenAndComesBackWithIt) {
  // Two screens side by side; the left one has a menu bar at its top.
  const Rect left{{0, 0}, {1440, 875}};
  const Rect right{{1440, 0}, {1920, 1080}};
  fakes::MemoryDefaults defaults;
  fakes::FakePanel panel;
  fakes::FakeScreens screens;
  screens.main = left;
  screens.frames = {left, right};

  // Let go under the menu bar: it comes down inside the visible frame.
  panel.origin = {700, 860};
  screens.pointer = {733, 893};
  settleBall(panel, screens, defaults);
  EXPECT_EQ(panel.origin, (Point{700, 875 - BALL_SIZE}));
  EXPECT_EQ(defaults.values["ballPos"], "{700, 809}");
  // Half off the right screen's far edge, the pointer on it: pulled in.
  panel.origin = {3340, 500};
  screens.pointer = {3355, 520};
  settleBall(panel, screens, defaults);
  EXPECT_EQ(panel.origin, (Point{3360 - BALL_SIZE, 500}));
  // Off every screen (the pointer too): onto the nearest one.
  panel.origin = {3500, 1200};
  screens.pointer = {3533, 1233};
  settleBall(panel, screens, defaults);
  EXPECT_EQ(panel.origin, (Point{3360 - BALL_SIZE, 1080 - BALL_SIZE}));

  // The right screen goes: the ball moves onto the one left, and the place
  // it was dropped stays remembered, so it goes back when the screen does.
  const std::string remembered = defaults.values["ballPos"];
  const int writes = defaults.writes;
  screens.frames = {left};
  replaceBallForScreens(panel, screens, defaults);
  EXPECT_TRUE(left.contains({panel.origin.x + BALL_SIZE / 2, panel.origin.y + BALL_SIZE / 2}));
  screens.frames = {left, right};
  replaceBallForScreens(panel, screens, defaults);
  EXPECT_EQ(stringFromPoint(panel.origin), remembered);
  EXPECT_EQ(defaults.writes, writes);
}
