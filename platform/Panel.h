#pragma once

// A floating panel and the custom-drawn view it holds.

#include "platform/Menu.h"
#include "platform/canvas.h"
#include "platform/geometry.h"

#include <functional>
#include <string>
#include <vector>

namespace platform {

// What a custom-drawn view reports. Mouse positions are not passed: the view's
// owner reads the global pointer location, which does not move with the window.
class ViewDelegate {
public:
  virtual ~ViewDelegate() = default;
  virtual void draw(Canvas& canvas, const Rect& bounds) = 0;
  virtual void mouseDown() = 0;
  virtual void mouseDragged() = 0;
  virtual void mouseUp() = 0;
  virtual void rightMouseUp() = 0;
};

class View {
public:
  virtual ~View() = default;
  // Non-owning.
  virtual void setDelegate(ViewDelegate* delegate) = 0;
  virtual void setNeedsDisplay() = 0;
  // Shows the items as a context menu at the pointer; a chosen item's action
  // is passed to the callback; dismissing calls nothing.
  virtual void popUpContextMenu(const std::vector<MenuItem>& items,
                                std::function<void(const std::string& action)> chosen) = 0;
};

// What a floating panel is to be. Every panel is borderless, fixed in size
// and kept out of the lists of windows; each backend turns these into its
// window system's own settings.
struct PanelSettings {
  // Above every normal window, the app's own and other apps'.
  bool floatsAboveOtherWindows = false;
  // On every desktop (space, workspace), staying where it is when the user
  // switches, and over other apps' full-screen windows.
  bool onEveryDesktop = false;
  // A click on it does not bring the app forward.
  bool doesNotActivateApp = false;
  // It takes the keyboard only while something in it needs it (its menu).
  bool takesKeyboardForMenu = false;
  // No background of its own: only what its view draws shows.
  bool transparent = false;
  bool hasShadow = false;
};

class Panel {
public:
  virtual ~Panel() = default;
  virtual void setContentView(View& view) = 0;
  virtual Point frameOrigin() = 0;
  virtual void setFrameOrigin(Point origin) = 0;
  // Shows it in front of the other windows without activating the app or
  // taking the keyboard.
  virtual void raise() = 0;
  // Floating over other windows as its settings say, or for a while among
  // the normal windows (while a modal panel is up).
  virtual void setFloating(bool floating) = 0;
};

} // namespace platform
