#include "bridge/Base64.h"

#include <array>
#include <cstdint>

namespace {

constexpr int8_t kWhitespace = -2;
constexpr int8_t kInvalid = -1;

constexpr std::array<int8_t, 256> makeTable() {
  std::array<int8_t, 256> table{};
  for (auto& entry : table)
    entry = kInvalid;
  constexpr std::string_view alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < alphabet.size(); ++i)
    table[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
  for (unsigned char c : std::string_view(" \t\n\v\f\r"))
    table[c] = kWhitespace;
  return table;
}

constexpr std::array<int8_t, 256> kTable = makeTable();

} // namespace

std::optional<std::string> decodeBase64(std::string_view text) {
  std::string out;
  out.reserve(text.size() / 4 * 3);

  uint32_t group = 0; // the sextets of the current quad
  int filled = 0;     // symbols of the current quad seen, padding included
  int padding = 0;
  bool ended = false; // a padded quad closed the text

  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    int8_t value = kTable[c];
    if (value == kWhitespace)
      continue;
    if (ended)
      return std::nullopt;
    if (c == '=') {
      // "x===" and "====" would carry less than one byte.
      if (filled < 2)
        return std::nullopt;
      ++padding;
      group <<= 6;
    } else {
      if (value == kInvalid || padding > 0)
        return std::nullopt;
      group = (group << 6) | static_cast<uint32_t>(value);
    }
    if (++filled < 4)
      continue;

    out.push_back(static_cast<char>((group >> 16) & 0xFF));
    if (padding < 2)
      out.push_back(static_cast<char>((group >> 8) & 0xFF));
    if (padding < 1)
      out.push_back(static_cast<char>(group & 0xFF));
    ended = padding > 0;
    group = 0;
    filled = 0;
  }
  if (filled != 0)
    return std::nullopt;
  return out;
}
