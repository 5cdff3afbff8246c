#include "system/Install.h"

#include "identity/identity.h"
#include "platform/Descriptor.h"
#include "system/AtomicFile.h"
#include "system/Autostart.h"
#include "system/DesktopEntry.h"
#include "system/ExecutableFile.h"
#include "system/Leftovers.h"
#include "system/Paths.h"
#include "system/UserTexts.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

using platform::Failure;
using platform::Result;

Result<void> copyBytes(int in, const fs::path& from, int out) {
  std::vector<char> buffer(std::size_t(1) << 18);
  for (;;) {
    ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      return Failure::of(errno).at("read", from);
    if (got == 0)
      return {};
    if (Result<void> written = writeAll(out, {buffer.data(), std::size_t(got)}); !written)
      return written;
  }
}

// The regular file open as in, copied into a new file at to.
Result<void> copyOpenFile(int in, const fs::path& from, const fs::path& to) {
  struct stat info {};
  if (::fstat(in, &info) != 0)
    return Failure::of(errno).at("read", from);
  if (!S_ISREG(info.st_mode))
    return Failure::of(std::errc::not_supported).at("read", from);
  platform::Descriptor out(
      ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600));
  if (!out.valid())
    return Failure::of(errno).at("create", to);
  Result<void> copied = copyBytes(in, from, out.get());
  if (copied)
    copied = platform::posixResult(::fchmod(out.get(), info.st_mode & 07777));
  // On disk before the swap's renames make the copy the installed app.
  if (copied)
    copied = flushToDisk(out.get());
  // Some file systems report a full disk only at the close.
  copied = platform::closeAfter(out, std::move(copied));
  if (!copied && copied.failure().step.empty())
    return Failure(copied.failure()).at("write", to);
  return copied;
}

// One regular file, its bytes and permission bits. A failing read or write
// is reported as the system gave it ("No space left on device"), where the
// library's copy turns a write that fails midway into "Input/output error".
Result<void> copyRegularFile(const fs::path& from, const fs::path& to) {
  // Without O_NONBLOCK a FIFO swapped in for the file would hold the open.
  platform::Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!in.valid())
    return Failure::of(errno).at("open", from);
  return copyOpenFile(in.get(), from, to);
}

// A folder tree as it is: folders with their permission bits, links as
// links (a bundle's frameworks are full of them), regular files; anything
// else (a pipe, a socket) fails the copy.
Result<void> copyTree(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(from, ec);
  if (ec)
    return Failure::of(ec).at("read", from);
  switch (status.type()) {
  case fs::file_type::symlink:
    fs::copy_symlink(from, to, ec);
    return platform::filesystemResult(ec);
  case fs::file_type::regular:
    return copyRegularFile(from, to);
  case fs::file_type::directory:
    break;
  default:
    return Failure::of(std::errc::not_supported).at("copy", from);
  }
  // Writable while it fills, its own bits once full.
  if (::mkdir(to.c_str(), 0700) != 0)
    return Failure::of(errno).at("create the folder", to);
  for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
    if (Result<void> copied = copyTree(it->path(), to / it->path().filename()); !copied)
      return copied;
  }
  if (!ec)
    fs::permissions(to, status.permissions(), ec);
  return platform::filesystemResult(ec);
}

void removeStage(const fs::path& stage) {
  std::error_code ignored;
  fs::remove_all(stage, ignored);
}

// The running app's folder, as written.
fs::path appFolder(const platform::Environment& env) {
  fs::path app = env.bundlePath.lexically_normal();
  if (!app.has_filename() && app.has_relative_path())
    app = app.parent_path(); // "X.app/" names X.app
  return app;
}

// The name the app's folder keeps in the Applications folder; empty when its
// path names no folder.
std::string appFolderName(const platform::Environment& env) {
  std::string name = appFolder(env).filename().string();
  if (name == "." || name == "..")
    name.clear();
  return name;
}

// The previous copy and the new one, inside a stage.
constexpr const char* PREVIOUS_COPY = "old";
constexpr const char* NEW_COPY = "new";

// What an install copies where, worked out before anything is written.
struct InstallPlan {
  // The running app, canonical.
  fs::path source;
  fs::path folder;
  fs::path destination;
  // The executable, relative to the app.
  fs::path executableInApp;
  // Linux: the launcher entry, naming the executable in the copy.
  std::optional<std::string> entryText;
};

// A whole copy beside the destination, not yet in its place.
struct StagedInstall {
  // The hidden folder that holds everything temporary.
  fs::path stage;
  fs::path fresh;
  // Linux: a launcher entry was there before this install wrote its own.
  bool entryExisted = false;
};

