// The floating panel and its custom-drawn view: the mouse handed to a
// ViewDelegate, context menus, and the panel's settings in AppKit's terms
// (the window level, the collection behaviour, key and main status).

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

#include "platform/mac/MacBackend.h"

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

NS_ASSUME_NONNULL_BEGIN

// A panel that can take the keyboard (for its context menu's key equivalents)
// but never becomes the main window, so it leaves the main window's state alone.
@interface BallPanel : NSPanel
@property(nonatomic) BOOL allowsKey;
@property(nonatomic) BOOL allowsMain;
@end

@implementation BallPanel
- (instancetype)initWithContentRect:(NSRect)contentRect
                          styleMask:(NSWindowStyleMask)style
                            backing:(NSBackingStoreType)backingStoreType
                              defer:(BOOL)flag {
  self = [super initWithContentRect:contentRect
                          styleMask:style
                            backing:backingStoreType
                              defer:flag];
  if (self) {
    _allowsKey = YES;
    _allowsMain = NO;
  }
  return self;
}

- (BOOL)canBecomeKeyWindow {
  return _allowsKey;
}

- (BOOL)canBecomeMainWindow {
  return _allowsMain;
}
@end

// Not flipped and not opaque: AppKit's coordinates, and the panel's clear
// background shows around whatever the delegate draws.
@interface MacDrawingView : NSView
@property(nonatomic) platform::ViewDelegate* _Nullable viewDelegate;
@end

@implementation MacDrawingView

- (void)drawRect:(NSRect)dirtyRect {
  if (!_viewDelegate)
    return;
  std::unique_ptr<platform::Canvas> canvas = platform::mac::makeCanvas();
  _viewDelegate->draw(*canvas, platform::mac::toRect(self.bounds));
}

// The first click on an inactive panel already counts.
- (BOOL)acceptsFirstMouse:(nullable NSEvent*)event {
  return YES;
}

// The delegate reads the pointer itself; AppKit's own handling (which would
// start a window drag or pass the event up) stays out of it.
- (void)mouseDown:(NSEvent*)event {
  if (_viewDelegate)
    _viewDelegate->mouseDown();
}

- (void)mouseDragged:(NSEvent*)event {
  if (_viewDelegate)
    _viewDelegate->mouseDragged();
}

- (void)mouseUp:(NSEvent*)event {
  if (_viewDelegate)
    _viewDelegate->mouseUp();
}

- (void)rightMouseUp:(NSEvent*)event {
  if (_viewDelegate)
    _viewDelegate->rightMouseUp();
}

@end

// The target of a context menu's items: each item's tag indexes the action
// list, and choosing one hands that action to the callback.
@interface MacContextMenuTarget : NSObject
- (instancetype)initWithActions:(std::vector<std::string>)actions
                         chosen:(std::function<void(const std::string&)>)chosen;
- (void)choose:(NSMenuItem*)sender;
@end

@implementation MacContextMenuTarget {
  std::vector<std::string> _actions;
  std::function<void(const std::string&)> _chosen;
}

- (instancetype)initWithActions:(std::vector<std::string>)actions
                         chosen:(std::function<void(const std::string&)>)chosen {
  self = [super init];
  if (self) {
    _actions = std::move(actions);
    _chosen = std::move(chosen);
  }
  return self;
}

- (void)choose:(NSMenuItem*)sender {
  NSInteger index = sender.tag;
  if (index < 0 || static_cast<std::size_t>(index) >= _actions.size() || !_chosen)
    return;
  // A copy: the callback may pop up another menu, which replaces this target.
  auto chosen = _chosen;
  chosen(_actions[static_cast<std::size_t>(index)]);
}

@end

NS_ASSUME_NONNULL_END

namespace platform::mac {
namespace {

class MacView final : public View {
public:
  explicit MacView(const Rect& frame)
      : view_([[MacDrawingView alloc] initWithFrame:toNSRect(frame)]) {}

  ~MacView() override { view_.viewDelegate = nullptr; }

  void setDelegate(ViewDelegate* delegate) override { view_.viewDelegate = delegate; }

  void setNeedsDisplay() override { view_.needsDisplay = YES; }

