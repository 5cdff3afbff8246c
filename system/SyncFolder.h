#pragma once

#include "platform/RegularFile.h"
#include "platform/Result.h"
#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The folder that the teacher's own sync engine (Dropbox, iCloud Drive,
// Syncthing, a network share, a USB stick) carries between their computers.
// In its Dovrelist folder each computer writes only its own file,
// "<computer id>.dovrelist.json", and reads every other one; the page merges
// them. What two writes that met make of a file name is read as that
// computer's too. Nothing here ever deletes, moves or clears anything there:
// another computer's files, and its temporaries, arrive by sync.
//
// Every call may block (a file fetched from the cloud as it is read, a hung
// network share): the caller runs them off the main thread.

inline constexpr std::string_view SYNC_SUBFOLDER = "Dovrelist";

// The defaults that hold this computer's part; none of them is synced.
inline constexpr std::string_view COMPUTER_ID_KEY = "computerId";
// A stamp of the machine the id was made on, beside it.
inline constexpr std::string_view COMPUTER_MACHINE_KEY = "computerMachine";
inline constexpr std::string_view COMPUTER_NAME_KEY = "computerName";
inline constexpr std::string_view SYNC_FOLDER_KEY = "syncFolder";

inline constexpr std::size_t COMPUTER_ID_MIN_LENGTH = 16;
inline constexpr std::size_t COMPUTER_ID_MAX_LENGTH = 32;
inline constexpr std::size_t COMPUTER_NAME_MAX_CHARACTERS = 40;

// Lowercase letters and digits, 16 to 32 of them.
bool isComputerId(std::string_view text);

// The computer's id in a sync file's name: "<id>.dovrelist.json", or what a
// sync engine makes of it where two writes met: "<id>.dovrelist (… conflicted
// copy …).json" (Dropbox), "<id>.dovrelist.sync-conflict-YYYYMMDD-HHMMSS-
// <device>.json" (Syncthing), "<id>.dovrelist 2.json" (iCloud Drive),
// "<id>.dovrelist (1).json" (Google Drive, OneDrive). Nothing for any other
// name.
std::optional<std::string> syncFileComputer(std::string_view name);

// This computer's own file, and the beginning of its temporaries' names:
// another computer's temporary is never taken for one of this computer's.
std::string ownSyncFileName(std::string_view computerId);
std::string syncTemporaryPrefix(std::string_view computerId);

struct SyncFile {
  std::string name;
  std::string computer;
  std::uint64_t size = 0;
  // Milliseconds since the epoch.
  std::int64_t modified = 0;
  // Only a place holder of it is there (iCloud Drive's ".<name>.icloud"),
  // named here: it can be asked for and read on a later round.
  std::optional<std::string> placeholder;
  bool operator==(const SyncFile&) const = default;
};

struct SyncListing {
  std::vector<SyncFile> files;
  // The Dovrelist folder that was listed.
  platform::FileIdentity folder;
};

// The Dovrelist folder in the chosen one.
std::filesystem::path syncSubfolder(const std::filesystem::path& chosen);

// Makes the Dovrelist folder in the chosen one, where there is none; a link
// in its place is not followed but refused.
platform::Result<void> makeSyncSubfolder(const std::filesystem::path& chosen);

// Every sync file directly in the Dovrelist folder that is a regular file
// (no link, FIFO, folder), by name. A failure with ENOENT when the folder is
// not there (a USB stick unplugged, a share offline, a mount point left
// bare): nothing is made in its place.
platform::Result<SyncListing> listSyncFolder(const std::filesystem::path& chosen);

// Reads the whole file, as the regular-file reader does.
using SyncFileReader = std::function<platform::Result<std::string>(
    const std::filesystem::path&, std::size_t,
    const std::function<bool(const platform::FileIdentity&)>&)>;

// The text of a file a listing gave: a regular file now too (never through
// a link), at most MAX_DATA_BYTES, UTF-8. Whatever it holds, it stays.
platform::Result<std::string>
readSyncFile(const std::filesystem::path& chosen, const SyncFile& listed,
             const SyncFileReader& reader = &platform::readRegularFile);

// Replaces this computer's own file with text, whole or not at all, never
// through a link; nothing else in the folder is written. A failure with
// ENOENT when the Dovrelist folder is not there.
platform::Result<void> writeOwnSyncFile(const std::filesystem::path& chosen,
                                        std::string_view computerId, std::string_view text);

// A fresh random id.
std::string newComputerId();

// This computer's id: the one kept in the defaults when it was made on this
// machine, else a new one, kept there with a stamp of the machine. Where the
// machine tells no identity the kept id stays.
std::string computerId(platform::Defaults& defaults, std::string_view machineIdentity,
                       const std::function<std::string()>& makeId = &newComputerId);

// A name as the teacher gives it: trimmed, without control characters, at
// most COMPUTER_NAME_MAX_CHARACTERS characters.
std::string cleanComputerName(std::string_view name);

// The name the teacher gave, else the system's.
std::string computerName(platform::Defaults& defaults,
                         const std::function<std::string()>& systemName);

// Text to show for a path: bytes that are not UTF-8 become U+FFFD.
std::string displayText(std::string_view bytes);
