#include "platform/StoreFolders.h"

namespace platform {

StoreFolders xdgStoreFolders(std::string_view folderName, const std::filesystem::path& configHome,
                             const std::filesystem::path& dataHome,
                             const std::filesystem::path& cacheHome) {
  return {configHome / folderName / "defaults.ini", dataHome / folderName, cacheHome / folderName};
}

} // namespace platform
