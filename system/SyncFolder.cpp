#include "system/SyncFolder.h"

#include "platform/Utf8.h"
#include "system/AtomicFile.h"
#include "system/DataFolder.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <memory>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using platform::Failure;
using platform::Result;

namespace {

constexpr std::string_view STEM = ".dovrelist";
constexpr std::string_view EXTENSION = ".json";
constexpr std::string_view PLACEHOLDER_EXTENSION = ".icloud";

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

bool allDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), isDigit);
}

// A copy's number as engines count them: 1 to 9999, no leading zero.
bool isCopyNumber(std::string_view text) {
  return allDigits(text) && text.size() <= 4 && text.front() != '0';
}

// ".sync-conflict-YYYYMMDD-HHMMSS-<device>": Syncthing's, the device the
// first seven letters of its id.
bool isSyncthingConflict(std::string_view middle) {
  constexpr std::string_view MARK = ".sync-conflict-";
  if (!middle.starts_with(MARK))
    return false;
  middle.remove_prefix(MARK.size());
  if (middle.size() < 17 || !allDigits(middle.substr(0, 8)) || middle[8] != '-' ||
      !allDigits(middle.substr(9, 6)) || middle[15] != '-')
    return false;
  std::string_view device = middle.substr(16);
  return !device.empty() && device.size() <= 16 &&
         std::all_of(device.begin(), device.end(),
                     [](char c) { return isDigit(c) || (c >= 'A' && c <= 'Z'); });
}

// " (<who>'s conflicted copy <date>)": Dropbox's, in any words around it
// but no brackets, slashes or control characters.
bool isDropboxConflict(std::string_view middle) {
  if (middle.size() < 3 || !middle.starts_with(" (") || !middle.ends_with(")"))
    return false;
  std::string_view inner = middle.substr(2, middle.size() - 3);
  if (inner.find("conflicted copy") == std::string_view::npos)
    return false;
  return std::none_of(inner.begin(), inner.end(), [](char c) {
    return c == '(' || c == ')' || c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
  });
}

bool isKnownMiddle(std::string_view middle) {
  if (middle.empty())
    return true;
  if (isSyncthingConflict(middle) || isDropboxConflict(middle))
    return true;
  // " 2" (iCloud Drive), " (1)" (Google Drive, OneDrive).
  if (middle.size() >= 2 && middle[0] == ' ' && isCopyNumber(middle.substr(1)))
    return true;
  return middle.size() >= 4 && middle.starts_with(" (") && middle.ends_with(")") &&
         isCopyNumber(middle.substr(2, middle.size() - 3));
}

std::int64_t modifiedMilliseconds(const struct stat& st) {
#ifdef __APPLE__
  const struct timespec& at = st.st_mtimespec;
#else
  const struct timespec& at = st.st_mtim;
#endif
  return static_cast<std::int64_t>(at.tv_sec) * 1000 + at.tv_nsec / 1'000'000;
}

// The Dovrelist folder as it is: a real folder, not a link to one.
Result<platform::FileIdentity> realFolder(const fs::path& folder) {
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0)
    return Failure::of(errno);
  if (!S_ISDIR(st.st_mode))
    return Failure::of(ENOTDIR);
  return platform::identityOf(st);
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

bool isComputerId(std::string_view text) {
  return text.size() >= COMPUTER_ID_MIN_LENGTH && text.size() <= COMPUTER_ID_MAX_LENGTH &&
         std::all_of(text.begin(), text.end(),
                     [](char c) { return isDigit(c) || (c >= 'a' && c <= 'z'); });
}

std::optional<std::string> syncFileComputer(std::string_view name) {
  const std::size_t dot = name.find('.');
  if (dot == std::string_view::npos || !isComputerId(name.substr(0, dot)))
    return std::nullopt;
  std::string_view rest = name.substr(dot);
  if (rest.size() < STEM.size() + EXTENSION.size() || !rest.starts_with(STEM) ||
      !rest.ends_with(EXTENSION) || !platform::isValidUtf8(rest))
    return std::nullopt;
  std::string_view middle = rest.substr(STEM.size(), rest.size() - STEM.size() - EXTENSION.size());
  if (!isKnownMiddle(middle))
    return std::nullopt;
  return std::string(name.substr(0, dot));
}

