#include "system/DataFolder.h"

#include "identity/identity.h"
#include "platform/RegularFile.h"
#include "platform/Utf8.h"
#include "system/AtomicFile.h"
#include "system/Autostart.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <map>
#include <sys/stat.h>
#include <system_error>
#include <tuple>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using platform::Failure;
using platform::Result;

constexpr std::string_view COPY_PREFIX = "dovrelist-";
constexpr std::string_view COPY_SUFFIX = ".json";
constexpr std::string_view ASIDE_PREFIX = "dovrelist.aside-";

struct StepName {
  CopyReason reason;
  std::string_view word;
};
constexpr StepName STEP_NAMES[] = {{CopyReason::BeforeImport, "import"},
                                   {CopyReason::BeforeRestore, "restore"},
                                   {CopyReason::BeforeUpgrade, "upgrade"}};

std::string twoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

std::string dateText(const LocalTime& t) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
  return text;
}

bool allDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "YYYY-MM-DD", checked by shape only: a copy is named by the app's clock.
bool isDateText(std::string_view text) {
  return text.size() == 10 && text[4] == '-' && text[7] == '-' && allDigits(text.substr(0, 4)) &&
         allDigits(text.substr(5, 2)) && allDigits(text.substr(8, 2));
}

// What lstat says is there: a regular file, something else, or nothing.
enum class Entry { Missing, Regular, Other };
Entry entryAt(const fs::path& path, struct stat* info = nullptr) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0)
    return Entry::Missing;
  if (info)
    *info = st;
  return S_ISREG(st.st_mode) ? Entry::Regular : Entry::Other;
}

// The first of name, name-2, name-3, ... (before the suffix) that is free.
fs::path freeName(const fs::path& folder, const std::string& stem, std::string_view suffix) {
  fs::path candidate = folder / (stem + std::string(suffix));
  for (int n = 2; entryAt(candidate) != Entry::Missing; ++n)
    candidate = folder / (stem + "-" + std::to_string(n) + std::string(suffix));
  return candidate;
}

} // namespace

LocalTime localTimeNow() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
          parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

std::string copyName(CopyReason reason, const LocalTime& at) {
  std::string name = std::string(COPY_PREFIX) + dateText(at);
  for (const StepName& step : STEP_NAMES)
    if (step.reason == reason)
      name += "-" + twoDigits(at.hour) + twoDigits(at.minute) + twoDigits(at.second) + "-" +
              std::string(step.word);
  return name + std::string(COPY_SUFFIX);
}

std::optional<DataCopy> copyFromName(std::string_view name) {
  if (!name.starts_with(COPY_PREFIX) || !name.ends_with(COPY_SUFFIX))
    return std::nullopt;
  std::string_view rest = name.substr(COPY_PREFIX.size());
  rest.remove_suffix(COPY_SUFFIX.size());
  if (rest.size() < 10 || !isDateText(rest.substr(0, 10)))
    return std::nullopt;
  DataCopy copy{std::string(name), CopyReason::Daily, std::string(rest.substr(0, 10)), {}};
  rest.remove_prefix(10);
  if (rest.empty())
    return copy;
  // "-HHMMSS-<step>", and "-N" when two were kept within one second.
  if (rest.size() < 9 || rest[0] != '-' || !allDigits(rest.substr(1, 6)) || rest[7] != '-')
    return std::nullopt;
  std::string_view clock = rest.substr(1, 6);
  copy.time = std::string(clock.substr(0, 2)) + ":" + std::string(clock.substr(2, 2)) + ":" +
              std::string(clock.substr(4, 2));
  std::string_view word = rest.substr(8);
  if (std::size_t dash = word.find('-'); dash != std::string_view::npos) {
    if (!allDigits(word.substr(dash + 1)))
      return std::nullopt;
    word = word.substr(0, dash);
  }
  for (const StepName& step : STEP_NAMES)
    if (word == step.word) {
      copy.reason = step.reason;
      return copy;
    }
  return std::nullopt;
}

std::vector<std::string> copiesToThin(std::vector<DataCopy> copies) {
  auto newestFirst = [](const DataCopy& a, const DataCopy& b) {
    return std::tie(a.date, a.time, a.name) > std::tie(b.date, b.time, b.name);
  };
  std::sort(copies.begin(), copies.end(), newestFirst);
  std::vector<std::string> thinned;
  std::size_t daily = 0, steps = 0;
  // Of the months past the daily copies: each one's earliest copy so far.
  std::map<std::string, const DataCopy*, std::greater<>> firstOfMonth;
  for (const DataCopy& copy : copies) {
    if (copy.reason != CopyReason::Daily) {
      if (++steps > STEP_COPIES_KEPT)
        thinned.push_back(copy.name);
      continue;
    }
    if (++daily <= DAILY_COPIES_KEPT)
      continue;
    const DataCopy*& first = firstOfMonth[copy.date.substr(0, 7)];
    if (first)
      thinned.push_back(first->name);
    first = &copy;
  }
  std::size_t month = 0;
  for (const auto& [name, first] : firstOfMonth)
    if (++month > MONTHLY_COPIES_KEPT)
      thinned.push_back(first->name);
  return thinned;
}

fs::path dataFolderPath(const platform::Environment& env) {
  if (!env.applicationSupportDirectory.empty())
    return applicationSupportFolder(env) / APP_TITLE;
  return xdgDataHome(env) / APP_TITLE;
}

DataFolder::DataFolder(fs::path folder, Clock now)
    : folder_(std::move(folder)), now_(std::move(now)) {}

