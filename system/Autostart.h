#pragma once

#include "platform/platform.h"

#include <filesystem>
#include <optional>
#include <string>

// Starting the app at login in ball-only mode. On macOS a per-user launchd
// agent, ~/Library/LaunchAgents/<LA_LABEL>.plist; on Linux an XDG autostart
// entry, $XDG_CONFIG_HOME/autostart/<LA_LABEL>.desktop. Either way the item's
// existence alone means "on"; it takes effect at the next login.

// $XDG_CONFIG_HOME and $XDG_DATA_HOME, or their defaults ~/.config and
// ~/.local/share when the environment gives no absolute path.
std::filesystem::path xdgConfigHome(const platform::Environment& env);
std::filesystem::path xdgDataHome(const platform::Environment& env);

std::filesystem::path autostartItemPath(const platform::Environment& env);

// What the item holds when on: the running installation's executable, then
// "--ball-only". Nothing when such an item could never start anything: no
// executable file at env.executablePath, or a path the format cannot carry.
std::optional<std::string> autostartItemText(const platform::Environment& env);

// True when anything is at the item's path, a dangling link included. The
// content is not read.
bool hlvnAutostartEnabled(const platform::Environment& env);

// Creates the item's folder (in both directions), then writes the item in
// full (atomically) or removes whatever is at its path. False when any step
// fails; a failed step leaves the previous item as it was.
bool hlvnSetAutostart(const platform::Environment& env, bool on);
