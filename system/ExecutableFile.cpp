#include "system/ExecutableFile.h"

namespace fs = std::filesystem;

bool isExecutableFile(const fs::path& path) {
  std::error_code ec;
  fs::file_status st = fs::status(path, ec);
  if (ec || !fs::is_regular_file(st))
    return false;
  constexpr fs::perms anyExec =
      fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
  return (st.permissions() & anyExec) != fs::perms::none;
}
