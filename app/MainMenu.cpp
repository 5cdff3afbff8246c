#include "app/MainMenu.h"

#include "app/constants.h"
#include "system/UserTexts.h"

#include <string>

namespace {

platform::MenuItem item(std::string title, std::string_view action, std::string key) {
  return platform::MenuItem{std::move(title), std::string(action), std::move(key), false};
}

platform::MenuItem separator() {
  return platform::MenuItem{{}, {}, {}, true};
}

} // namespace

platform::MenuBar mainMenu() {
  platform::Menu application;
  // One item a line, as the menu shows them.
  // clang-format off
  application.items = {
      item(OPEN_APP_TEXT, SHOW_MAIN_ACTION, "o"),
      item(CLOSE_WINDOW_TEXT, "performClose:", "w"),
      item(RELOAD_TEXT, RELOAD_PAGE_ACTION, "r"),
      separator(),
      item(QUIT_APP_TEXT, "terminate:", "q"),
  };
  // clang-format on

  platform::Menu edit;
  edit.title = EDIT_MENU_TEXT;
  edit.items = {
      item(UNDO_TEXT, "undo:", "z"),
      item(REDO_TEXT, "redo:", "Z"),
      separator(),
      item(CUT_TEXT, "cut:", "x"),
      item(COPY_TEXT, "copy:", "c"),
      item(PASTE_TEXT, "paste:", "v"),
      item(SELECT_ALL_TEXT, "selectAll:", "a"),
  };

  // Shown as "+"; the toolkit also takes the unshifted key that carries it
  // and the keypad's keys.
  platform::Menu view;
  view.title = VIEW_MENU_TEXT;
  view.items = {
      item(ZOOM_IN_TEXT, ZOOM_IN_ACTION, "+"),
      item(ZOOM_OUT_TEXT, ZOOM_OUT_ACTION, "-"),
      item(ACTUAL_SIZE_TEXT, ACTUAL_SIZE_ACTION, "0"),
  };

  return {application, edit, view};
}
