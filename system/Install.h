#pragma once

#include "platform/platform.h"

#include <filesystem>
#include <optional>
#include <string>

// Copying the running app into the Applications folder: the .app bundle into
// /Applications on macOS; on Linux the app folder (the executable and its
// resources/) into ~/Applications, plus a launcher entry
// $XDG_DATA_HOME/applications/<LA_LABEL>.desktop.

struct InstallResult {
  bool ok = false;
  // A message for the user when ok is false.
  std::optional<std::string> error;
};

// env.applicationsDirectory, or ~/Applications when the environment names
// none.
std::filesystem::path applicationsFolder(const platform::Environment& env);

// The app runs from the Applications folder: its path lies under that folder
// (a subfolder counts) or is the folder itself, as written or with links
// resolved on both sides.
bool isInstalledInApplications(const platform::Environment& env);

std::filesystem::path launcherEntryPath(const platform::Environment& env);

// Copies the app to <Applications>/<its folder name>. The copy is made in a
// temporary item beside the destination and swapped in only once complete,
// so a failure leaves any previous copy exactly as it was. Already installed,
// or a destination that is the running app under another name: ok, and the
// disk is not touched. After a copy, an existing autostart item is written
// again, naming the copy.
InstallResult hlvnInstallToApplications(const platform::Environment& env);

// What an install killed midway left in the Applications folder: its hidden
// stages beside this app's destination go, and a previous copy that a swap
// had moved into one goes back to its place when nothing took that place.
void removeInstallLeftovers(const platform::Environment& env);
