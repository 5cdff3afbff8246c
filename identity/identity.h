#pragma once

#include <string>
#include <string_view>

// Who the product is, on the lowest floor: every layer may read it, and it
// reads nothing of the product. The build scripts read LA_LABEL from here too.

// The main window's title, and the application menu's where the platform
// titles that menu itself.
inline constexpr std::string_view APP_TITLE = "Dovrelist";
// Reverse-DNS identifier: the launch agent's label, the application id and the
// name of the Linux desktop entries. Also a valid GApplication id.
inline constexpr std::string_view LA_LABEL = "org.tessaloom.Tessaloom";
// The name of the folders that hold the settings and the page's web data.
// Never change it: the teacher's whole plan lives in that web data.
inline constexpr std::string_view DATA_FOLDER_NAME = "Tessaloom";
// The private scheme the page is served through, and its start page: the
// origin the page's stored data belongs to.
inline constexpr std::string_view APP_SCHEME = "halvane";
inline const std::string HOME_URL = std::string(APP_SCHEME) + "://local/index.html";
