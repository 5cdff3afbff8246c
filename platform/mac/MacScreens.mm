// The screens on NSScreen, and the pointer on them.

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

#include "platform/mac/MacBackend.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform::mac {
namespace {

class MacScreens final : public Screens {
public:
  std::optional<Rect> mainVisibleFrame() override {
    NSScreen* screen = [NSScreen mainScreen];
    if (!screen)
      return std::nullopt;
    return toRect(screen.visibleFrame);
  }

  std::vector<Rect> visibleFrames() override {
    std::vector<Rect> frames;
    for (NSScreen* screen in [NSScreen screens])
      frames.push_back(toRect(screen.visibleFrame));
    return frames;
  }

  Point pointerLocation() override { return toPoint([NSEvent mouseLocation]); }

  void setChangeCallback(std::function<void()> changed) override {
    changed_ = std::make_shared<std::function<void()>>(std::move(changed));
    if (observer_)
      return;
    std::shared_ptr<std::function<void()>> callback = changed_;
    // Only the latest callback is called, through the shared holder.
    observer_ = [[NSNotificationCenter defaultCenter]
        addObserverForName:NSApplicationDidChangeScreenParametersNotification
                    object:nil
                     queue:[NSOperationQueue mainQueue]
                usingBlock:^(NSNotification*) {
                  if (*callback)
                    (*callback)();
                }];
  }

private:
  std::shared_ptr<std::function<void()>> changed_;
  id observer_ = nil;
};

} // namespace

std::unique_ptr<Screens> makeScreens() {
  return std::make_unique<MacScreens>();
}

} // namespace platform::mac
