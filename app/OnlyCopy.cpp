#include "app/OnlyCopy.h"

#include "app/AppDelegate.h"
#include "platform/StoreFolders.h"
#include "system/Autostart.h"
#include "system/DataFolder.h"
#include "system/Install.h"
#include "system/Leftovers.h"
#include "system/UserTexts.h"

#include <unistd.h>

#include <algorithm>

namespace fs = std::filesystem;

namespace {

constexpr const char* LOCK_FILE_NAME = "instance.lock";

// Where the Linux backend keeps the settings and the page's data.
platform::StoreFolders linuxStoreFolders(const platform::Environment& env) {
  return platform::xdgStoreFolders(DATA_FOLDER_NAME, xdgConfigHome(env), xdgDataHome(env), {});
}

// The folder of the settings file; none where the system keeps the user
// defaults itself.
std::optional<fs::path> settingsFolder(const platform::Environment& env) {
  if (env.keepsDefaultsItself)
    return std::nullopt;
  return linuxStoreFolders(env).settingsFile.parent_path();
}

std::string lockUnavailableText(const fs::path& lockFile, const InstanceLock::Attempt& attempt) {
  switch (attempt.obstacle) {
  case InstanceLock::Obstacle::Link:
    return lockUnavailableMessage(lockFile.string(), LOCK_IS_LINK_CAUSE, true);
  case InstanceLock::Obstacle::Folder:
    return lockUnavailableMessage(lockFile.string(), LOCK_IS_FOLDER_CAUSE, true);
  case InstanceLock::Obstacle::OtherKind:
    return lockUnavailableMessage(lockFile.string(), LOCK_IS_OTHER_KIND_CAUSE, true);
  case InstanceLock::Obstacle::None:
  case InstanceLock::Obstacle::SystemError:
    break;
  }
  return lockUnavailableMessage(lockFile.string(), attempt.failure.detail, false);
}

} // namespace

std::optional<fs::path> onlyCopySocketPath(const platform::Environment& env) {
  std::vector<fs::path> folders;
  if (!env.runtimeDirectory.empty())
    folders.push_back(env.runtimeDirectory / DATA_FOLDER_NAME);
  // A folder of its own: the lock's may be open to others.
  folders.push_back(onlyCopyLockPath(env).parent_path() / "reopen");
  // Short, and named for the user: the temporary folder may be shared.
  if (!env.temporaryDirectory.empty())
    folders.push_back(env.temporaryDirectory /
                      (std::string(DATA_FOLDER_NAME) + "-" + std::to_string(::geteuid())));
  return reopenSocketPath(folders);
}

fs::path onlyCopyLockPath(const platform::Environment& env) {
  if (!env.applicationSupportDirectory.empty())
    return applicationSupportFolder(env) / LOCK_FILE_NAME;
  return linuxStoreFolders(env).webDataDirectory / LOCK_FILE_NAME;
}

std::optional<int> settleOtherCopies(platform::Application& app, platform::Dialogs& dialogs,
                                     const platform::Environment& env, InstanceLock& lock,
                                     Reopening& reopening, std::ostream& err) {
  const auto deadline = std::chrono::steady_clock::now() + reopening.wait;
  const bool ballOnly = isBallOnlyLaunch(app.arguments());
  // A login start finds the app already running: nothing to show. The
  // hand-over only asks the registered copy to open again; this process
  // touches no data, so it needs no lock.
  if (!app.registerFirstCopy(reopening.wait))
    return ballOnly ? 0 : app.run();
  const fs::path lockFile = onlyCopyLockPath(env);
  const std::optional<fs::path> socket = onlyCopySocketPath(env);
  const InstanceLock::Attempt attempt = lock.acquire(lockFile);
  switch (attempt.outcome) {
  case InstanceLock::Outcome::Held:
    removeStartLeftovers(env);
    // Without it a second start still ends, with its alert.
    if (socket)
      if (auto listening = ReopenListener::listen(*socket, lock, reopening.queue, reopening.show))
        reopening.listener = std::move(*listening);
    return std::nullopt;
  case InstanceLock::Outcome::Unavailable: {
    // Another copy, on another bus or none, could be writing the same data.
    const std::string message = lockUnavailableText(lockFile, attempt);
    err << LOCK_UNAVAILABLE_TITLE << "：" << message << std::endl;
    // Started from the desktop or at login, nobody reads standard error.
    dialogs.runAlert(LOCK_UNAVAILABLE_TITLE, message);
    return 1;
  }
  case InstanceLock::Outcome::HeldElsewhere:
    break;
  }
  if (ballOnly)
    return 0;
  const auto left =
      std::max(std::chrono::milliseconds(0), std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 deadline - std::chrono::steady_clock::now()));
  if (socket && askToReopen(*socket, left) == ReopenAnswer::Reopened)
    return 0;
  err << ALREADY_RUNNING_MESSAGE << std::endl;
  // Started from the desktop, nobody reads standard error either.
  dialogs.runAlert(ALREADY_RUNNING_MESSAGE, NOT_ANSWERING_TEXT);
  return 1;
}

void removeStartLeftovers(const platform::Environment& env) {
  const std::vector<TemporaryRule> files{saveTemporaryRule()};
  if (std::optional<fs::path> settings = settingsFolder(env))
    removeLeftovers(*settings, files);
  removeLeftovers(autostartItemPath(env).parent_path(), files);
  if (env.listsAppsByLauncherEntry)
    removeLeftovers(launcherEntryPath(env).parent_path(), files);
  const DataFolder data(dataFolderPath(env));
  removeLeftovers(data.folder(), files);
  removeLeftovers(data.copiesFolder(), files);
  removeInstallLeftovers(env);
}
