#include "ball/BallView.h"

#include "test_ball_fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include <string>
#include <vector>

using fakes::CanvasOp;
using platform::Color;
using platform::Font;
using platform::GradientStop;
using platform::MenuItem;
using platform::Point;
using platform::Rect;

namespace {

const Rect BOUNDS{{0, 0}, {66, 66}};
const std::string RABBIT = "\xF0\x9F\x90\xB0";

struct Ball {
  fakes::FakeScreens screens;
  fakes::FakeView view;
  fakes::FakePanel panel;
  BallView ball{screens};
  int opens = 0, quits = 0, dragEnds = 0;

  Ball() {
    ball.attach(&view, &panel);
    ball.onOpen = [this] { ++opens; };
    ball.onQuit = [this] { ++quits; };
    ball.onDragEnd = [this] { ++dragEnds; };
    panel.origin = {500, 300};
    screens.pointer = {100, 100};
  }

  fakes::RecordingCanvas drawn(const Rect& bounds = BOUNDS) {
    fakes::RecordingCanvas canvas;
    canvas.sizes[RABBIT] = {30, 34};
    canvas.sizes["7"] = {8, 16};
    ball.draw(canvas, bounds);
    return canvas;
  }

  // One left-button gesture: press at the current pointer, drag through the
  // given points, release.
  void gesture(const std::vector<Point>& path) {
    ball.mouseDown();
    for (Point p : path) {
      screens.pointer = p;
      ball.mouseDragged();
    }
    ball.mouseUp();
  }
};

std::vector<CanvasOp> ofKind(const fakes::RecordingCanvas& c, CanvasOp::Kind kind) {
  std::vector<CanvasOp> out;
  for (const CanvasOp& op : c.ops)
    if (op.kind == kind)
      out.push_back(op);
  return out;
}

} // namespace

TEST(BallViewDrawing, PaintsClearDropFaceAndRabbitWithoutBadgeAtZero) {
  Ball b;
  auto canvas = b.drawn();
  ASSERT_EQ(canvas.ops.size(), 4u);

  EXPECT_EQ(canvas.ops[0].kind, CanvasOp::FillRect);
  EXPECT_EQ(canvas.ops[0].rect, BOUNDS);
  EXPECT_EQ(canvas.ops[0].color, (Color{0, 0, 0, 0}));

  EXPECT_EQ(canvas.ops[1].kind, CanvasOp::FillOval);
  EXPECT_EQ(canvas.ops[1].rect, (Rect{{4, 2}, {58, 58}}));
  EXPECT_EQ(canvas.ops[1].color, (Color{1.0, 0.48, 0.58, 0.35}));

  EXPECT_EQ(canvas.ops[2].kind, CanvasOp::Gradient);
  EXPECT_EQ(canvas.ops[2].rect, (Rect{{4, 4}, {58, 58}}));
  EXPECT_EQ(canvas.ops[2].angle, -55);
  std::vector<GradientStop> stops{
      {0.0, {1.0, 0.68, 0.75, 1.0}}, {0.5, {1.0, 0.48, 0.60, 1.0}}, {1.0, {1.0, 0.72, 0.56, 1.0}}};
  EXPECT_EQ(canvas.ops[2].stops, stops);

  // Measured 30 by 34, centred on the face's middle (33, 33).
  EXPECT_EQ(canvas.ops[3].kind, CanvasOp::DrawText);
  EXPECT_EQ(canvas.ops[3].text, RABBIT);
  EXPECT_EQ(canvas.ops[3].font, (Font{28, false}));
  EXPECT_FALSE(canvas.ops[3].textColor.has_value());
  EXPECT_EQ(canvas.ops[3].origin, (Point{18, 16}));
}

