#include "ball/BallView.h"

#include "system/UserTexts.h"

#include <algorithm>
#include <cmath>
#include <optional>

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
// Long counts first widen the badge, up to the face's width, and only then
// get smaller digits, down to this size.
constexpr double SMALLEST_DIGITS = 8;
constexpr double DIGITS_STEP = 0.5;
const std::string EMOJI = "\xF0\x9F\x90\xB0"; // U+1F430 rabbit face

// Draws the text with its measured box centred on the rectangle.
void drawCentred(Canvas& canvas, const std::string& text, const Font& font,
                 std::optional<Color> color, const Rect& in) {
  platform::Size size = canvas.measureText(text, font);
  canvas.drawText(text, font, color,
                  Point{in.midX() - size.width * 0.5, in.midY() - size.height * 0.5});
}

// How far into the badge's width its round ends keep a text box of this
// height: the box's corners must stay inside the rounded outline.
double endRoom(double textHeight) {
  double r = BADGE_SIZE / 2;
  double half = textHeight / 2;
  return half < r ? r - std::sqrt(r * r - half * half) : r;
}

struct BadgeText {
  std::string text;
  Font font;
  platform::Size size;
  // The badge's width that holds it, or nothing when it does not fit.
  std::optional<double> width;
};

BadgeText fitBadgeText(Canvas& canvas, const std::string& text, double pointSize, double maxWidth) {
  Font font{pointSize, DIGITS_FONT.bold};
  BadgeText t{text, font, canvas.measureText(text, font), std::nullopt};
  double needed = t.size.width + 2 * endRoom(t.size.height);
  if (t.size.height <= BADGE_SIZE && needed <= maxWidth)
    t.width = std::max(BADGE_SIZE, needed);
  return t;
}

// The badge's text, size and width for a positive count. The whole number
// is shown whenever it fits at the smallest size; a number longer than that
// shows as "99…9+" with as many nines as fit, which stays true, where cut
// digits would show a wrong number.
BadgeText layoutBadge(Canvas& canvas, int64_t count, double maxWidth) {
  const std::string digits = std::to_string(count);
  BadgeText t = fitBadgeText(canvas, digits, DIGITS_FONT.pointSize, maxWidth);
  if (t.width)
    return t;
  // Text width grows with the size, so start near the size that fits and
  // step down from there.
  double room = maxWidth - 2 * endRoom(t.size.height);
  double size = t.size.width > 0 ? DIGITS_FONT.pointSize * room / t.size.width : SMALLEST_DIGITS;
  size = std::clamp(std::floor(size / DIGITS_STEP) * DIGITS_STEP, SMALLEST_DIGITS,
                    DIGITS_FONT.pointSize - DIGITS_STEP);
  for (;; size = std::max(SMALLEST_DIGITS, size - DIGITS_STEP)) {
    t = fitBadgeText(canvas, digits, size, maxWidth);
    if (t.width || size <= SMALLEST_DIGITS)
      break;
  }
  for (std::size_t nines = digits.size() - 1; !t.width && nines > 0; --nines)
    t = fitBadgeText(canvas, std::string(nines, '9') + "+", SMALLEST_DIGITS, maxWidth);
  return t;
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
      MenuItem{OPEN_APP_TEXT, "doOpen", "", false},
      MenuItem{"", "", "", true},
      MenuItem{QUIT_TEXT, "doQuit", "q", false},
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
    BadgeText t = layoutBadge(canvas, count_, std::max(face.size.width, BADGE_SIZE));
    // Not even "9+" fits: there is no true number to show.
    if (!t.width)
      return;
    // Anchored at its top right; a wider badge grows to the left.
    Rect badge{{face.maxX() + BADGE_OVERHANG - *t.width, face.maxY() - BADGE_SIZE + BADGE_OVERHANG},
               {*t.width, BADGE_SIZE}};
    if (*t.width <= BADGE_SIZE)
      canvas.fillOval(badge, WHITE);
    else
      canvas.fillRoundedRect(badge, BADGE_SIZE / 2, WHITE);
    canvas.drawText(t.text, t.font, DIGITS,
                    Point{badge.midX() - t.size.width * 0.5, badge.midY() - t.size.height * 0.5});
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
