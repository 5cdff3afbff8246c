// Stored settings are text from disk: parsing any of it, and the window rule
// on top, never crashes and never yields an unusable window.
#include "app/MainWindowFrame.h"
#include "platform/GeometryText.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  (void)pointFromString(text);
  platform::Rect rect = mainWindowContentRect(text);
  if (!std::isfinite(rect.size.width) || !std::isfinite(rect.size.height) ||
      rect.size.width < 1170 || rect.size.height <= 0 || rect.size.width > 100000 ||
      rect.size.height > 100000)
    std::abort();
  platform::Rect again = rectFromString(stringFromRect(rect));
  if (again != rect)
    std::abort();
  return 0;
}
