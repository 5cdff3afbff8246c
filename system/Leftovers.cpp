#include "system/Leftovers.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

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

} // namespace

std::string installStagePrefix(std::string_view appFolderName) {
  return "." + std::string(appFolderName) + ".";
}

std::string temporaryPattern(const fs::path& folder, std::string_view prefix) {
  return (folder / (std::string(prefix) + "XXXXXX")).string();
}

platform::Result<fs::path> makeTemporaryFolder(const fs::path& folder, std::string_view prefix) {
  std::string pattern = temporaryPattern(folder, prefix);
  if (::mkdtemp(pattern.data()) == nullptr)
    return platform::Failure::of(errno);
  return fs::path(pattern);
}

bool isTemporaryName(std::string_view name, std::string_view prefix) {
  // A prefix without its leading dot and a name could make a visible file
  // look like one of ours.
  if (prefix.size() < 2 || prefix.front() != '.' || name.size() != prefix.size() + RANDOM_LENGTH ||
      !name.starts_with(prefix))
    return false;
  for (char c : name.substr(prefix.size()))
    if (!isLetterOrDigit(c))
      return false;
  return true;
}

std::vector<fs::path> findLeftovers(const fs::path& folder,
                                    const std::vector<TemporaryRule>& rules) {
  std::vector<fs::path> found;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec)
    return found;
  const uid_t me = ::geteuid();
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec)
      break;
    const fs::path entry = it->path();
    const std::string name = entry.filename().string();
    for (const TemporaryRule& rule : rules) {
      if (!isTemporaryName(name, rule.prefix))
        continue;
      // What the entry is itself: a link is never one of ours, whatever it
      // points to.
      struct stat st {};
      if (::lstat(entry.c_str(), &st) != 0)
        break;
      const bool kindMatches = rule.folder ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode);
      // Another user's copy may be writing it right now, in a shared folder.
      if (kindMatches && st.st_uid == me && !isInUse(platform::identityOf(st)))
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
