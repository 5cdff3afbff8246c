// Any URL the page or a link can make: resolving it never crashes, never
// reads outside the resource folder and always answers.
#include "web/SchemeHandler.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string url(reinterpret_cast<const char*>(data), size);
  std::optional<std::string> name = SchemeHandler::resourceName(url);
  if (name && (name->empty() || name->find('\0') != std::string::npos))
    std::abort();
  if (name && *name != "/" && name->find('/') != std::string::npos)
    std::abort();
  std::filesystem::path asked, within;
  SchemeHandler handler("/nonexistent-resources", [&](const std::filesystem::path& folder,
                                                      const std::filesystem::path& path) {
    within = folder;
    asked = path;
    return platform::Result<std::string>(std::string("x"));
  });
  platform::SchemeResponse response = handler.start({url});
  if (!response.ok || asked.parent_path() != "/nonexistent-resources" ||
      within != "/nonexistent-resources")
    std::abort();
  return 0;
}
