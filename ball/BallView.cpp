#include "ball/BallView.h"

#include "identity/identity.h"

#include <cmath>

using platform::Canvas;
using platform::Color;
using platform::Font;
using platform::GradientStop;
using platform::MenuItem;
using platform::Point;
using platform::Rect;

namespace {

constexpr double FACE_INSET = 4;
constexpr double DROP_OFFSET = -2;
constexpr double BADGE_SIZE = 25;
constexpr double BADGE_OVERHANG = 5;
// Beyond this many points on either axis a press becomes a drag.
constexpr double DRAG_THRESHOLD = 4;
constexpr double GRADIENT_ANGLE = -55;

const Color CLEAR{0, 0, 0, 0};
const Color DROP{1.0, 0.48, 0.58, 0.35};
const Color WHITE{1, 1, 1, 1};
const Color DIGITS{1.0, 0.40, 0.54, 1.0};

const Font EMOJI_FONT{28, false};
const Font DIGITS_FONT{13, true};
const std::string EMOJI = "\xF0\x9F\x90\xB0"; // U+1F430 rabbit face

// Draws the text with its measured box centred on the rectangle.
void drawCentred(Canvas& canvas, const std::string& text, const Font& font,
                 std::optional<Color> color, const Rect& in) {
  platform::Size size = canvas.measureText(text, font);
  canvas.drawText(text, font, color,
                  Point{in.midX() - size.width * 0.5, in.midY() - size.height * 0.5});
}

} // namespace

BallView::BallView(platform::Screens& screens) : screens_(screens) {}

void BallView::attach(platform::View* view, platform::Panel* window) {
  view_ = view;
  window_ = window;
}

void BallView::setCount(int64_t value) {
  if (value == count_)
    return;
  count_ = value;
  if (view_)
    view_->setNeedsDisplay();
}

void BallView::doOpen() {
  if (onOpen)
    onOpen();
}

void BallView::doQuit() {
  if (onQuit)
    onQuit();
}

std::vector<MenuItem> BallView::contextMenuItems() {
  return {
      MenuItem{"打开" + std::string(APP_TITLE), "doOpen", "", false},
      MenuItem{"", "", "", true},
      MenuItem{"退出", "doQuit", "q", false},
  };
}

void BallView::draw(Canvas& canvas, const Rect& bounds) {
  canvas.fillRect(bounds, CLEAR);

  Rect face = bounds.insetBy(FACE_INSET, FACE_INSET);
  canvas.fillOval(face.offsetBy(0, DROP_OFFSET), DROP);

  // A canvas that cannot make the gradient draws nothing for it; the rest of
  // the ball is still worth showing.
  static const std::vector<GradientStop> stops{
      {0.0, {1.0, 0.68, 0.75, 1.0}},
      {0.5, {1.0, 0.48, 0.60, 1.0}},
      {1.0, {1.0, 0.72, 0.56, 1.0}},
  };
  canvas.fillOvalWithGradient(face, stops, GRADIENT_ANGLE);

  drawCentred(canvas, EMOJI, EMOJI_FONT, std::nullopt, face);

  if (count_ > 0) {
    Rect badge{
        {face.maxX() - BADGE_SIZE + BADGE_OVERHANG, face.maxY() - BADGE_SIZE + BADGE_OVERHANG},
        {BADGE_SIZE, BADGE_SIZE}};
    canvas.fillOval(badge, WHITE);
    drawCentred(canvas, std::to_string(count_), DIGITS_FONT, DIGITS, badge);
  }
}

void BallView::mouseDown() {
  startPt_ = screens_.pointerLocation();
  startOrigin_ = window_ ? window_->frameOrigin() : Point{0, 0};
  moved_ = false;
  pressed_ = true;
}

void BallView::mouseDragged() {
  if (!pressed_)
    return;
  Point p = screens_.pointerLocation();
  double dx = p.x - startPt_.x;
  double dy = p.y - startPt_.y;
  if (std::fabs(dx) > DRAG_THRESHOLD || std::fabs(dy) > DRAG_THRESHOLD)
    moved_ = true;
  // The window follows from the first drag event on, threshold or not.
  if (window_)
    window_->setFrameOrigin(Point{startOrigin_.x + dx, startOrigin_.y + dy});
}

void BallView::mouseUp() {
  if (!pressed_)
    return;
  pressed_ = false;
  if (moved_) {
    if (onDragEnd)
      onDragEnd();
  } else {
    doOpen();
  }
}

void BallView::rightMouseUp() {
  if (!view_)
    return;
  view_->popUpContextMenu(contextMenuItems(),
                          [this](const std::string& action) { performMenuAction(action); });
}

void BallView::performMenuAction(const std::string& action) {
  if (action == "doOpen")
    doOpen();
  else if (action == "doQuit")
    doQuit();
}
