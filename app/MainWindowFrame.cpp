#include "app/MainWindowFrame.h"

#include "platform/GeometryText.h"

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
