#include "ball/BallView.h"

#include "test_ball_fakes.h"

#include <gtest/gtest.h>

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
    canvas.sizes["120"] = {24, 16};
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

TEST(BallViewDrawing, CountIsWrittenInFullAndFollowsTheBounds) {
  Ball b;
  b.ball.setCount(120);
  auto canvas = b.drawn();
  auto texts = ofKind(canvas, CanvasOp::DrawText);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[1].text, "120");
  EXPECT_EQ(texts[1].origin, (Point{42.5, 46.5}));

  b.ball.setCount(9223372036854775807);
  texts = ofKind(b.drawn(), CanvasOp::DrawText);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[1].text, "9223372036854775807");

  // Everything hangs off the bounds, not off fixed numbers.
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