TEST(BallViewDrawing, BadgeOnlyForPositiveCounts) {
  for (int64_t count : {int64_t{0}, int64_t{-3}, INT64_MIN}) {
    Ball b;
    b.ball.setCount(count);
    auto canvas = b.drawn();
    EXPECT_EQ(ofKind(canvas, CanvasOp::FillOval).size(), 1u) << count;
    EXPECT_EQ(ofKind(canvas, CanvasOp::DrawText).size(), 1u) << count;
  }

  Ball b;
  b.ball.setCount(7);
  auto canvas = b.drawn();
  ASSERT_EQ(canvas.ops.size(), 6u);
  // 42..67 on both axes: one point past the 66-point view at the top right.
  EXPECT_EQ(canvas.ops[4].kind, CanvasOp::FillOval);
  EXPECT_EQ(canvas.ops[4].rect, (Rect{{42, 42}, {25, 25}}));
  EXPECT_EQ(canvas.ops[4].rect.maxX(), 67);
  EXPECT_EQ(canvas.ops[4].color, (Color{1, 1, 1, 1}));
  EXPECT_EQ(canvas.ops[5].kind, CanvasOp::DrawText);
  EXPECT_EQ(canvas.ops[5].text, "7");
  EXPECT_EQ(canvas.ops[5].font, (Font{13, true}));
  EXPECT_EQ(canvas.ops[5].textColor, (Color{1.0, 0.40, 0.54, 1.0}));
  // Measured 8 by 16, centred on the badge's middle (54.5, 54.5).
  EXPECT_EQ(canvas.ops[5].origin, (Point{50.5, 46.5}));
}

// Bold digits about as wide and as tall as the platforms' fonts measure them.
platform::Size proportionalMetrics(const std::string& text, const Font& font) {
  return {0.62 * font.pointSize * double(text.size()), 1.25 * font.pointSize};
}

// Whether the point lies inside the badge's outline: a rectangle whose ends
// are half circles (a circle when it is as wide as it is high).
bool insideBadge(const Rect& badge, Point p) {
  double r = badge.size.height / 2;
  double cx = std::clamp(p.x, badge.origin.x + r, badge.maxX() - r);
  return std::hypot(p.x - cx, p.y - badge.midY()) <= r + 1e-9;
}

TEST(BallViewDrawing, LongCountsWidenTheBadgeThenShrinkButNeverShowAWrongNumber) {
  struct Case {
    int64_t count;
    std::string shown;
    bool fullSize;
  };
  for (const Case& c : {Case{7, "7", true}, Case{135, "135", true}, Case{1234, "1234", true},
                        Case{99999, "99999", true}, Case{1234567890, "1234567890", false},
                        // Too long even at the smallest size: a true bound, not cut digits.
                        Case{INT64_MAX, "9999999999+", false}}) {
    SCOPED_TRACE(c.count);
    Ball b;
    b.ball.setCount(c.count);
    fakes::RecordingCanvas canvas;
    canvas.metrics = proportionalMetrics;
    b.ball.draw(canvas, BOUNDS);
    ASSERT_EQ(canvas.ops.size(), 6u);
    const CanvasOp& badge = canvas.ops[4];
    const CanvasOp& text = canvas.ops[5];
    ASSERT_EQ(text.kind, CanvasOp::DrawText);
    EXPECT_EQ(text.text, c.shown);
    EXPECT_TRUE(text.font.bold);
    EXPECT_GE(text.font.pointSize, 8);
    EXPECT_EQ(text.font.pointSize == 13, c.fullSize);

    // Anchored where the round badge is; wider only to the left, never
    // wider than the face.
    EXPECT_EQ(badge.rect.maxX(), 67);
    EXPECT_EQ(badge.rect.maxY(), 67);
    EXPECT_EQ(badge.rect.size.height, 25);
    EXPECT_GE(badge.rect.size.width, 25);
    EXPECT_LE(badge.rect.size.width, 58);
    EXPECT_EQ(badge.color, (Color{1, 1, 1, 1}));
    if (badge.kind == CanvasOp::RoundedRect)
      EXPECT_EQ(badge.radius, 12.5);
    else
      EXPECT_EQ(badge.kind, CanvasOp::FillOval);
    EXPECT_EQ(badge.kind == CanvasOp::FillOval, c.count == 7);

    // The whole text lies inside the badge and so inside the view.
    platform::Size size = proportionalMetrics(text.text, text.font);
    Rect box{text.origin, size};
    for (Point corner : {box.origin, Point{box.maxX(), box.origin.y}, Point{box.maxX(), box.maxY()},
                         Point{box.origin.x, box.maxY()}}) {
      EXPECT_TRUE(insideBadge(badge.rect, corner)) << corner.x << "," << corner.y;
      EXPECT_TRUE(corner.x >= 0 && corner.x <= 66 && corner.y >= 0 && corner.y <= 66)
          << corner.x << "," << corner.y;
    }
  }

  // Everything hangs off the bounds, not off fixed numbers.
  Ball b;
  b.ball.setCount(3);
  auto shifted = b.drawn(Rect{{10, 20}, {100, 100}});
  auto ovals = ofKind(shifted, CanvasOp::FillOval);
  ASSERT_EQ(ovals.size(), 2u);
  EXPECT_EQ(ovals[0].rect, (Rect{{14, 22}, {92, 92}}));
  EXPECT_EQ(ovals[1].rect, (Rect{{86, 96}, {25, 25}}));
}

