#include "app/GeometryText.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstddef>

namespace {

std::string number(double value) {
  std::array<char, 64> buffer{};
  auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  if (ec != std::errc())
    return "0";
  return std::string(buffer.data(), end);
}

bool isDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Fills up to N numbers scanned from the text; the rest stay 0.
template <std::size_t N> std::array<double, N> scanNumbers(std::string_view text) {
  std::array<double, N> values{};
  std::size_t found = 0;
  std::size_t i = 0;
  while (i < text.size() && found < N) {
    std::size_t start = i;
    bool negative = false;
    if (text[start] == '+' || text[start] == '-') {
      negative = text[start] == '-';
      ++start;
    }
    bool begins = start < text.size() &&
                  (isDigit(text[start]) ||
                   (text[start] == '.' && start + 1 < text.size() && isDigit(text[start + 1])));
    if (!begins) {
      ++i;
      continue;
    }
    double value = 0;
    auto [end, ec] = std::from_chars(text.data() + start, text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range) {
      // from_chars leaves the value alone on overflow; the text still names
      // a number, just one too large for a rectangle.
      value = HUGE_VAL;
    } else if (ec != std::errc()) {
      ++i;
      continue;
    }
    values[found++] = negative ? -value : value;
    i = static_cast<std::size_t>(end - text.data());
  }
  return values;
}

} // namespace

std::string stringFromRect(const platform::Rect& rect) {
  return "{{" + number(rect.origin.x) + ", " + number(rect.origin.y) + "}, {" +
         number(rect.size.width) + ", " + number(rect.size.height) + "}}";
}

platform::Rect rectFromString(std::string_view text) {
  auto v = scanNumbers<4>(text);
  return {{v[0], v[1]}, {v[2], v[3]}};
}

std::string stringFromPoint(const platform::Point& point) {
  return "{" + number(point.x) + ", " + number(point.y) + "}";
}

platform::Point pointFromString(std::string_view text) {
  auto v = scanNumbers<2>(text);
  return {v[0], v[1]};
}
