#include "app/AppDelegate.h"
#include "app/OnlyCopy.h"
#include "app/ProductIdentity.h"
#include "system/InstanceLock.h"

#include <iostream>
#include <memory>
#include <optional>

// The delegate lives here for the life of the process; the application only
// refers to it.
static std::unique_ptr<AppDelegate> delegate;

int main(int argc, char** argv) {
  std::unique_ptr<platform::Platform> app = platform::makePlatform(argc, argv, productIdentity());
  // Held until the process ends; nothing is built before it is settled.
  InstanceLock onlyCopy;
  if (std::optional<int> status =
          settleOtherCopies(app->application(), app->environment(), onlyCopy, std::cerr))
    return *status;
  delegate = std::make_unique<AppDelegate>(*app);
  app->application().setDelegate(delegate.get());
  int status = app->application().run();
  delegate.reset();
  return status;
}
