#include "ball/BallPanel.h"

#include "platform/GeometryText.h"

#include <cmath>

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
  s.nonactivating = true;
  s.opaque = false;
  s.clearBackground = true;
  s.hasShadow = true;
  s.level = 3; // floating: above all normal windows
  s.collectionBehavior = platform::COLLECTION_CAN_JOIN_ALL_SPACES |
                         platform::COLLECTION_STATIONARY |
                         platform::COLLECTION_FULL_SCREEN_AUXILIARY; // 0x111
  s.movableByWindowBackground = false; // the view moves the panel itself
  s.acceptsMouseMovedEvents = true;
  s.ignoresMouseEvents = false;
  s.hidesOnDeactivate = false;
  s.becomesKeyOnlyIfNeeded = true;
  s.canBecomeKey = true;
  s.canBecomeMain = false;
  return s;
}

void storeBallPosition(platform::Panel& panel, platform::Defaults& defaults) {
  defaults.setString(std::string(BALL_POS_KEY), stringFromPoint(panel.frameOrigin()));
}
