#pragma once

// Menus: the menu bar and a view's context menu.

#include <string>
#include <vector>

namespace platform {

// What the system itself does for a menu item, for whichever window or text
// field has the keyboard; each backend carries it out in its own way.
enum class StandardAction { None, CloseWindow, Quit, Undo, Redo, Cut, Copy, Paste, SelectAll };

// One item. A separator has no title and no action. An item with a standard
// action is carried out by the platform; any other action is the app's own,
// handed to the application delegate (or, for a context menu, to its
// callback).
struct MenuItem {
  std::string title;
  // The app's own action; empty where the item has a standard one.
  std::string action;
  // Empty for none; a capital letter implies Shift. The platform's command
  // modifier (Command, or Ctrl on Linux) is always added.
  std::string keyEquivalent;
  bool separator = false;
  StandardAction standard = StandardAction::None;
  bool operator==(const MenuItem&) const = default;
};

struct Menu {
  // Empty for the application menu, which the platform titles itself.
  std::string title;
  std::vector<MenuItem> items;
};

using MenuBar = std::vector<Menu>;

} // namespace platform
