#include "app/MainWindowFrame.h"

#include "app/GeometryText.h"

#include <cmath>

namespace {
// Beyond any screen, and beyond what window systems' integer sizes hold.
constexpr double LARGEST_SIZE = 100000;
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