TEST(BallViewDrawing, FailedGradientLeavesTheRestDrawn) {
  Ball b;
  b.ball.setCount(3);
  fakes::RecordingCanvas canvas;
  canvas.gradientFails = true;
  b.ball.draw(canvas, BOUNDS);
  ASSERT_EQ(canvas.ops.size(), 5u);
  EXPECT_EQ(canvas.ops[0].kind, CanvasOp::FillRect);
  EXPECT_EQ(canvas.ops[1].kind, CanvasOp::FillOval);
  EXPECT_EQ(canvas.ops[2].text, RABBIT);
  EXPECT_EQ(canvas.ops[3].rect, (Rect{{42, 42}, {25, 25}}));
  EXPECT_EQ(canvas.ops[4].text, "3");
}

TEST(BallViewCount, RedrawsOnlyOnChange) {
  Ball b;
  b.ball.setCount(0);
  EXPECT_EQ(b.view.redraws, 0);
  b.ball.setCount(3);
  b.ball.setCount(3);
  EXPECT_EQ(b.view.redraws, 1);
  EXPECT_EQ(b.ball.count(), 3);
  b.ball.setCount(0);
  EXPECT_EQ(b.view.redraws, 2);
  EXPECT_EQ(ofKind(b.drawn(), CanvasOp::DrawText).size(), 1u);

  // Not yet attached: the value is kept, nothing to redraw.
  fakes::FakeScreens screens;
  BallView detached(screens);
  detached.setCount(5);
  EXPECT_EQ(detached.count(), 5);
}

TEST(BallViewGesture, ThresholdSeparatesClickFromDrag) {
  {
    // Exactly 4 points on each axis is still a click.
    Ball b;
    b.gesture({{104, 96}});
    EXPECT_EQ(b.opens, 1);
    EXPECT_EQ(b.dragEnds, 0);
  }
  for (Point end : {Point{104.5, 100}, Point{100, 95.5}}) {
    Ball b;
    b.gesture({end});
    EXPECT_EQ(b.opens, 0) << end.x << "," << end.y;
    EXPECT_EQ(b.dragEnds, 1) << end.x << "," << end.y;
  }
  {
    // Once a drag, always a drag, even back at the start.
    Ball b;
    b.gesture({{110, 100}, {100, 100}});
    EXPECT_EQ(b.opens, 0);
    EXPECT_EQ(b.dragEnds, 1);
    EXPECT_EQ(b.panel.origin, (Point{500, 300}));
  }
}

