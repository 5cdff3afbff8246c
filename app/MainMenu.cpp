#include "app/MainMenu.h"

#include "app/constants.h"
#include "system/UserTexts.h"

#include <string>

namespace {

platform::MenuItem item(std::string title, std::string_view action, std::string key) {
  return platform::MenuItem{std::move(title), std::string(action), std::move(key), false};
}

platform::MenuItem item(std::string title, platform::StandardAction action, std::string key) {
  return platform::MenuItem{std::move(title), {}, std::move(key), false, action};
}

platform::MenuItem separator() {
  return platform::MenuItem{{}, {}, {}, true};
}

} // namespace

platform::MenuBar mainMenu() {
  using platform::StandardAction;
  platform::Menu application;
  // One item a line, as the menu shows them.
  // clang-format off
  application.items = {
      item(OPEN_APP_TEXT, SHOW_MAIN_ACTION, "o"),
      item(CLOSE_WINDOW_TEXT, StandardAction::CloseWindow, "w"),
      item(RELOAD_TEXT, RELOAD_PAGE_ACTION, "r"),
      separator(),
      item(QUIT_APP_TEXT, StandardAction::Quit, "q"),
  };
  // clang-format on

  platform::Menu edit;
  edit.title = EDIT_MENU_TEXT;
  edit.items = {
      item(UNDO_TEXT, StandardAction::Undo, "z"),
      item(REDO_TEXT, StandardAction::Redo, "Z"),
      separator(),
      item(CUT_TEXT, StandardAction::Cut, "x"),
      item(COPY_TEXT, StandardAction::Copy, "c"),
      item(PASTE_TEXT, StandardAction::Paste, "v"),
      item(SELECT_ALL_TEXT, StandardAction::SelectAll, "a"),
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