std::string ownSyncFileName(std::string_view computerId) {
  return std::string(computerId) + std::string(STEM) + std::string(EXTENSION);
}

std::string syncTemporaryPrefix(std::string_view computerId) {
  return ".tessaloom-" + std::string(computerId) + "-";
}

fs::path syncSubfolder(const fs::path& chosen) {
  return chosen / SYNC_SUBFOLDER;
}

Result<void> makeSyncSubfolder(const fs::path& chosen) {
  const fs::path folder = syncSubfolder(chosen);
  // mkdir never follows a link in the new name's place: it fails on it.
  if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
    return Failure::of(errno);
  Result<platform::FileIdentity> made = realFolder(folder);
  if (!made)
    return made.failure();
  return {};
}

Result<SyncListing> listSyncFolder(const fs::path& chosen) {
  const fs::path folder = syncSubfolder(chosen);
  Result<platform::FileIdentity> identity = realFolder(folder);
  if (!identity)
    return identity.failure();
  std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
  if (!dir)
    return Failure::of(errno);
  SyncListing listing;
  listing.folder = *identity;
  std::vector<SyncFile> placeholders;
  for (errno = 0; const dirent* entry = ::readdir(dir.get()); errno = 0) {
    const std::string_view name = entry->d_name;
    std::string real(name);
    const bool placeholder = name.size() > PLACEHOLDER_EXTENSION.size() + 1 &&
                             name.front() == '.' && name.ends_with(PLACEHOLDER_EXTENSION);
    if (placeholder)
      real = name.substr(1, name.size() - 1 - PLACEHOLDER_EXTENSION.size());
    std::optional<std::string> computer = syncFileComputer(real);
    if (!computer)
      continue;
    struct stat st {};
    if (::lstat((folder / name).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
      continue;
    SyncFile file{real, std::move(*computer), static_cast<std::uint64_t>(st.st_size),
                  modifiedMilliseconds(st), std::nullopt};
    if (placeholder) {
      file.size = 0;
      file.placeholder = std::string(name);
      placeholders.push_back(std::move(file));
    } else {
      listing.files.push_back(std::move(file));
    }
  }
  if (errno != 0)
    return Failure::of(errno);
  // A place holder beside the file itself is left from before it came.
  for (SyncFile& waiting : placeholders)
    if (std::none_of(listing.files.begin(), listing.files.end(),
                     [&](const SyncFile& f) { return f.name == waiting.name; }))
      listing.files.push_back(std::move(waiting));
  std::sort(listing.files.begin(), listing.files.end(),
            [](const SyncFile& a, const SyncFile& b) { return a.name < b.name; });
  return listing;
}

Result<std::string> readSyncFile(const fs::path& chosen, const SyncFile& listed,
                                 const SyncFileReader& reader) {
  const fs::path folder = syncSubfolder(chosen);
  if (Result<platform::FileIdentity> real = realFolder(folder); !real)
    return real.failure();
  const fs::path path = folder / listed.name;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0)
    return Failure::of(errno);
  if (!S_ISREG(st.st_mode))
    return Failure::of(EINVAL);
  // What is opened must be the file that was looked at: a link put in its
  // place meanwhile is refused.
  const platform::FileIdentity seen = platform::identityOf(st);
  Result<std::string> text = reader(
      path, MAX_DATA_BYTES, [&](const platform::FileIdentity& opened) { return opened == seen; });
  if (!text)
    return text;
  if (!platform::isValidUtf8(*text))
    return Failure::of(EILSEQ);
  return text;
}

Result<void> writeOwnSyncFile(const fs::path& chosen, std::string_view computerId,
                              std::string_view text) {
  if (!isComputerId(computerId))
    return Failure::of(EINVAL);
  const fs::path folder = syncSubfolder(chosen);
  // Not made again here: a folder that is gone may be a share's bare mount
  // point, and what was written there would be on this computer only.
  if (Result<platform::FileIdentity> real = realFolder(folder); !real)
    return real.failure();
  return writeFileAtomically(folder / ownSyncFileName(computerId), text, LinkHandling::ReplaceLink,
                             syncTemporaryPrefix(computerId));
}

std::string newComputerId() {
  constexpr std::string_view DIGITS = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::random_device random;
  std::uniform_int_distribution<std::size_t> pick(0, DIGITS.size() - 1);
  std::string id;
  // 26 letters or digits: about 134 bits.
  for (int i = 0; i < 26; ++i)
    id += DIGITS[pick(random)];
  return id;
}

namespace {

// The machine's identity is not kept as such (systemd asks that it not be
// shown around): a stamp of it for this app, enough to tell two apart.
std::string machineStamp(std::string_view machineIdentity) {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  for (char c : std::string("org.tessaloom.computer:") + std::string(machineIdentity)) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ull;
  }
  constexpr std::string_view HEX = "0123456789abcdef";
  std::string stamp;
  for (int shift = 60; shift >= 0; shift -= 4)
    stamp += HEX[(hash >> shift) & 0xf];
  return stamp;
}

} // namespace

