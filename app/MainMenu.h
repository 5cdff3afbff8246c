#pragma once

#include "platform/platform.h"

#include <string_view>

// The application's own menu actions; the platform hands them to the
// application delegate. The other items carry the platform's standard ones.
inline constexpr std::string_view SHOW_MAIN_ACTION = "showMain";
inline constexpr std::string_view RELOAD_PAGE_ACTION = "reloadPage";
inline constexpr std::string_view ZOOM_IN_ACTION = "zoomIn";
inline constexpr std::string_view ZOOM_OUT_ACTION = "zoomOut";
inline constexpr std::string_view ACTUAL_SIZE_ACTION = "actualSize";

// The menu bar: the application menu with the window and page commands and
// quit, the edit menu, which gives the page's text fields their usual
// shortcuts, and the view menu with the page's zoom. Built once and never
// changed.
platform::MenuBar mainMenu();
