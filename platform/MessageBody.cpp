#include "platform/MessageBody.h"

#include <cmath>

namespace platform {

nlohmann::json jsonFromNumber(double value) {
  if (!std::isfinite(value))
    return nullptr;
  // 2^63 and 2^64 are exact in a double, so these bounds compare exactly.
  constexpr double twoTo63 = 9223372036854775808.0;
  constexpr double twoTo64 = 18446744073709551616.0;
  if (std::trunc(value) == value) {
    if (value >= -twoTo63 && value < twoTo63)
      return static_cast<std::int64_t>(value);
    if (value >= twoTo63 && value < twoTo64)
      return static_cast<std::uint64_t>(value);
  }
  return value;
}

} // namespace platform
