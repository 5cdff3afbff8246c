// Count messages as the page could post them: JSON text, and raw doubles,
// which reach the conversion without a parser in between (NaN, infinities,
// values just outside the integer range).

#include "bridge/BadgeHandler.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  nlohmann::json body = nlohmann::json::parse(data, data + size, nullptr, false);
  if (!body.is_discarded()) {
    std::optional<int64_t> count = countFromBody(body);
    if (count) {
      const nlohmann::json& n = body.at("n");
      bool same = n.is_number_float()      ? static_cast<double>(*count) == n.get<double>()
                  : n.is_number_unsigned() ? static_cast<uint64_t>(*count) == n.get<uint64_t>()
                                           : *count == n.get<int64_t>();
      if (!same)
        std::abort();
    }
  }

  if (size >= sizeof(double)) {
    double value;
    std::memcpy(&value, data, sizeof value);
    std::optional<int64_t> count = countFromBody(nlohmann::json{{"n", value}});
    if (count && static_cast<double>(*count) != value)
      std::abort();
  }
  return 0;
}
