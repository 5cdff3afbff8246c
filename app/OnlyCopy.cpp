#include "app/OnlyCopy.h"

#include "app/AppDelegate.h"
#include "platform/StoreFolders.h"
#include "system/Autostart.h"
#include "system/Install.h"
#include "system/Leftovers.h"
#include "system/UserTexts.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* LOCK_FILE_NAME = "instance.lock";

// Where the Linux backend keeps the settings and the page's data.
platform::StoreFolders linuxStoreFolders(const platform::Environment& env) {
  return platform::xdgStoreFolders(DATA_FOLDER_NAME, xdgConfigHome(env), xdgDataHome(env), {});
}

// The settings folder on Linux; macOS keeps the user defaults itself.
std::optional<fs::path> settingsFolder(const platform::Environment& env) {
  if (env.kind == platform::SystemKind::Mac)
    return std::nullopt;
  return linuxStoreFolders(env).settingsFile.parent_path();
}

} // namespace

fs::path onlyCopyLockPath(const platform::Environment& env) {
  if (env.kind == platform::SystemKind::Mac)
    return env.homeDirectory / "Library" / "Application Support" / LA_LABEL / LOCK_FILE_NAME;
  return linuxStoreFolders(env).webDataDirectory / LOCK_FILE_NAME;
}

std::optional<int> settleOtherCopies(platform::Application& app, const platform::Environment& env,
                                     InstanceLock& lock, std::ostream& err) {
  const bool ballOnly = isBallOnlyLaunch(app.arguments());
  // A login start finds the app already running: nothing to show.
  if (!app.registerFirstCopy())
    return ballOnly ? 0 : app.run();
  switch (lock.acquire(onlyCopyLockPath(env))) {
  case InstanceLock::Outcome::Held:
    removeStartLeftovers(env);
    return std::nullopt;
  case InstanceLock::Outcome::Unavailable:
    return std::nullopt;
  case InstanceLock::Outcome::HeldElsewhere:
    break;
  }
  if (ballOnly)
    return 0;
  err << ALREADY_RUNNING_MESSAGE << std::endl;
  return 1;
}

void removeStartLeftovers(const platform::Environment& env) {
  const std::vector<TemporaryRule> files{saveTemporaryRule()};
  if (std::optional<fs::path> settings = settingsFolder(env))
    removeLeftovers(*settings, files);
  removeLeftovers(autostartItemPath(env).parent_path(), files);
  if (env.kind == platform::SystemKind::Linux)
    removeLeftovers(launcherEntryPath(env).parent_path(), files);
  removeInstallLeftovers(env);
}
