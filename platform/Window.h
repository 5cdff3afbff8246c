#pragma once

// The main window, which holds the web view.

#include "platform/geometry.h"

#include <functional>
#include <string>

namespace platform {

class WebView;

// The main window: titled, closable, miniaturizable, resizable, with the
// content view under the title bar (its frame is its content rectangle) and
// the web view laid out below the title bar. Closing hides it; it is never
// released.
class Window {
public:
  virtual ~Window() = default;
  virtual void setTitle(const std::string& title) = 0;
  virtual std::string title() = 0;
  virtual void setMinSize(Size size) = 0;
  virtual void center() = 0;
  virtual void setContentView(WebView& view) = 0;
  // Shows it in front of the app's other windows, with the keyboard.
  virtual void show() = 0;
  virtual void hide() = 0;
  virtual bool isVisible() = 0;
  // The same measure the window was created with: the content rectangle.
  virtual Rect frame() = 0;
  // windowWillClose: runs when the user (or the close action) closes it.
  virtual void setWillCloseCallback(std::function<void()> callback) = 0;
  // Whether it fills the screen by the user's choice: full screen, or
  // maximized (zoomed on macOS).
  virtual bool fillsScreen() = 0;
  // Runs on the main thread after its size, place or fillsScreen changed.
  virtual void setFrameChangeCallback(std::function<void()> callback) = 0;
};

} // namespace platform
