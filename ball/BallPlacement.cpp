#include "ball/BallPlacement.h"

#include "platform/GeometryText.h"

#include <algorithm>
#include <cmath>
#include <limits>

using platform::Point;
using platform::Rect;

namespace {

constexpr double DEFAULT_MARGIN = 34;
constexpr Point NO_SCREEN_ORIGIN{1200, 120};

bool centreOnSomeScreen(Point origin, const std::optional<Rect>& mainVisibleFrame,
                        const std::vector<Rect>& visibleFrames) {
  Point centre{origin.x + BALL_SIZE / 2, origin.y + BALL_SIZE / 2};
  if (mainVisibleFrame && mainVisibleFrame->contains(centre))
    return true;
  for (const Rect& frame : visibleFrames) {
    if (frame.contains(centre))
      return true;
  }
  return false;
}

} // namespace

Point ballPanelOrigin(const std::optional<std::string>& stored,
                      const std::optional<Rect>& mainVisibleFrame,
                      const std::vector<Rect>& visibleFrames) {
  if (stored) {
    Point p = pointFromString(*stored);
    if (std::isfinite(p.x) && std::isfinite(p.y) &&
        centreOnSomeScreen(p, mainVisibleFrame, visibleFrames))
      return p;
  }
  if (mainVisibleFrame)
    return Point{mainVisibleFrame->maxX() - BALL_SIZE - DEFAULT_MARGIN,
                 mainVisibleFrame->minY() + DEFAULT_MARGIN};
  return NO_SCREEN_ORIGIN;
}

Point ballPanelOrigin(platform::Defaults& defaults, platform::Screens& screens) {
  return ballPanelOrigin(defaults.stringForKey(std::string(BALL_POS_KEY)),
                         screens.mainVisibleFrame(), screens.visibleFrames());
}

Rect ballContentRect(Point origin) {
  return Rect{origin, {BALL_SIZE, BALL_SIZE}};
}

platform::PanelSettings ballPanelSettings() {
  platform::PanelSettings s;
  s.floatsAboveOtherWindows = true;
  s.onEveryDesktop = true;
  s.doesNotActivateApp = true;
  s.takesKeyboardForMenu = true;
  s.transparent = true;
  s.hasShadow = true;
  return s;
}

void storeBallPosition(platform::Panel& panel, platform::Defaults& defaults) {
  defaults.setString(std::string(BALL_POS_KEY), stringFromPoint(panel.frameOrigin()));
}

namespace {

// How far the point lies outside the rectangle; zero inside it.
double distanceTo(const Rect& frame, Point p) {
  const double dx = std::max({frame.minX() - p.x, 0.0, p.x - frame.maxX()});
  const double dy = std::max({frame.minY() - p.y, 0.0, p.y - frame.maxY()});
  return std::hypot(dx, dy);
}

double clampInto(double value, double low, double high) {
  // A screen smaller than the ball keeps its lower left corner.
  return high < low ? low : std::clamp(value, low, high);
}

} // namespace

Point keepBallOnScreen(Point origin, Point pointer, const std::vector<Rect>& visibleFrames) {
  const Point centre{origin.x + BALL_SIZE / 2, origin.y + BALL_SIZE / 2};
  const Rect* chosen = nullptr;
  double nearest = std::numeric_limits<double>::infinity();
  for (const Rect& frame : visibleFrames) {
    if (frame.contains(pointer)) {
      chosen = &frame;
      break;
    }
    if (double d = distanceTo(frame, centre); d < nearest) {
      nearest = d;
      chosen = &frame;
    }
  }
  if (!chosen || !std::isfinite(origin.x) || !std::isfinite(origin.y))
    return origin;
  return {clampInto(origin.x, chosen->minX(), chosen->maxX() - BALL_SIZE),
          clampInto(origin.y, chosen->minY(), chosen->maxY() - BALL_SIZE)};
}

void settleBall(platform::Panel& panel, platform::Screens& screens, platform::Defaults& defaults) {
  const Point origin = panel.frameOrigin();
  const Point kept = keepBallOnScreen(origin, screens.pointerLocation(), screens.visibleFrames());
  if (kept.x != origin.x || kept.y != origin.y)
    panel.setFrameOrigin(kept);
  storeBallPosition(panel, defaults);
}

void replaceBallForScreens(platform::Panel& panel, platform::Screens& screens,
                           platform::Defaults& defaults) {
  panel.setFrameOrigin(ballPanelOrigin(defaults, screens));
}
