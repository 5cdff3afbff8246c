#pragma once

#include <string>
#include <string_view>

// The program-wide constants, fixed at build time and read everywhere.

inline constexpr std::string_view APP_SCHEME = "halvane";
inline const std::string HOME_URL = std::string(APP_SCHEME) + "://local/index.html";
inline constexpr std::string_view SAVE_HANDLER = "hlvnSave";
inline constexpr std::string_view BADGE_HANDLER = "hlvnBadge";
inline constexpr std::string_view APP_TITLE = "Dovrelist";
inline constexpr double BALL_SIZE = 66.0;
// The save bridge script, embedded from bridge/save_bridge.js by the build.
extern const std::string_view SAVE_BRIDGE_JS;
// Reverse-DNS identifier: the launch agent's label, the application id and the
// name of the Linux desktop entries. Also a valid GApplication id.
inline constexpr std::string_view LA_LABEL = "org.tessaloom.Tessaloom";