  void popUpContextMenu(const std::vector<MenuItem>& items,
                        std::function<void(const std::string& action)> chosen) override {
    std::vector<std::string> actions;
    NSMenu* menu = [[NSMenu alloc] init];
    // The items' target reference is weak; the view keeps the target until the
    // next menu, since AppKit may send the action after the menu has closed.
    for (const MenuItem& item : items) {
      if (item.separator) {
        [menu addItem:[NSMenuItem separatorItem]];
        continue;
      }
      NSMenuItem* entry = [menu addItemWithTitle:toNSString(item.title)
                                          action:@selector(choose:)
                                   keyEquivalent:toNSString(item.keyEquivalent)];
      entry.tag = static_cast<NSInteger>(actions.size());
      actions.push_back(item.action);
    }
    target_ = [[MacContextMenuTarget alloc] initWithActions:std::move(actions)
                                                     chosen:std::move(chosen)];
    for (NSMenuItem* entry in menu.itemArray)
      if (!entry.isSeparatorItem)
        entry.target = target_;

    NSEvent* event = [NSApp currentEvent];
    if (event)
      [NSMenu popUpContextMenu:menu withEvent:event forView:view_];
    else
      [menu popUpMenuPositioningItem:nil atLocation:[NSEvent mouseLocation] inView:nil];
  }

  NSView* native() { return view_; }

private:
  MacDrawingView* view_;
  MacContextMenuTarget* _Nullable target_ = nil;
};

// On every space, staying put when the user switches, and over full-screen
// windows (0x40111). Once the app is a regular app its floating panel no
// longer shows over other apps' full-screen spaces without the last bit,
// which AppKit knows only from macOS 13 (NSWindowCollectionBehaviorCanJoin-
// AllApplications, 1 << 18); earlier it is left out. Asked of the process
// info, as @available needs a runtime the 11.3 link lacks.
NSWindowCollectionBehavior everyDesktopBehavior() {
  NSWindowCollectionBehavior behavior = NSWindowCollectionBehaviorCanJoinAllSpaces |
                                        NSWindowCollectionBehaviorStationary |
                                        NSWindowCollectionBehaviorFullScreenAuxiliary;
  constexpr NSWindowCollectionBehavior canJoinAllApplications = 1u << 18;
  const NSOperatingSystemVersion ventura{13, 0, 0};
  if ([[NSProcessInfo processInfo] isOperatingSystemAtLeastVersion:ventura])
    behavior |= canJoinAllApplications;
  return behavior;
}

class MacPanel final : public Panel {
public:
  MacPanel(const Rect& contentRect, const PanelSettings& settings)
      : panel_([[BallPanel alloc]
            initWithContentRect:toNSRect(contentRect)
                      styleMask:settings.doesNotActivateApp ? NSWindowStyleMaskNonactivatingPanel
                                                            : NSWindowStyleMaskBorderless
                        backing:NSBackingStoreBuffered
                          defer:NO]) {
    // Key only while its menu is up, never main: the app's main window
    // stays the one the menu bar acts on.
    panel_.allowsKey = settings.takesKeyboardForMenu;
    panel_.becomesKeyOnlyIfNeeded = settings.takesKeyboardForMenu;
    panel_.allowsMain = NO;
    panel_.opaque = !settings.transparent;
    if (settings.transparent)
      panel_.backgroundColor = [NSColor clearColor];
    panel_.hasShadow = settings.hasShadow;
    // NSFloatingWindowLevel (3): above all normal windows.
    level_ = settings.floatsAboveOtherWindows ? NSFloatingWindowLevel : NSNormalWindowLevel;
    panel_.level = level_;
    if (settings.onEveryDesktop)
      panel_.collectionBehavior = everyDesktopBehavior();
    // The view moves the panel itself, and follows the mouse itself.
    panel_.movableByWindowBackground = NO;
    panel_.acceptsMouseMovedEvents = YES;
    panel_.ignoresMouseEvents = NO;
    panel_.hidesOnDeactivate = NO;
    panel_.releasedWhenClosed = NO;
  }

  void setContentView(View& view) override {
    NSView* native = nativeView(view);
    if (!native)
      std::abort(); // a view of another backend: a programming error
    panel_.contentView = native;
  }

  Point frameOrigin() override { return toPoint(panel_.frame.origin); }
  void setFrameOrigin(Point origin) override { [panel_ setFrameOrigin:toNSPoint(origin)]; }
  void raise() override { [panel_ orderFrontRegardless]; }
  void setFloating(bool floating) override {
    panel_.level = floating ? level_ : NSNormalWindowLevel;
  }

private:
  BallPanel* panel_;
  NSWindowLevel level_ = NSNormalWindowLevel;
};

} // namespace

std::unique_ptr<View> makeView(const Rect& frame) {
  return std::make_unique<MacView>(frame);
}

NSView* _Nullable nativeView(View& view) {
  auto* mac = dynamic_cast<MacView*>(&view);
  return mac ? mac->native() : nil;
}

std::unique_ptr<Panel> makePanel(const Rect& contentRect, const PanelSettings& settings) {
  return std::make_unique<MacPanel>(contentRect, settings);
}

} // namespace platform::mac
