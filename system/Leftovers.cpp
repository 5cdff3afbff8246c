#include "system/Leftovers.h"

#include "system/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;
using platform::Failure;
using platform::Result;

namespace {

// What mkstemp and mkdtemp put in place of "XXXXXX", on glibc and on macOS.
constexpr std::size_t RANDOM_LENGTH = 6;

bool isLetterOrDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// One thread writes, but the set is the process's, so it is guarded anyway.
struct InUse {
  std::mutex mutex;
  std::multiset<platform::FileIdentity> ids;
};

InUse& inUse() {
  static InUse registry;
  return registry;
}

bool isInUse(const platform::FileIdentity& id) {
  InUse& registry = inUse();
  std::lock_guard<std::mutex> guard(registry.mutex);
  return registry.ids.count(id) > 0;
}

fs::path markerOf(const fs::path& temporaryFolder) {
  return temporaryFolder / (temporaryFolder.filename().string() + std::string(TEMPORARY_MARK));
}

// The prefix, six letters or digits, and for a file the mark.
bool isTemporaryName(std::string_view name, const TemporaryRule& rule) {
  const std::string_view prefix = rule.prefix;
  const std::string_view tail = rule.folder ? std::string_view() : TEMPORARY_MARK;
  // A prefix without its leading dot and a name could make a visible file
  // look like one of ours.
  if (prefix.size() < 2 || prefix.front() != '.' ||
      name.size() != prefix.size() + RANDOM_LENGTH + tail.size() || !name.starts_with(prefix) ||
      !name.ends_with(tail))
    return false;
  for (char c : name.substr(prefix.size(), RANDOM_LENGTH))
    if (!isLetterOrDigit(c))
      return false;
  return true;
}

// Of the kind (S_IFDIR, S_IFREG) and this user's, as lstat saw it.
bool isMine(const struct stat& st, mode_t kind) {
  return (st.st_mode & S_IFMT) == kind && st.st_uid == ::geteuid();
}

bool holdsItsMarker(const fs::path& temporaryFolder) {
  const fs::path marker = markerOf(temporaryFolder);
  struct stat st {};
  if (::lstat(marker.c_str(), &st) != 0 || !isMine(st, S_IFREG))
    return false;
  const platform::FileIdentity id = platform::identityOf(st);
  platform::Result<std::string> text =
      platform::readRegularFile(marker, TEMPORARY_MARKER_TEXT.size(),
                                [&](const platform::FileIdentity& opened) { return opened == id; });
  return text && *text == TEMPORARY_MARKER_TEXT;
}

// What a folder holds, as far as it can be read: an error gives fewer
// entries, never a failure.
std::vector<fs::path> entriesIn(const fs::path& folder) {
  std::vector<fs::path> entries;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator();
       it.increment(ec))
    entries.push_back(it->path());
  return entries;
}

} // namespace

std::string installStagePrefix(std::string_view appFolderName) {
  return "." + std::string(appFolderName) + ".";
}

Result<TemporaryFile> makeTemporaryFile(const fs::path& folder, std::string_view prefix) {
  std::string pattern =
      (folder / (std::string(prefix) + "XXXXXX" + std::string(TEMPORARY_MARK))).string();
  platform::Descriptor fd(::mkstemps(pattern.data(), static_cast<int>(TEMPORARY_MARK.size())));
  if (!fd.valid())
    return Failure::of(errno);
  ::fcntl(fd.get(), F_SETFD, FD_CLOEXEC);
  return TemporaryFile{std::move(fd), fs::path(pattern)};
}

Result<fs::path> makeTemporaryFolder(const fs::path& folder, std::string_view prefix) {
  std::string pattern = (folder / (std::string(prefix) + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr)
    return Failure::of(errno);
  const fs::path made(pattern);
  platform::Descriptor fd(::open(markerOf(made).c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                                 0600));
  Result<void> marked = !fd.valid()
                            ? Result<void>(Failure::of(errno))
                            : platform::closeAfter(fd, writeAll(fd.get(), TEMPORARY_MARKER_TEXT));
  if (!marked) {
    std::error_code ignored;
    fs::remove_all(made, ignored);
    return marked.failure();
  }
  return made;
}

std::vector<fs::path> findLeftovers(const fs::path& folder,
                                    const std::vector<TemporaryRule>& rules) {
  std::vector<fs::path> found;
  for (const fs::path& entry : entriesIn(folder)) {
    const std::string name = entry.filename().string();
    for (const TemporaryRule& rule : rules) {
      if (!isTemporaryName(name, rule))
        continue;
      // What the entry is itself: a link is never one of ours, whatever it
      // points to. Another user's copy may be writing it right now, in a
      // shared folder.
      struct stat st {};
      if (::lstat(entry.c_str(), &st) != 0 || !isMine(st, rule.folder ? S_IFDIR : S_IFREG) ||
          isInUse(platform::identityOf(st)))
        break;
      if (!rule.folder || holdsItsMarker(entry))
        found.push_back(entry);
      break;
    }
  }
  return found;
}

void removeLeftovers(const fs::path& folder, const std::vector<TemporaryRule>& rules) {
  for (const fs::path& leftover : findLeftovers(folder, rules)) {
    std::error_code ignored;
    // Links inside a folder are removed, not followed.
    fs::remove_all(leftover, ignored);
  }
}

std::vector<fs::path> findUnmarkedFolders(const fs::path& folder, const TemporaryRule& rule,
                                          const std::set<std::string>& entries) {
  std::vector<fs::path> found;
  for (const fs::path& entry : entriesIn(folder)) {
    struct stat st {};
    if (!isTemporaryName(entry.filename().string(), rule) || ::lstat(entry.c_str(), &st) != 0 ||
        !isMine(st, S_IFDIR))
      continue;
    std::error_code inner;
    fs::directory_iterator each(entry, inner);
    bool exact = !inner;
    std::size_t held = 0;
    for (; exact && each != fs::directory_iterator(); each.increment(inner)) {
      struct stat item {};
      exact = !inner && entries.count(each->path().filename().string()) > 0 &&
              ::lstat(each->path().c_str(), &item) == 0 && isMine(item, S_IFDIR);
      ++held;
    }
    if (exact && !inner && held > 0)
      found.push_back(entry);
  }
  return found;
}

TemporaryInUse::TemporaryInUse(const fs::path& temporary) {
  struct stat st {};
  if (::lstat(temporary.c_str(), &st) != 0)
    return;
  id_ = platform::identityOf(st);
  held_ = true;
  InUse& registry = inUse();
  std::lock_guard<std::mutex> guard(registry.mutex);
  registry.ids.insert(id_);
}

TemporaryInUse::~TemporaryInUse() {
  release();
}

TemporaryInUse::TemporaryInUse(TemporaryInUse&& other) noexcept
    : held_(std::exchange(other.held_, false)), id_(other.id_) {}

TemporaryInUse& TemporaryInUse::operator=(TemporaryInUse&& other) noexcept {
  if (this != &other) {
    release();
    held_ = std::exchange(other.held_, false);
    id_ = other.id_;
  }
  return *this;
}

void TemporaryInUse::release() {
  if (!held_)
    return;
  held_ = false;
  InUse& registry = inUse();
  std::lock_guard<std::mutex> guard(registry.mutex);
  auto it = registry.ids.find(id_);
  if (it != registry.ids.end())
    registry.ids.erase(it);
}
