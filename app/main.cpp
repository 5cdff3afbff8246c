#include "app/AppDelegate.h"
#include "app/OnlyCopy.h"
#include "app/ProductIdentity.h"
#include "system/InstanceLock.h"

#include <iostream>
#include <memory>
#include <optional>

int main(int argc, char** argv) {
  // The platform and the delegate live for the life of the process, and exit()
  // must not destroy them: on macOS the event loop never returns, and quitting
  // ends the process with exit() from inside -[NSApplication terminate:],
  // which is still on the stack. A static owner would tear the windows, the
  // web view and the panel down under that call. Objects local to main are
  // left alone by exit(); where the loop does return (GTK), they go here,
  // the delegate before the platform it uses.
  std::unique_ptr<platform::Platform> app = platform::makePlatform(argc, argv, productIdentity());
  // Held until the process ends; nothing is built before it is settled.
  InstanceLock onlyCopy;
  std::unique_ptr<AppDelegate> delegate;
  // A later start's request to show the main window, on the main queue; the
  // listener goes before the delegate it reaches.
  Reopening reopening{app->mainQueue(),
                      [&delegate] {
                        if (delegate)
                          delegate->showForAnotherStart();
                      },
                      SECOND_START_WAIT, nullptr};
  if (std::optional<int> status = settleOtherCopies(
          app->application(), app->dialogs(), app->environment(), onlyCopy, reopening, std::cerr))
    return *status;
  delegate = std::make_unique<AppDelegate>(*app);
  app->application().setDelegate(delegate.get());
  int status = app->application().run();
  reopening.listener.reset();
  delegate.reset();
  return status;
}
