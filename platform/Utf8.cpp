#include "platform/Utf8.h"

namespace platform {

Utf8Sequence utf8SequenceAt(std::string_view bytes, std::size_t at) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
  if (lead < 0x80)
    return {1, true};
  // The Unicode standard's table of well-formed sequences: no overlong forms,
  // no surrogates, nothing above U+10FFFF. C0, C1, F5..FF and a continuation
  // byte never lead.
  int continuation = 0;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    continuation = 1;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    continuation = 2;
    if (lead == 0xE0)
      low = 0xA0;
    if (lead == 0xED)
      high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    continuation = 3;
    if (lead == 0xF0)
      low = 0x90;
    if (lead == 0xF4)
      high = 0x8F;
  } else {
    return {1, false};
  }
  std::size_t end = at + 1;
  for (int k = 0; k < continuation; ++k, ++end) {
    if (end >= bytes.size())
      return {end - at, false};
    const auto c = static_cast<unsigned char>(bytes[end]);
    if (c < low || c > high)
      return {end - at, false};
    low = 0x80;
    high = 0xBF;
  }
  return {end - at, true};
}

bool isValidUtf8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const Utf8Sequence sequence = utf8SequenceAt(bytes, i);
    if (!sequence.wellFormed)
      return false;
    i += sequence.length;
  }
  return true;
}

} // namespace platform
