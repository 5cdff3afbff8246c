// Names the page could propose for a saved file or a download: whatever goes
// in, the save panel gets valid UTF-8 without separators or control
// characters, and never a name of a folder.

#include "system/SaveDestination.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// Decodes by value, independently of the cleaner's table: each sequence must
// be the shortest form of a scalar value.
bool validUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    std::size_t len = b < 0x80           ? 1
                      : (b >> 5) == 0x6  ? 2
                      : (b >> 4) == 0xE  ? 3
                      : (b >> 3) == 0x1E ? 4
                                         : 0;
    if (len == 0 || i + len > s.size())
      return false;
    uint32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    for (std::size_t k = 1; k < len; ++k) {
      auto c = static_cast<unsigned char>(s[i + k]);
      if ((c >> 6) != 0x2)
        return false;
      cp = cp << 6 | (c & 0x3F);
    }
    static const uint32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

bool plainAscii(unsigned char c) {
  return c != '/' && c >= 0x20 && c != 0x7F;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string name = cleanFileName(input);

  if (!validUtf8(name) || name == "." || name == "..")
    std::abort();
  for (char c : name)
    if (!plainAscii(static_cast<unsigned char>(c)) && static_cast<unsigned char>(c) < 0x80)
      std::abort();
  if (cleanFileName(name) != name)
    std::abort();

  // A name with nothing to clean is kept as it is.
  bool clean = validUtf8(input) && input != "." && input != "..";
  for (char c : input)
    clean = clean && (static_cast<unsigned char>(c) >= 0x80 || plainAscii(c));
  if (clean && name != input)
    std::abort();
  return 0;
}
