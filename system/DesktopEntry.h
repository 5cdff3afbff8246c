#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Desktop entries (freedesktop.org Desktop Entry Specification 1.5) for the
// Linux autostart item and the launcher item.

// One argument as it must appear in an Exec value, before the file's own
// string escapes: quoted in double quotes when it holds a reserved
// character, with " ` $ and \ escaped inside the quotes, and every % doubled
// so it is not read as a field code.
std::string desktopExecArgument(std::string_view argument);

// A whole Exec value as written in the file: the arguments joined by spaces,
// then the string escapes (\\, \n, \t, \r) applied over the quoting, as the Desktop Entry
// Specification orders. Nothing when an argument is not valid UTF-8 or holds
// a control character no escape can carry.
std::optional<std::string> desktopExecValue(const std::vector<std::string>& arguments);

// The app's icon on Linux: an image beside its executable.
std::filesystem::path appIconPath(const std::filesystem::path& executable);

// Runs a program whose path the session could not take from Exec as written.
inline constexpr std::string_view ENV_PROGRAM = "/usr/bin/env";

// An application entry named "Dovrelist" that runs the arguments, with the
// icon beside the executable (the first argument) when that path can be
// written. A program whose path holds "%" is run through ENV_PROGRAM.
// Autostart entries also carry X-GNOME-Autostart-enabled=true. Nothing when
// Exec cannot be written, or the program cannot be started from it (a "%"
// and a "=" in its path).
std::optional<std::string> desktopEntryText(const std::vector<std::string>& arguments,
                                            bool autostart);
