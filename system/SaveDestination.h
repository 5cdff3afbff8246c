#pragma once

#include "platform/platform.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Where a file the app writes for the user goes, and how a failure is told:
// shared by the page's saves and the web view's downloads.

// The name the page proposes may be anything; the name field must get a plain
// file name. "/" (a folder separator), the control characters and DEL become
// "_", bytes that are not UTF-8 become U+FFFD, and "." or ".." (which name
// folders) leave the field empty, as does an empty name.
std::string cleanFileName(std::string_view proposed);

// Asks the user where to save, in a save panel on the Downloads folder with
// the cleaned name filled in. Nothing when the user cancels. Once a place is
// chosen, the temporaries of saves and downloads that a killed process left
// in the folder the bytes land in are removed (see Leftovers.h).
std::optional<std::filesystem::path> chooseSaveDestination(platform::Dialogs& dialogs,
                                                           const platform::Environment& env,
                                                           std::string_view proposedName);

// The failure alert, with the system's description of what went wrong.
void showFailureAlert(platform::Dialogs& dialogs, const std::string& description);
