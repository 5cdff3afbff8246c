#pragma once

#include "platform/platform.h"

// The ball's diameter in points: the panel's size and the view's frame.
inline constexpr double BALL_SIZE = 66.0;

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Where the floating ball goes and how its panel is set up.

// The user defaults key holding the ball panel's origin in point text form.
inline constexpr std::string_view BALL_POS_KEY = "ballPos";

// The panel's origin at launch. A stored position is used as written, but only
// while the ball's centre lies on a connected screen's visible area: after a
// monitor is unplugged the ball must not come up somewhere nobody can reach
// it. Otherwise it sits 34 points in from the lower right corner of the main
// screen's visible area, or at (1200, 120) when there is no main screen.
platform::Point ballPanelOrigin(const std::optional<std::string>& stored,
                                const std::optional<platform::Rect>& mainVisibleFrame,
                                const std::vector<platform::Rect>& visibleFrames);

// The same, read from the user defaults and the screens. Reads only: the
// position is written at the end of a drag and at no other time.
platform::Point ballPanelOrigin(platform::Defaults& defaults, platform::Screens& screens);

// The panel's content rectangle: BALL_SIZE square at the origin.
platform::Rect ballContentRect(platform::Point origin);

// A borderless, non-activating floating panel on every space.
platform::PanelSettings ballPanelSettings();

// The end of a drag: remembers where the panel was left.
void storeBallPosition(platform::Panel& panel, platform::Defaults& defaults);

// Where a ball let go at `origin` comes to rest: wholly inside the visible
// frame of the screen under the pointer (else the screen nearest to the
// ball), not under a menu bar or off every screen.
platform::Point keepBallOnScreen(platform::Point origin, platform::Point pointer,
                                 const std::vector<platform::Rect>& visibleFrames);

// The end of a drag: the ball kept on the screen it was dropped on, and that
// place remembered.
void settleBall(platform::Panel& panel, platform::Screens& screens, platform::Defaults& defaults);

// The screens changed (one unplugged, plugged back, rearranged): the ball
// goes where it would at launch, without writing the remembered place, so it
// returns there when that screen does.
void replaceBallForScreens(platform::Panel& panel, platform::Screens& screens,
                           platform::Defaults& defaults);
