// The main window, which holds the web view.

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

#include "platform/mac/MacBackend.h"

#include <cstdlib>
#include <functional>
#include <utility>

NS_ASSUME_NONNULL_BEGIN

// Tells the window's owner that the window is about to close, and that its
// frame or its full-screen state changed.
@interface MacWindowDelegate : NSObject <NSWindowDelegate>
@property(nonatomic) std::function<void()> willClose;
@property(nonatomic) std::function<void()> frameChanged;
@end

@implementation MacWindowDelegate
- (void)windowWillClose:(NSNotification*)notification {
  if (_willClose)
    _willClose();
}
- (void)reportFrame {
  if (_frameChanged)
    _frameChanged();
}
- (void)windowDidResize:(NSNotification*)notification {
  [self reportFrame];
}
- (void)windowDidMove:(NSNotification*)notification {
  [self reportFrame];
}
- (void)windowDidEnterFullScreen:(NSNotification*)notification {
  [self reportFrame];
}
- (void)windowDidExitFullScreen:(NSNotification*)notification {
  [self reportFrame];
}
@end

NS_ASSUME_NONNULL_END

namespace platform::mac {
namespace {

// Titled, closable, miniaturizable, resizable, content under the title bar.
constexpr NSWindowStyleMask MAIN_WINDOW_STYLE =
    NSWindowStyleMaskTitled | NSWindowStyleMaskClosable | NSWindowStyleMaskMiniaturizable |
    NSWindowStyleMaskResizable | NSWindowStyleMaskFullSizeContentView;
static_assert(MAIN_WINDOW_STYLE == 0x800F);

class MacWindow final : public Window {
public:
  explicit MacWindow(const Rect& contentRect)
      : window_([[NSWindow alloc] initWithContentRect:toNSRect(contentRect)
                                            styleMask:MAIN_WINDOW_STYLE
                                              backing:NSBackingStoreBuffered
                                                defer:NO]),
        delegate_([[MacWindowDelegate alloc] init]) {
    // Closing only hides the window; its web view and page stay alive.
    window_.releasedWhenClosed = NO;
    // The window's delegate reference is weak; this object keeps it.
    window_.delegate = delegate_;
  }

  ~MacWindow() override {
    window_.delegate = nil;
    delegate_.willClose = nullptr;
    delegate_.frameChanged = nullptr;
  }

  void setTitle(const std::string& title) override { window_.title = toNSString(title); }
  std::string title() override { return toStdString(window_.title); }
  void setMinSize(Size size) override { window_.minSize = NSMakeSize(size.width, size.height); }
  void center() override { [window_ center]; }

  // The content view spans the whole window, title bar included, and a
  // WKWebView does not inset its page: as the content view itself, its top
  // would lie under the title bar, which would hide it and take its clicks.
  // So the web view sits in a plain content view, held to the window's
  // content layout guide, the part below the title bar, which follows
  // resizing and full screen.
  void setContentView(WebView& view) override {
    NSView* native = nativeView(view);
    if (!native)
      std::abort(); // a web view of another backend: a programming error
    id guide = window_.contentLayoutGuide;
    if (!guide) {
      // Not expected of a titled window; the page then merely starts under
      // the title bar.
      window_.contentView = native;
      return;
    }
    NSView* container = [[NSView alloc] initWithFrame:NSZeroRect];
    window_.contentView = container;
    native.translatesAutoresizingMaskIntoConstraints = NO;
    [container addSubview:native];
    auto pin = [&](NSLayoutAttribute attribute) {
      return [NSLayoutConstraint constraintWithItem:native
                                          attribute:attribute
                                          relatedBy:NSLayoutRelationEqual
                                             toItem:guide
                                          attribute:attribute
                                         multiplier:1
                                           constant:0];
    };
    [NSLayoutConstraint activateConstraints:@[
      pin(NSLayoutAttributeTop), pin(NSLayoutAttributeBottom), pin(NSLayoutAttributeLeading),
      pin(NSLayoutAttributeTrailing)
    ]];
  }

  void show() override { [window_ makeKeyAndOrderFront:nil]; }
  void hide() override { [window_ orderOut:nil]; }
  bool isVisible() override { return window_.isVisible; }
  // With the content under the title bar the frame is the content rectangle.
  Rect frame() override { return toRect(window_.frame); }

  void setWillCloseCallback(std::function<void()> callback) override {
    delegate_.willClose = std::move(callback);
  }
  // The style mask has the full-screen bit from the start of the transition
  // on, so the resizes it makes are reported as filling the screen.
  bool fillsScreen() override {
    return (window_.styleMask & NSWindowStyleMaskFullScreen) != 0 || window_.zoomed;
  }
  void setFrameChangeCallback(std::function<void()> callback) override {
    delegate_.frameChanged = std::move(callback);
  }

private:
  NSWindow* window_;
  MacWindowDelegate* delegate_;
};

} // namespace

std::unique_ptr<Window> makeWindow(const Rect& contentRect) {
  return std::make_unique<MacWindow>(contentRect);
}

} // namespace platform::mac
