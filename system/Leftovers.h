#pragma once

#include "identity/identity.h"
#include "platform/Descriptor.h"
#include "platform/RegularFile.h"
#include "platform/Result.h"

#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The temporaries the app makes beside the files it writes, and clearing away
// the ones a process that was killed left behind. A user's own files and
// folders may carry any name, so a name alone never makes something ours:
// every temporary is a prefix and the six letters or digits that mkstemp or
// mkdtemp put in place of "XXXXXX", and then
// - a file ends in TEMPORARY_MARK as well, a name nobody gives a file, and
//   is a regular file of this user's;
// - a folder is a real folder of this user's that holds its marker: a
//   regular file of this user's named after the folder and TEMPORARY_MARK,
//   with TEMPORARY_MARKER_TEXT in it, written before anything else goes in.
// Nothing of any other name, kind, owner or content is ever touched. Any
// writer can use the scheme with a prefix of its own, which may carry more
// than a fixed word (a computer's id, say).

// A file written whole before it is renamed over a user's file.
inline const std::string SAVE_TEMPORARY_PREFIX = "." + std::string(PRODUCT_FILE_WORD) + "-";
// A folder the engine writes a download into.
inline constexpr std::string_view DOWNLOAD_FOLDER_PREFIX = ".download-";
// The folder an install copies the app into beside its destination:
// "." + the app folder's name + ".".
std::string installStagePrefix(std::string_view appFolderName);

// What ends a temporary file's name and its folder's marker's name.
inline const std::string TEMPORARY_MARK = "." + std::string(PRODUCT_FILE_WORD) + "-tmp";
// What a temporary folder's marker holds.
inline const std::string TEMPORARY_MARKER_TEXT =
    "Made by " + std::string(PRODUCT_NAME) + " for a moment.\n";

// A new file of the prefix's name in folder, only this user's, open for
// writing as fd (close-on-exec).
struct TemporaryFile {
  platform::Descriptor fd;
  std::filesystem::path path;
};
platform::Result<TemporaryFile> makeTemporaryFile(const std::filesystem::path& folder,
                                                  std::string_view prefix);

// A new folder of the prefix's name in folder, only this user's, its marker
// in it. A folder whose marker cannot be written is taken back.
platform::Result<std::filesystem::path> makeTemporaryFolder(const std::filesystem::path& folder,
                                                            std::string_view prefix);

struct TemporaryRule {
  std::string prefix;
  // A folder (makeTemporaryFolder) rather than a file (makeTemporaryFile).
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

// The entries directly in folder that one of the rules made, as the scheme
// above tells them, and that this process is not using. Errors (no folder,
// no rights) give fewer entries, never a failure.
std::vector<std::filesystem::path> findLeftovers(const std::filesystem::path& folder,
                                                 const std::vector<TemporaryRule>& rules);

// Removes what findLeftovers finds; whatever cannot be removed stays.
void removeLeftovers(const std::filesystem::path& folder, const std::vector<TemporaryRule>& rules);

// Folders that an earlier version made by the folder rule's name but without
// a marker: a real folder of this user's, named by the rule, holding one or
// more of the given names and nothing else, each a real folder of this
// user's. For a writer whose earlier folders may hold something to keep;
// anything else of that name is the user's.
std::vector<std::filesystem::path> findUnmarkedFolders(const std::filesystem::path& folder,
                                                       const TemporaryRule& rule,
                                                       const std::set<std::string>& entries);

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
