#pragma once

#include "platform/Result.h"
#include "platform/platform.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The teacher's data in a file of the app's own, outside the web engine's
// storage, with copies kept day by day. The text is the page's (a backup, as
// the page exports it); the folder, the names and the copies are the native
// side's, and the page never names a path: it names a copy only as listed.

// The most the page holds: a backup of at most MAX_DATA_CHARACTERS characters
// (the page refuses a larger one), each at most 3 bytes of UTF-8. Everything
// that carries the teacher's data is bounded from this.
inline constexpr std::size_t MAX_DATA_CHARACTERS = 5'000'000;
inline constexpr std::size_t MAX_DATA_BYTES = 3 * MAX_DATA_CHARACTERS;

// A moment on the local clock, as the copies are named.
struct LocalTime {
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
LocalTime localTimeNow();

// Why a copy was kept.
enum class CopyReason { Daily, BeforeImport, BeforeRestore, BeforeUpgrade };

struct DataCopy {
  // Its file name in the copies folder: what the page names it by.
  std::string name;
  CopyReason reason = CopyReason::Daily;
  // "YYYY-MM-DD"; "HH:MM:SS" for the copies kept before a step, else empty.
  std::string date;
  std::string time;
  bool operator==(const DataCopy&) const = default;
};

// The copy's name for a reason and a moment; nothing for a name no copy has.
std::string copyName(CopyReason reason, const LocalTime& at);
std::optional<DataCopy> copyFromName(std::string_view name);

// The 30 newest daily copies; before them the first copy of each of the 12
// newest months that have one; the 20 newest of those kept before a step.
// Returns the names of all others, which go. By the names' own dates, so a
// clock set back or forward never makes the newest copies go.
inline constexpr std::size_t DAILY_COPIES_KEPT = 30;
inline constexpr std::size_t MONTHLY_COPIES_KEPT = 12;
inline constexpr std::size_t STEP_COPIES_KEPT = 20;
std::vector<std::string> copiesToThin(std::vector<DataCopy> copies);

// $XDG_DATA_HOME/Dovrelist on Linux; on macOS the app's folder in Application
// Support, named after LA_LABEL, and Dovrelist inside it. Apart from the web
// engine's folders: removing those never removes the data.
std::filesystem::path dataFolderPath(const platform::Environment& env);

class DataFolder {
public:
  using Clock = std::function<LocalTime()>;
  static constexpr std::string_view FILE_NAME = "dovrelist.json";
  static constexpr std::string_view COPIES_FOLDER = "copies";

  explicit DataFolder(std::filesystem::path folder, Clock now = &localTimeNow);

  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path file() const { return folder_ / FILE_NAME; }
  std::filesystem::path copiesFolder() const { return folder_ / COPIES_FOLDER; }

  struct Read {
    // The file's text; nothing when there is no file.
    std::optional<std::string> text;
    // What an unreadable file (not a regular file, larger than any data,
    // not UTF-8 text) was moved aside as, in the folder; it is never
    // written over.
    std::optional<std::string> setAside;
  };
  platform::Result<Read> read();

  // Replaces the file with text, whole or not at all, never through a link.
  // Before the first write of each day the file as it was is kept as that
  // day's copy, and the copies are thinned.
  platform::Result<void> write(std::string_view text);

  // Moves the file aside under a name of its own in the folder (the page
  // found it damaged, or of a newer version), so the next write cannot
  // replace it. Returns that name.
  platform::Result<std::string> setAside();

  // Newest first; damaged or not, every copy that is a regular file.
  std::vector<DataCopy> copies() const;
  // A copy's text, by a name as copies() lists it; nothing else is read.
  platform::Result<std::string> readCopy(std::string_view name) const;
  // The path of a listed copy, for showing it in the file manager.
  std::optional<std::filesystem::path> copyPath(std::string_view name) const;
  // Keeps a copy for the reason: of the given text (the page's data, which
  // may be newer than the file), else of the file as it is now (nothing to
  // keep when there is no file yet).
  platform::Result<void> keepCopy(CopyReason reason,
                                  std::optional<std::string_view> text = std::nullopt);
  // Replaces the file with a listed copy, keeping the data as it was first
  // (the given text, else the file). Returns the copy's text.
  platform::Result<std::string> restore(std::string_view name,
                                        std::optional<std::string_view> current = std::nullopt);

private:
  platform::Result<std::string> readPlain(const std::filesystem::path& path) const;
  platform::Result<void> ensureFolder(const std::filesystem::path& path) const;
  platform::Result<void> keepDailyCopy();
  platform::Result<void> copyFileTo(const std::string& name);
  platform::Result<void> writeCopy(const std::string& name, std::string_view text);

  std::filesystem::path folder_;
  Clock now_;
  // The day whose copy this process has made or found.
  std::string copiedDay_;
};
