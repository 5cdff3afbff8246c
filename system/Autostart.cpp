#include "system/Autostart.h"

#include "identity/identity.h"
#include "system/AtomicFile.h"
#include "system/DesktopEntry.h"
#include "system/ExecutableFile.h"
#include "system/Paths.h"
#include "system/PropertyList.h"

#include <vector>

namespace fs = std::filesystem;

fs::path xdgConfigHome(const platform::Environment& env) {
  if (env.configDirectory.is_absolute())
    return env.configDirectory;
  return env.homeDirectory / ".config";
}

fs::path xdgDataHome(const platform::Environment& env) {
  if (env.dataDirectory.is_absolute())
    return env.dataDirectory;
  return env.homeDirectory / ".local" / "share";
}

fs::path applicationSupportFolder(const platform::Environment& env) {
  return env.applicationSupportDirectory / LA_LABEL;
}

fs::path autostartItemPath(const platform::Environment& env) {
  if (env.loginItemFormat == platform::LoginItemFormat::LaunchAgent)
    return env.homeDirectory / "Library" / "LaunchAgents" / (std::string(LA_LABEL) + ".plist");
  return xdgConfigHome(env) / "autostart" / (std::string(LA_LABEL) + ".desktop");
}

std::optional<std::string> autostartItemText(const platform::Environment& env) {
  // launchd and the session start the program itself; a bundle folder or a
  // relative path would name nothing they could run.
  if (!env.executablePath.is_absolute() || !isExecutableFile(env.executablePath))
    return std::nullopt;
  std::vector<std::string> arguments{env.executablePath.string(), "--ball-only"};
  if (env.loginItemFormat == platform::LoginItemFormat::LaunchAgent)
    return launchAgentPropertyList(LA_LABEL, arguments);
  return desktopEntryText(arguments, true);
}

bool autostartItemExists(const platform::Environment& env) {
  return itemExists(autostartItemPath(env));
}

bool hlvnAutostartEnabled(const platform::Environment& env) {
  if (!autostartItemExists(env))
    return false;
  if (!env.loginItemApproval)
    return true;
  return env.loginItemApproval(autostartItemPath(env)) != platform::LoginItemApproval::NotEnabled;
}

bool isTranslocated(const platform::Environment& env) {
  if (!env.translocatesDownloadedApps)
    return false;
  for (const fs::path& part : env.bundlePath)
    if (part == "AppTranslocation")
      return true;
  return false;
}

platform::Result<AutostartChange> changeAutostart(const platform::Environment& env, bool on) {
  using platform::Failure;
  if (on && isTranslocated(env))
    return AutostartChange::Translocated;
  const fs::path item = autostartItemPath(env);
  std::error_code ec;
  fs::create_directories(item.parent_path(), ec);
  if (ec)
    return Failure::of(ec).at("create the folder", item.parent_path());

  if (!on) {
    fs::file_status st = fs::symlink_status(item, ec);
    if (st.type() == fs::file_type::not_found)
      return AutostartChange::Done;
    if (st.type() == fs::file_type::none)
      return Failure::of(ec).at("look at", item);
    // Exactly the item that is there: a link itself, not what
    // it points to.
    fs::remove_all(item, ec);
    if (ec)
      return Failure::of(ec).at("remove", item);
    return AutostartChange::Done;
  }

  std::optional<std::string> text = autostartItemText(env);
  // No program a login could start, or a path the item's format cannot carry.
  if (!text)
    return Failure::of(std::errc::invalid_argument).at("name the program", env.executablePath);
  if (platform::Result<void> written = writeFileAtomically(item, *text); !written)
    return written.failure();
  // The item stays: the user may allow it later, and then it must name this
  // installation.
  return hlvnAutostartEnabled(env) ? AutostartChange::Done : AutostartChange::NotAllowed;
}

bool hlvnSetAutostart(const platform::Environment& env, bool on) {
  platform::Result<AutostartChange> change = changeAutostart(env, on);
  return change && *change == AutostartChange::Done;
}