// The plan; nothing when the install ends before touching the disk, the app
// being there already; a failure for a bundle that cannot be copied there.
Result<std::optional<InstallPlan>> planInstall(const platform::Environment& env) {
  const std::optional<InstallPlan> alreadyThere;
  if (isInstalledInApplications(env))
    return alreadyThere;

  const fs::path app = appFolder(env);
  const std::string name = appFolderName(env);
  if (name.empty())
    return Failure::refused(std::errc::invalid_argument, INSTALL_NO_APP_FOLDER_REASON);

  InstallPlan plan;
  plan.folder = applicationsFolder(env);
  plan.destination = plan.folder / name;

  // The launcher entry and the login item name the executable as it will be
  // in the copy.
  plan.executableInApp = env.executablePath.lexically_normal().lexically_relative(app);
  if (plan.executableInApp.empty() || *plan.executableInApp.begin() == ".." ||
      plan.executableInApp == ".")
    return Failure::refused(std::errc::invalid_argument, INSTALL_PROGRAM_OUTSIDE_APP_REASON);
  if (env.listsAppsByLauncherEntry) {
    plan.entryText = desktopEntryText({(plan.destination / plan.executableInApp).string()}, false);
    if (!plan.entryText)
      return Failure::refused(std::errc::illegal_byte_sequence, INSTALL_PATH_NOT_IN_ENTRY_REASON);
  }

  std::error_code ec;
  plan.source = fs::canonical(env.bundlePath, ec);
  if (ec)
    return Failure::of(ec).at("find", env.bundlePath);

  // The destination may be the running app itself under another spelling: a
  // linked folder, another letter case on a case-insensitive volume.
  if (fs::equivalent(plan.destination, plan.source, ec) && !ec)
    return alreadyThere;

  // A copy into the app's own tree would copy itself without end.
  fs::path canonicalFolder = fs::weakly_canonical(plan.folder, ec);
  if (ec)
    return Failure::of(ec).at("find", plan.folder);
  if (isWithin(canonicalFolder, plan.source, FolderItself::Counts))
    return Failure::refused(std::errc::invalid_argument, INSTALL_INTO_ITSELF_REASON);
  return std::optional<InstallPlan>(std::move(plan));
}

// The copy in the stage and, on Linux, the launcher entry naming it.
Result<void> fillStage(const platform::Environment& env, const InstallPlan& plan,
                       StagedInstall& staged) {
  if (Result<void> copied = copyTree(plan.source, staged.fresh); !copied)
    return copied;
  if (!plan.entryText)
    return {};
  if (!isExecutableFile(staged.fresh / plan.executableInApp))
    return Failure::refused(std::errc::no_such_file_or_directory,
                            INSTALL_COPY_HAS_NO_PROGRAM_REASON);
  const fs::path entry = launcherEntryPath(env);
  staged.entryExisted = itemExists(entry);
  std::error_code ec;
  fs::create_directories(entry.parent_path(), ec);
  if (ec)
    return Failure::of(ec).at("create the folder", entry.parent_path());
  return writeFileAtomically(entry, *plan.entryText);
}

// Copies the app into a hidden folder beside the destination, on the same
// volume so the swap is two renames, and on Linux writes the launcher entry.
// A failure leaves no stage behind.
Result<StagedInstall> stageInstall(const platform::Environment& env, const InstallPlan& plan) {
  std::error_code ec;
  fs::create_directories(plan.folder, ec);
  if (ec)
    return Failure::of(ec).at("create the folder", plan.folder);

  Result<fs::path> stage =
      makeTemporaryFolder(plan.folder, installStagePrefix(plan.destination.filename().string()));
  if (!stage)
    return stage.failure();
  StagedInstall staged;
  staged.stage = *stage;
  staged.fresh = staged.stage / NEW_COPY;
  Result<void> made = fillStage(env, plan, staged);
  if (!made) {
    removeStage(staged.stage);
    return made.failure();
  }
  return staged;
}

// Moves a previous copy aside into the stage and the new one into its place;
// on failure puts the previous copy back and takes back a launcher entry that
// was not there before.
Result<void> swapInstall(const platform::Environment& env, const InstallPlan& plan,
                         const StagedInstall& staged) {
  auto forgetEntry = [&] {
    std::error_code ignored;
    if (plan.entryText && !staged.entryExisted)
      fs::remove(launcherEntryPath(env), ignored);
  };
  const fs::path previous = staged.stage / PREVIOUS_COPY;
  std::error_code ec;
  const bool replacing = itemExists(plan.destination);
  if (replacing) {
    fs::rename(plan.destination, previous, ec);
    if (ec) {
      forgetEntry();
      removeStage(staged.stage);
      return Failure::of(ec).at("move aside", plan.destination);
    }
  }
  fs::rename(staged.fresh, plan.destination, ec);
  if (ec) {
    std::error_code restored;
    if (replacing)
      fs::rename(previous, plan.destination, restored);
    forgetEntry();
    if (!restored) // else the previous copy is still in the stage: keep it there
      removeStage(staged.stage);
    return Failure::of(ec).at("move into place", plan.destination);
  }
  // Now only the previous copy is left in the stage; a leftover does not
  // undo the install.
  removeStage(staged.stage);
  return {};
}

