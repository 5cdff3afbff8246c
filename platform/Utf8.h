#pragma once

// Checking and stepping through UTF-8 text: message bodies, file names and the
// text of the files the app writes all need it.

#include <cstddef>
#include <string_view>

namespace platform {

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogate
// code points, nothing above U+10FFFF). JSON text cannot carry anything else:
// nlohmann::json would throw when such a string is written out.
bool isValidUtf8(std::string_view bytes);

// The UTF-8 sequence starting at bytes[at] (at < size): its length when it is
// well-formed, else the length of its longest valid beginning (at least 1),
// which is where decoding goes on.
struct Utf8Sequence {
  std::size_t length = 1;
  bool wellFormed = false;
};
Utf8Sequence utf8SequenceAt(std::string_view bytes, std::size_t at);

} // namespace platform