TEST(BallViewGesture, WindowFollowsThePointerFromTheStart) {
  Ball b;
  b.ball.mouseDown();
  b.screens.pointer = {102, 97};
  b.ball.mouseDragged();
  EXPECT_EQ(b.panel.origin, (Point{502, 297}));
  b.screens.pointer = {103, 99};
  b.ball.mouseDragged();
  EXPECT_EQ(b.panel.origin, (Point{503, 299}));
  b.ball.mouseUp();
  // Below the threshold: it opens, and the ball stays where it was moved.
  EXPECT_EQ(b.opens, 1);
  EXPECT_EQ(b.panel.origin, (Point{503, 299}));

  // Far moves are not limited to any screen.
  b.screens.pointer = {0, 0};
  b.gesture({{-5000, 9000}});
  EXPECT_EQ(b.panel.origin, (Point{503 - 5000, 299 + 9000}));
  EXPECT_EQ(b.dragEnds, 1);
}

TEST(BallViewGesture, EachReleaseOfAPressActsOnce) {
  Ball b;
  // A double click: two presses, two releases, two opens.
  b.ball.mouseDown();
  b.ball.mouseUp();
  b.ball.mouseDown();
  b.ball.mouseUp();
  EXPECT_EQ(b.opens, 2);

  // A drag, then a release whose press never reached the view: neither the
  // drag's outcome nor a click is replayed, and the window does not jump
  // back to the drag's starting origin.
  b.gesture({{150, 100}});
  EXPECT_EQ(b.dragEnds, 1);
  Point left = b.panel.origin;
  b.screens.pointer = {400, 400};
  b.ball.mouseDragged();
  b.ball.mouseUp();
  EXPECT_EQ(b.dragEnds, 1);
  EXPECT_EQ(b.opens, 2);
  EXPECT_EQ(b.panel.origin, left);

  // The next real press works as usual.
  b.ball.mouseDown();
  b.ball.mouseUp();
  EXPECT_EQ(b.opens, 3);
}

TEST(BallViewGesture, WorksWithoutWindowOrCallbacks) {
  fakes::FakeScreens screens;
  fakes::FakeView view;
  BallView ball(screens);
  ball.attach(&view, nullptr);
  screens.pointer = {10, 10};
  ball.mouseDown();
  screens.pointer = {50, 50};
  ball.mouseDragged();
  ball.mouseUp();
  ball.mouseDown();
  ball.mouseUp();
  ball.doOpen();
  ball.doQuit();

  int dragEnds = 0;
  ball.onDragEnd = [&] { ++dragEnds; };
  screens.pointer = {0, 0};
  ball.mouseDown();
  screens.pointer = {5, 0};
  ball.mouseDragged();
  ball.mouseUp();
  EXPECT_EQ(dragEnds, 1);
}

TEST(BallViewMenu, RightReleaseOffersOpenAndQuit) {
  Ball b;
  EXPECT_EQ(b.view.menusShown, 0);
  b.ball.rightMouseUp();
  ASSERT_EQ(b.view.menusShown, 1);
  std::vector<MenuItem> expected{
      {"打开Dovrelist", "doOpen", "", false}, {"", "", "", true}, {"退出", "doQuit", "q", false}};
  EXPECT_EQ(b.view.menuItems, expected);
  // Showing the menu chooses nothing.
  EXPECT_EQ(b.opens + b.quits, 0);

  b.view.menuChosen("doOpen");
  EXPECT_EQ(b.opens, 1);
  EXPECT_EQ(b.quits, 0);
  b.view.menuChosen("doQuit");
  EXPECT_EQ(b.quits, 1);
  b.view.menuChosen("terminate:");
  EXPECT_EQ(b.opens, 1);
  EXPECT_EQ(b.quits, 1);

  // Built afresh each time.
  b.ball.rightMouseUp();
  EXPECT_EQ(b.view.menusShown, 2);
  EXPECT_EQ(b.view.menuItems, expected);

  // Without a quit callback, quitting does nothing, and nothing else either.
  b.ball.onQuit = nullptr;
  b.view.menuChosen("doQuit");
  EXPECT_EQ(b.quits, 1);
  EXPECT_EQ(b.opens, 1);
  EXPECT_EQ(b.dragEnds, 0);
}
