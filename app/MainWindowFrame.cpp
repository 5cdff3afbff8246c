#include "app/MainWindowFrame.h"

#include "platform/GeometryText.h"

#include <algorithm>
#include <cmath>

namespace {
// The largest window toolkits can show (AppKit's and GDK's limits lie at or
// above it); a larger stored frame would come back mostly off-screen and be
// stored again at every close.
constexpr double LARGEST_SIZE = 16384;
} // namespace

platform::Rect mainWindowContentRect(const std::optional<std::string>& stored) {
  if (!stored)
    return DEFAULT_CONTENT_RECT;
  platform::Rect rect = rectFromString(*stored);
  const double values[] = {rect.origin.x, rect.origin.y, rect.size.width, rect.size.height};
  for (double v : values)
    if (!std::isfinite(v))
      return DEFAULT_CONTENT_RECT;
  if (!(rect.size.width >= MAIN_WINDOW_MIN_SIZE.width) || !(rect.size.height > 0) ||
      rect.size.width > LARGEST_SIZE || rect.size.height > LARGEST_SIZE)
    return DEFAULT_CONTENT_RECT;
  return rect;
}

platform::Size mainWindowMinSize(const std::optional<platform::Rect>& visible) {
  platform::Size size = MAIN_WINDOW_MIN_SIZE;
  if (visible && visible->size.width > 0 && visible->size.height > TITLE_BAR_ALLOWANCE) {
    size.width = std::min(size.width, visible->size.width);
    size.height = std::min(size.height, visible->size.height - TITLE_BAR_ALLOWANCE);
  }
  return size;
}

platform::Rect fitToScreen(platform::Rect content, const std::optional<platform::Rect>& visible) {
  if (!visible || !(visible->size.width > 0) || !(visible->size.height > TITLE_BAR_ALLOWANCE))
    return content;
  content.size.width = std::min(content.size.width, visible->size.width);
  content.size.height = std::min(content.size.height, visible->size.height - TITLE_BAR_ALLOWANCE);
  return content;
}

void StoredFrame::observe(platform::Rect frame, bool fillsScreen) {
  if (!fillsScreen)
    normal_ = frame;
}

platform::Rect StoredFrame::toStore(platform::Rect frame, bool fillsScreen) const {
  return fillsScreen ? normal_ : frame;
}
