#include "app/AppDelegate.h"
#include "app/ProductIdentity.h"

#include <memory>

// The delegate lives here for the life of the process; the application only
// refers to it.
static std::unique_ptr<AppDelegate> delegate;

int main(int argc, char** argv) {
  std::unique_ptr<platform::Platform> app = platform::makePlatform(argc, argv, productIdentity());
  delegate = std::make_unique<AppDelegate>(*app);
  app->application().setDelegate(delegate.get());
  int status = app->application().run();
  delegate.reset();
  return status;
}
