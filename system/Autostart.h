#pragma once

#include "platform/platform.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

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

// macOS runs a quarantined app opened from Downloads from a random,
// read-only copy that is gone after a restart ("App Translocation"). A login
// item naming that copy would never start anything.
bool isTranslocated(const platform::Environment& env);

// Why turning autostart on was refused while translocated, for the page.
inline constexpr std::string_view TRANSLOCATED_AUTOSTART_ERROR =
    "App 正从临时位置运行，登录后无法从这里启动。请先安装：把 App 放进「应用程序」，"
    "打开那里的 App，再在那里打开开机自启。";

// Creates the item's folder (in both directions), then writes the item in
// full (atomically) or removes whatever is at its path. False when any step
// fails; a failed step leaves the previous item as it was. Turning on from a
// translocated copy fails and writes nothing.
bool hlvnSetAutostart(const platform::Environment& env, bool on);
