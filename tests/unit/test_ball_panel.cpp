#include "ball/BallPanel.h"

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
  fakes::FakeDefaults defaults;
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
  fakes::FakeDefaults defaults;
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
