#pragma once

#include "platform/platform.h"

#include <filesystem>
#include <optional>
#include <string>

// Starting the app at login in ball-only mode, in the item the system's
// env.loginItemFormat names: a per-user launchd agent,
// ~/Library/LaunchAgents/<LA_LABEL>.plist (macOS), or an XDG autostart
// entry, $XDG_CONFIG_HOME/autostart/<LA_LABEL>.desktop (Linux). The item's existence
// means "on", except where the user can switch login items off behind the
// app's back (macOS 13 and later): there the system must also report it
// enabled. It takes effect at the next login.

// $XDG_CONFIG_HOME and $XDG_DATA_HOME, or their defaults ~/.config and
// ~/.local/share when the environment gives no absolute path.
std::filesystem::path xdgConfigHome(const platform::Environment& env);
std::filesystem::path xdgDataHome(const platform::Environment& env);

// The app's own folder in env.applicationSupportDirectory, named after
// LA_LABEL; for a system that has one.
std::filesystem::path applicationSupportFolder(const platform::Environment& env);

std::filesystem::path autostartItemPath(const platform::Environment& env);

// What the item holds when on: the running installation's executable, then
// "--ball-only". Nothing when such an item could never start anything: no
// executable file at env.executablePath, or a path the format cannot carry.
std::optional<std::string> autostartItemText(const platform::Environment& env);

// True when anything is at the item's path, a dangling link included. The
// content is not read.
bool autostartItemExists(const platform::Environment& env);

// Whether the item will start the app at the next login: it exists, and the
// system, where it has a say (env.loginItemApproval), reports it enabled.
bool hlvnAutostartEnabled(const platform::Environment& env);

// macOS runs a quarantined app opened from Downloads from a random,
// read-only copy that is gone after a restart ("App Translocation"). A login
// item naming that copy would never start anything. Only where the system
// does so (env.translocatesDownloadedApps).
bool isTranslocated(const platform::Environment& env);

enum class AutostartChange {
  Done,
  // On: refused, nothing written, as the copy is translocated.
  Translocated,
  // On: the item is written and kept, but the system will not start it.
  NotAllowed,
};

// Creates the item's folder (in both directions), then writes the item in
// full (atomically) or removes whatever is at its path. A failed step leaves
// the previous item as it was, and is the Failure: the step, its path and
// the system's words. Turning on is Done only when the system will then
// start it.
platform::Result<AutostartChange> changeAutostart(const platform::Environment& env, bool on);

// True when changeAutostart is Done; why not is not told.
bool hlvnSetAutostart(const platform::Environment& env, bool on);