std::string computerId(platform::Defaults& defaults, std::string_view machineIdentity,
                       const std::function<std::string()>& makeId) {
  const std::string idKey(COMPUTER_ID_KEY), machineKey(COMPUTER_MACHINE_KEY);
  std::optional<std::string> kept = defaults.stringForKey(idKey);
  std::optional<std::string> keptMachine = defaults.stringForKey(machineKey);
  const std::string machine = machineIdentity.empty() ? "" : machineStamp(machineIdentity);
  if (kept && isComputerId(*kept)) {
    if (machine.empty() || keptMachine == machine)
      return *kept;
    // Kept without a stamp, where the machine could not say what it was.
    if (!keptMachine || keptMachine->empty()) {
      defaults.setString(machineKey, machine);
      return *kept;
    }
  }
  std::string id = makeId();
  if (!isComputerId(id))
    id = newComputerId();
  defaults.setString(idKey, id);
  defaults.setString(machineKey, machine);
  return id;
}

namespace {

// Spaces at either end, the ideographic and the no-break one included.
void trimSpaces(std::string& text) {
  constexpr std::string_view SPACES[] = {" ", "\xE3\x80\x80", "\xC2\xA0"};
  for (bool trimmed = true; trimmed;) {
    trimmed = false;
    for (std::string_view space : SPACES) {
      if (std::string_view(text).starts_with(space)) {
        text.erase(0, space.size());
        trimmed = true;
      }
      if (std::string_view(text).ends_with(space)) {
        text.resize(text.size() - space.size());
        trimmed = true;
      }
    }
  }
}

} // namespace

std::string cleanComputerName(std::string_view name) {
  std::string kept;
  std::size_t characters = 0;
  for (std::size_t at = 0; at < name.size();) {
    platform::Utf8Sequence sequence = platform::utf8SequenceAt(name, at);
    const unsigned char first = static_cast<unsigned char>(name[at]);
    const bool control = first < 0x20 || first == 0x7f;
    if (sequence.wellFormed && !control)
      kept.append(name.substr(at, sequence.length));
    else if (!sequence.wellFormed || first == '\t' || first == '\n' || first == '\r')
      kept += ' ';
    at += sequence.length;
  }
  trimSpaces(kept);
  // Cut at a character's boundary, then trimmed again.
  std::size_t at = 0;
  while (at < kept.size() && characters < COMPUTER_NAME_MAX_CHARACTERS) {
    at += platform::utf8SequenceAt(kept, at).length;
    ++characters;
  }
  kept.resize(at);
  trimSpaces(kept);
  return kept;
}

std::string computerName(platform::Defaults& defaults,
                         const std::function<std::string()>& systemName) {
  std::optional<std::string> given = defaults.stringForKey(std::string(COMPUTER_NAME_KEY));
  if (given) {
    std::string clean = cleanComputerName(*given);
    if (!clean.empty())
      return clean;
  }
  return systemName ? cleanComputerName(systemName()) : std::string();
}

std::string displayText(std::string_view bytes) {
  std::string text;
  for (std::size_t at = 0; at < bytes.size();) {
    platform::Utf8Sequence sequence = platform::utf8SequenceAt(bytes, at);
    if (sequence.wellFormed)
      text.append(bytes.substr(at, sequence.length));
    else
      text += "\xEF\xBF\xBD";
    at += sequence.length;
  }
  return text;
}
