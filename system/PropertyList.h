#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The launch agent's property list, as the exact text Foundation's XML
// serialiser writes for it, so the file this code writes on any platform is
// byte for byte the one macOS would write.

// Text escaped for a <key> or <string> element the way Foundation escapes it:
// &, < and > only.
std::string plistEscaped(std::string_view text);

// The agent dictionary: Label, ProgramArguments, RunAtLoad true, keys in the
// order Foundation sorts them. Nothing when a string is not valid UTF-8,
// which a property list cannot hold.
std::optional<std::string> launchAgentPropertyList(std::string_view label,
                                                   const std::vector<std::string>& arguments);
