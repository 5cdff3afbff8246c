#include "bridge/BadgeHandler.h"

#include <cmath>
#include <cstdlib>
#include <limits>

std::optional<int64_t> countFromBody(const nlohmann::json& body) {
  if (!body.is_object())
    return std::nullopt;
  auto it = body.find("n");
  if (it == body.end())
    return std::nullopt;
  const nlohmann::json& n = *it;

  // Booleans are their own kind in nlohmann::json, not numbers: true is no
  // count of 1.
  if (n.is_number_unsigned()) {
    auto value = n.get<uint64_t>();
    if (value > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
      return std::nullopt;
    return static_cast<int64_t>(value);
  }
  if (n.is_number_integer())
    return n.get<int64_t>();
  if (n.is_number_float()) {
    double value = n.get<double>();
    // [-2^63, 2^63) are the doubles that convert without overflow; both ends
    // are exact in a double. Checked before converting: an out-of-range
    // conversion is undefined behaviour. NaN fails both comparisons.
    constexpr double low = -9223372036854775808.0;
    constexpr double high = 9223372036854775808.0;
    if (!(value >= low && value < high))
      return std::nullopt;
    if (std::trunc(value) != value)
      return std::nullopt;
    return static_cast<int64_t>(value); // -0.0 becomes 0
  }
  return std::nullopt;
}

BadgeHandler::BadgeHandler(platform::MainQueue& queue) : ChannelHandler(queue) {}

void BadgeHandler::act(int64_t count) {
  later([count](BadgeHandler& handler) {
    if (handler.onCount)
      handler.onCount(count);
  });
}
