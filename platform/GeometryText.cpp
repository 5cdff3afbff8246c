#include "platform/GeometryText.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#if defined(__APPLE__)
#include <xlocale.h>
#endif

// The numbers are written and read by hand around the C library's correctly
// rounded conversions, run under the "C" locale: GTK sets the process locale
// from the environment, and a comma-decimal locale must not turn 1360.5 into
// "1360,5". (std::to_chars/from_chars for double would do, but Apple's
// libc++ lacks them before macOS 13.3.)

namespace {

// Switches this thread to the "C" locale for its lifetime.
class ClassicLocale {
public:
  ClassicLocale() : previous_(::uselocale(classic())) {}
  ~ClassicLocale() { ::uselocale(previous_); }
  ClassicLocale(const ClassicLocale&) = delete;
  ClassicLocale& operator=(const ClassicLocale&) = delete;

private:
  static locale_t classic() {
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
  }
  locale_t previous_;
};

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

// The shortest decimal that reads back as the same double, laid out like
// std::to_chars: plain digits for everyday magnitudes, an exponent beyond.
std::string number(double value) {
  if (std::isnan(value))
    return "nan";
  if (std::isinf(value))
    return value < 0 ? "-inf" : "inf";

  std::array<char, 48> text{};
  {
    ClassicLocale c;
    for (int precision = 0; precision <= 17; ++precision) {
      std::snprintf(text.data(), text.size(), "%.*e", precision, value);
      if (std::strtod(text.data(), nullptr) == value)
        break;
    }
  }

  // text is [-]d[.ddd]e(+|-)xx
  const char* p = text.data();
  const bool negative = *p == '-';
  if (negative)
    ++p;
  std::string digits;
  for (; *p != 'e' && *p != '\0'; ++p) {
    if (isDigit(*p))
      digits.push_back(*p);
  }
  const int exponent = *p == 'e' ? std::atoi(p + 1) : 0;
  while (digits.size() > 1 && digits.back() == '0')
    digits.pop_back();

  std::string out = negative ? "-" : "";
  const int count = static_cast<int>(digits.size());
  if (exponent >= 21 || exponent < -5) {
    out += digits.substr(0, 1);
    if (count > 1)
      out += "." + digits.substr(1);
    out += exponent < 0 ? "e-" : "e+";
    const int magnitude = std::abs(exponent);
    out += (magnitude < 10 ? "0" : "") + std::to_string(magnitude);
  } else if (exponent < 0) {
    out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
  } else if (count <= exponent + 1) {
    out += digits + std::string(static_cast<std::size_t>(exponent + 1 - count), '0');
  } else {
    const auto whole = static_cast<std::size_t>(exponent + 1);
    out += digits.substr(0, whole) + "." + digits.substr(whole);
  }
  return out;
}

// The length of the decimal number at the start of text: digits, an optional
// fraction, an optional exponent that has digits. Signs are handled outside.
std::size_t decimalLength(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && isDigit(text[i]))
    ++i;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i]))
      ++i;
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '+' || text[j] == '-'))
      ++j;
    if (j < text.size() && isDigit(text[j])) {
      while (j < text.size() && isDigit(text[j]))
        ++j;
      i = j;
    }
  }
  return i;
}

// Fills up to N numbers scanned from the text; the rest stay 0.
template <std::size_t N> std::array<double, N> scanNumbers(std::string_view text) {
  std::array<double, N> values{};
  std::size_t found = 0;
  std::size_t i = 0;
  ClassicLocale c;
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
    const std::size_t length = decimalLength(text.substr(start));
    // Overflow gives HUGE_VAL: the text still names a number, just one too
    // large for a rectangle.
    const double value = std::strtod(std::string(text.substr(start, length)).c_str(), nullptr);
    values[found++] = negative ? -value : value;
    i = start + length;
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
