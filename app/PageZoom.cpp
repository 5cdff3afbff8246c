#include "app/PageZoom.h"

#include <array>
#include <charconv>

namespace {

constexpr std::array<int, 13> STEPS{50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300};

} // namespace

int pageZoomFromString(const std::optional<std::string>& stored) {
  if (!stored)
    return ACTUAL_SIZE_PERCENT;
  int value = 0;
  const char* first = stored->data();
  const char* last = first + stored->size();
  auto [end, error] = std::from_chars(first, last, value);
  if (error != std::errc() || end != last || value < MIN_ZOOM_PERCENT || value > MAX_ZOOM_PERCENT)
    return ACTUAL_SIZE_PERCENT;
  return value;
}

std::string stringFromPageZoom(int percent) {
  return std::to_string(percent);
}

int zoomedIn(int percent) {
  for (int step : STEPS)
    if (step > percent)
      return step;
  return STEPS.back();
}

int zoomedOut(int percent) {
  for (auto step = STEPS.rbegin(); step != STEPS.rend(); ++step)
    if (*step < percent)
      return *step;
  return STEPS.front();
}