Result<void> installToApplications(const platform::Environment& env) {
  Result<std::optional<InstallPlan>> planned = planInstall(env);
  if (!planned)
    return planned.failure();
  if (!*planned)
    return {};
  const InstallPlan& plan = **planned;

  Result<StagedInstall> staged = stageInstall(env, plan);
  if (!staged)
    return staged.failure();
  if (Result<void> swapped = swapInstall(env, plan, *staged); !swapped)
    return swapped;

  // The login item moves to the copy: the running one may be a download or a
  // translocated copy that is gone by the next login. Also while the system
  // holds it back: once the user allows it, it must start the copy.
  if (autostartItemExists(env)) {
    platform::Environment installed = env;
    installed.bundlePath = plan.destination;
    installed.executablePath = plan.destination / plan.executableInApp;
    // Ignored: the copy is in place, and the page reads the login item's
    // state afresh; a failure here does not undo the install.
    (void)hlvnSetAutostart(installed, true);
  }
  return {};
}

} // namespace

fs::path applicationsFolder(const platform::Environment& env) {
  if (!env.applicationsDirectory.empty())
    return env.applicationsDirectory;
  return env.homeDirectory / "Applications";
}

namespace {

bool isUnderAsWritten(const fs::path& path, const fs::path& base) {
  std::string folder = base.string();
  while (folder.size() > 1 && folder.back() == '/')
    folder.pop_back();
  if (folder.empty())
    return false;
  const std::string app = path.string();
  const std::string prefix = folder.back() == '/' ? folder : folder + "/";
  return app == folder || app.starts_with(prefix);
}

} // namespace

bool isInstalledInApplications(const platform::Environment& env) {
  const fs::path folder = applicationsFolder(env);
  if (isUnderAsWritten(env.bundlePath, folder))
    return true;
  // The running app's path may come resolved (Linux takes it from the
  // executable's real path) while the folder is a link, or the other way
  // round: compared with links resolved, the same place is the same.
  if (folder.empty() || env.bundlePath.empty())
    return false;
  std::error_code ec;
  const fs::path realFolder = fs::weakly_canonical(folder, ec);
  if (ec)
    return false;
  const fs::path realApp = fs::weakly_canonical(env.bundlePath, ec);
  if (ec)
    return false;
  return isWithin(realApp, realFolder, FolderItself::Counts);
}

fs::path launcherEntryPath(const platform::Environment& env) {
  return xdgDataHome(env) / "applications" / (std::string(LA_LABEL) + ".desktop");
}

InstallResult hlvnInstallToApplications(const platform::Environment& env) {
  Result<void> installed = installToApplications(env);
  if (!installed && installed.failure().code == EPERM && env.guardsAppsAgainstChanges)
    return {false, installFailureMessage(APP_MANAGEMENT_REFUSED_REASON)};
  if (!installed)
    return {false, installFailureMessage(installed.failure().detail)};
  return {true, std::nullopt};
}

void removeInstallLeftovers(const platform::Environment& env) {
  const std::string name = appFolderName(env);
  if (name.empty())
    return;
  const fs::path folder = applicationsFolder(env);
  const fs::path destination = folder / name;
  const TemporaryRule rule = installStageRule(name);
  std::vector<fs::path> stages = findLeftovers(folder, {rule});
  // An earlier version marked no stage, and one of its stages may hold the
  // only installed copy: one that is exactly what it made counts as ours.
  for (const fs::path& earlier : findUnmarkedFolders(folder, rule, {PREVIOUS_COPY, NEW_COPY}))
    stages.push_back(earlier);
  for (const fs::path& stage : stages) {
    // Killed between the two renames of the swap: the installed copy is
    // only in the stage. It goes back, as a failed swap puts it back.
    const fs::path previous = stage / PREVIOUS_COPY;
    std::error_code ec;
    if (!itemExists(destination) && fs::is_directory(fs::symlink_status(previous, ec))) {
      fs::rename(previous, destination, ec);
      if (ec)
        continue; // keep the stage: it holds the only copy
    }
    removeStage(stage);
  }
}
