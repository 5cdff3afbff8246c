#pragma once

// A whole machine under one temporary folder: a home, a running app where a
// download or a build would leave it, and an Applications folder, laid out
// as macOS or as Linux has them.

#include "platform/platform.h"
#include "support/MacEnvironment.h"
#include "support/TempDir.h"

#include <filesystem>
#include <map>
#include <string>

namespace roots {

namespace fs = std::filesystem;

inline void writeExecutable(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  writeFile(path, bytes);
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
}

struct Machine {
  TempDir dir;
  platform::Environment env;

  explicit Machine(TestSystem system, const std::string& appName = "") {
    env.homeDirectory = dir.path() / "home";
    fs::create_directories(env.homeDirectory);
    if (system == TestSystem::Mac) {
      env.bundlePath =
          env.homeDirectory / "Downloads" / (appName.empty() ? "Tessaloom.app" : appName);
      env.executablePath = env.bundlePath / "Contents" / "MacOS" / "Tessaloom";
      env.applicationsDirectory = dir.path() / "Applications";
      useMacWays(env);
      writeFile(ensureParent(env.bundlePath / "Contents" / "Info.plist"), "<plist/>");
      writeFile(ensureParent(env.bundlePath / "Contents" / "Resources" / "index.html"), "<p>");
    } else {
      env.bundlePath = dir.path() / "build" / (appName.empty() ? "Tessaloom" : appName);
      env.executablePath = env.bundlePath / "tessaloom";
      env.applicationsDirectory = env.homeDirectory / "Applications";
      env.kind = "linux";
      env.configDirectory = env.homeDirectory / ".config";
      env.dataDirectory = env.homeDirectory / ".local" / "share";
      writeFile(ensureParent(env.bundlePath / "resources" / "index.html"), "<p>");
    }
    writeExecutable(env.executablePath, "#!/bin/sh\n");
  }

  static fs::path ensureParent(const fs::path& path) {
    fs::create_directories(path.parent_path());
    return path;
  }
};

// Every item under root by relative path: a file's bytes, a link's target,
// "<dir>" for a folder, "<other>" for anything else. Two equal snapshots mean nothing was touched.
inline std::map<std::string, std::string> snapshot(const fs::path& root) {
  std::map<std::string, std::string> items;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const fs::path& path = it->path();
    std::string key = path.lexically_relative(root).string();
    if (it->is_symlink())
      items[key] = "-> " + fs::read_symlink(path).string();
    else if (it->is_directory())
      items[key] = "<dir>";
    else if (it->is_regular_file())
      items[key] = readFile(path);
    else
      items[key] = "<other>"; // a pipe, which must never be opened here
  }
  return items;
}

inline std::size_t entryCount(const fs::path& folder) {
  std::error_code ec;
  std::size_t count = 0;
  for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
       it.increment(ec))
    ++count;
  return count;
}

} // namespace roots