Result<std::string> DataFolder::readPlain(const fs::path& path) const {
  struct stat named {};
  switch (entryAt(path, &named)) {
  case Entry::Missing:
    return Failure::of(ENOENT);
  case Entry::Other:
    // A link is never followed out of the folder, nor a FIFO opened.
    return Failure::of(EINVAL);
  case Entry::Regular:
    break;
  }
  const platform::FileIdentity expected = platform::identityOf(named);
  Result<std::string> text =
      platform::readRegularFile(path, MAX_DATA_BYTES, [&](const platform::FileIdentity& opened) {
        return opened == expected;
      });
  if (text && !platform::isValidUtf8(*text))
    return Failure::of(EILSEQ);
  return text;
}

Result<void> DataFolder::ensureFolder(const fs::path& path) const {
  std::error_code ec;
  fs::create_directories(path, ec);
  if (ec)
    return Failure::of(ec);
  return {};
}

Result<DataFolder::Read> DataFolder::read() {
  Result<std::string> text = readPlain(file());
  if (text)
    return Read{std::move(*text), std::nullopt};
  if (text.failure().code == ENOENT)
    return Read{};
  // Could not even be looked at: no rights, an I/O error. Nothing is moved.
  if (text.failure().code != EINVAL && text.failure().code != EFBIG &&
      text.failure().code != EILSEQ)
    return text.failure();
  Result<std::string> aside = setAside();
  if (!aside)
    return aside.failure();
  return Read{std::nullopt, std::move(*aside)};
}

Result<std::string> DataFolder::setAside() {
  const LocalTime t = now_();
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  const fs::path aside = freeName(folder_, std::string(ASIDE_PREFIX) + stamp, COPY_SUFFIX);
  // The entry itself moves: a link stays a link, pointing where it did.
  if (Result<void> moved = platform::posixResult(::rename(file().c_str(), aside.c_str())); !moved)
    return moved.failure();
  return aside.filename().string();
}

Result<void> DataFolder::write(std::string_view text) {
  if (Result<void> made = ensureFolder(folder_); !made)
    return made;
  // Not kept, it is made again before the next write; the write goes on.
  (void)keepDailyCopy();
  // Whatever stands in the file's place and is not a file is kept aside,
  // never written through.
  if (entryAt(file()) == Entry::Other)
    if (Result<std::string> aside = setAside(); !aside)
      return aside.failure();
  return writeFileAtomically(file(), text, LinkHandling::ReplaceLink);
}

Result<void> DataFolder::keepDailyCopy() {
  const LocalTime t = now_();
  const std::string today = dateText(t);
  if (copiedDay_ == today)
    return {};
  if (entryAt(file()) == Entry::Missing) {
    copiedDay_ = today;
    return {};
  }
  const std::string name = copyName(CopyReason::Daily, t);
  // Made already today, by this or an earlier run (or the clock went back).
  if (entryAt(copiesFolder() / name) == Entry::Missing)
    if (Result<void> copied = copyFileTo(name); !copied)
      return copied;
  copiedDay_ = today;
  for (const std::string& old : copiesToThin(copies()))
    ::unlink((copiesFolder() / old).c_str());
  return {};
}

Result<void> DataFolder::copyFileTo(const std::string& name) {
  Result<std::string> text = readPlain(file());
  if (!text)
    return text.failure();
  return writeCopy(name, *text);
}

Result<void> DataFolder::writeCopy(const std::string& name, std::string_view text) {
  if (Result<void> made = ensureFolder(copiesFolder()); !made)
    return made;
  return writeFileAtomically(copiesFolder() / name, text, LinkHandling::ReplaceLink);
}

std::vector<DataCopy> DataFolder::copies() const {
  std::vector<DataCopy> found;
  std::error_code ec;
  fs::directory_iterator it(copiesFolder(), ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    std::optional<DataCopy> copy = copyFromName(it->path().filename().string());
    if (copy && entryAt(it->path()) == Entry::Regular)
      found.push_back(std::move(*copy));
  }
  std::sort(found.begin(), found.end(), [](const DataCopy& a, const DataCopy& b) {
    return std::tie(a.date, a.time, a.name) > std::tie(b.date, b.time, b.name);
  });
  return found;
}

std::optional<fs::path> DataFolder::copyPath(std::string_view name) const {
  for (const DataCopy& copy : copies())
    if (copy.name == name)
      return copiesFolder() / copy.name;
  return std::nullopt;
}

Result<std::string> DataFolder::readCopy(std::string_view name) const {
  std::optional<fs::path> path = copyPath(name);
  if (!path)
    return Failure::of(ENOENT);
  return readPlain(*path);
}

Result<void> DataFolder::keepCopy(CopyReason reason, std::optional<std::string_view> text) {
  if (!text && entryAt(file()) == Entry::Missing)
    return {};
  const std::string name = copyName(reason, now_());
  const std::string stem = name.substr(0, name.size() - COPY_SUFFIX.size());
  const std::string free = freeName(copiesFolder(), stem, COPY_SUFFIX).filename().string();
  return text ? writeCopy(free, *text) : copyFileTo(free);
}

Result<std::string> DataFolder::restore(std::string_view name,
                                        std::optional<std::string_view> current) {
  Result<std::string> text = readCopy(name);
  if (!text)
    return text;
  // The data as it is goes first; without that copy nothing is replaced.
  if (Result<void> kept = keepCopy(CopyReason::BeforeRestore, current); !kept)
    return kept.failure();
  if (Result<void> written = write(*text); !written)
    return written.failure();
  return text;
}
