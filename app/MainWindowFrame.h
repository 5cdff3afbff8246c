#pragma once

#include "platform/geometry.h"

#include <optional>
#include <string>

// The main window's remembered size, kept under "windowFrame" in the
// rectangle text form.
inline constexpr const char* WINDOW_FRAME_KEY = "windowFrame";
inline constexpr platform::Rect DEFAULT_CONTENT_RECT{{0, 0}, {1360, 840}};
inline constexpr platform::Size MAIN_WINDOW_MIN_SIZE{1170, 460};

// The content rectangle to build the window with. A stored frame that is not
// a usable window (too narrow, no height, not finite, larger than 16384
// points, which no toolkit shows) gives the default; heights below the
// minimum size are still used as stored.
platform::Rect mainWindowContentRect(const std::optional<std::string>& stored);

// Room left above the content for the window's title bar.
inline constexpr double TITLE_BAR_ALLOWANCE = 40;

// The content rectangle made to fit the main screen's visible frame, where
// the screen is known: no wider than it and no taller than it less the title
// bar. A screen narrower than the minimum size wins over it.
platform::Rect fitToScreen(platform::Rect content, const std::optional<platform::Rect>& visible);
// The minimum size, given way to a screen smaller than it.
platform::Size mainWindowMinSize(const std::optional<platform::Rect>& visible);

// What the window stores when it closes. Closed in full screen or maximized,
// it would come back screen-sized and no longer filling the screen; it
// stores the frame it had last before instead.
class StoredFrame {
public:
  explicit StoredFrame(platform::Rect built) : normal_(built) {}
  // Every frame the window reports, with whether it fills the screen then.
  void observe(platform::Rect frame, bool fillsScreen);
  platform::Rect toStore(platform::Rect frame, bool fillsScreen) const;

private:
  platform::Rect normal_;
};
