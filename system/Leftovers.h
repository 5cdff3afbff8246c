#pragma once

#include "platform/RegularFile.h"
#include "platform/Result.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The temporaries the app makes beside the files it writes, and clearing away
// the ones a process that was killed left behind. Each is a prefix followed by
// the six letters or digits mkstemp/mkdtemp put in place of "XXXXXX"; nothing
// of any other name or kind is ever touched.

// A file written whole before it is renamed over a user's file.
inline constexpr std::string_view SAVE_TEMPORARY_PREFIX = ".tessaloom-";
// A folder the engine writes a download into.
inline constexpr std::string_view DOWNLOAD_FOLDER_PREFIX = ".download-";
// The folder an install copies the app into beside its destination:
// "." + the app folder's name + ".".
std::string installStagePrefix(std::string_view appFolderName);

// folder/<prefix>XXXXXX, ready for mkstemp or mkdtemp.
std::string temporaryPattern(const std::filesystem::path& folder, std::string_view prefix);

// A new folder of the prefix's name in folder, only this user's.
platform::Result<std::filesystem::path> makeTemporaryFolder(const std::filesystem::path& folder,
                                                            std::string_view prefix);

struct TemporaryRule {
  std::string prefix;
  // A folder (mkdtemp) rather than a regular file (mkstemp).
  bool folder = false;
};

inline TemporaryRule saveTemporaryRule() {
  return {std::string(SAVE_TEMPORARY_PREFIX), false};
}
inline TemporaryRule downloadFolderRule() {
  return {std::string(DOWNLOAD_FOLDER_PREFIX), true};
}
inline TemporaryRule installStageRule(std::string_view appFolderName) {
  return {installStagePrefix(appFolderName), true};
}

// The name is the prefix and exactly six ASCII letters or digits after it.
bool isTemporaryName(std::string_view name, std::string_view prefix);

// The entries directly in folder that a rule names and that are what the
// app's code makes there: by name, by kind (a regular file, or a real folder;
// never a link), owned by this user, and not in use by this process. Errors
// (no folder, no rights) give fewer entries, never a failure.
std::vector<std::filesystem::path> findLeftovers(const std::filesystem::path& folder,
                                                 const std::vector<TemporaryRule>& rules);

// Removes what findLeftovers finds; whatever cannot be removed stays.
void removeLeftovers(const std::filesystem::path& folder, const std::vector<TemporaryRule>& rules);

// A temporary this process is still writing through, for as long as the
// object lives: findLeftovers passes it by, whichever path names it.
class TemporaryInUse {
public:
  TemporaryInUse() = default;
  explicit TemporaryInUse(const std::filesystem::path& temporary);
  ~TemporaryInUse();
  TemporaryInUse(TemporaryInUse&& other) noexcept;
  TemporaryInUse& operator=(TemporaryInUse&& other) noexcept;
  TemporaryInUse(const TemporaryInUse&) = delete;
  TemporaryInUse& operator=(const TemporaryInUse&) = delete;

private:
  void release();
  bool held_ = false;
  platform::FileIdentity id_;
};
