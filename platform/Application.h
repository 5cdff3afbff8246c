#pragma once

// The running application: its event loop, its place among the running
// apps, its menu bar, and the delegate that hears of its life.

#include "platform/Menu.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace platform {

class ApplicationDelegate {
public:
  virtual ~ApplicationDelegate() = default;
  virtual void applicationDidFinishLaunching() = 0;
  virtual bool applicationShouldTerminateAfterLastWindowClosed() = 0;
  // The app was opened again while running (Dock icon, second start).
  virtual bool applicationShouldHandleReopen(bool hasVisibleWindows) = 0;
  // One of the app's own menu actions.
  virtual void performAction(const std::string& action) = 0;
  // The app is to quit: `proceed` lets it, at once or once the delegate has
  // put its affairs in order. The application asks once per quit.
  virtual void prepareToTerminate(std::function<void()> proceed) { proceed(); }
};

class Application {
public:
  virtual ~Application() = default;
  // Every argument of the process, the program path first, as given.
  virtual std::vector<std::string> arguments() = 0;
  // Non-owning: the caller keeps the delegate alive while the loop runs.
  virtual void setDelegate(ApplicationDelegate* delegate) = 0;
  // Enters this start in the window system's own register of running apps,
  // where it keeps one (GApplication on the session bus). False when a copy
  // entered there is running already: run() then hands the start over to
  // that copy (it opens again, as on a reopen) and returns at once. True
  // where there is no such register, none can be reached, or it has not
  // answered within giveUpAfter (a running copy that is stopped or hung).
  virtual bool registerFirstCopy(std::chrono::milliseconds giveUpAfter) = 0;
  // Runs the event loop; returns the exit status once the app terminates.
  virtual int run() = 0;
  // The app takes its place among the apps the user switches between (the
  // Dock, the app switcher), with its menu bar; nothing where every app has
  // that place from its start.
  virtual void showInAppSwitcher() = 0;
  // Brings the app forward, ahead of the app the user was in, so that its
  // window shown next gets the keyboard.
  virtual void activate() = 0;
  virtual void terminate() = 0;
  virtual void setMainMenu(const MenuBar& menu) = 0;
  // The image the window system shows for the app's windows, where it takes
  // one from the running program; nothing where it takes it from the app's
  // package.
  virtual void setIconFile(const std::filesystem::path& file) = 0;
};

} // namespace platform
