#pragma once

#include "identity/identity.h"

#include <string>
#include <string_view>

// The program-wide constants, fixed at build time and read everywhere. The
// product's identity (APP_TITLE, LA_LABEL, DATA_FOLDER_NAME) lives below every
// layer, in identity/identity.h.

inline constexpr std::string_view APP_SCHEME = "halvane";
inline const std::string HOME_URL = std::string(APP_SCHEME) + "://local/index.html";
inline constexpr std::string_view SAVE_HANDLER = "hlvnSave";
inline constexpr std::string_view BADGE_HANDLER = "hlvnBadge";
inline constexpr double BALL_SIZE = 66.0;
// The save bridge script, embedded from bridge/save_bridge.js by the build.
extern const std::string_view SAVE_BRIDGE_JS;
