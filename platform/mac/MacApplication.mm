// The application object, its delegate and the menu bar.

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>
#import <objc/message.h>

#include "platform/mac/MacBackend.h"

#include <memory>
#include <set>
#include <string>

NS_ASSUME_NONNULL_BEGIN

// Answers AppKit's application callbacks and the menu actions that no window
// handles, and hands each to the portable application delegate. Menu actions
// arrive through the responder chain as messages named after the action, so
// the object answers exactly the names the menu bar was built with.
@interface MacApplicationDelegate : NSObject <NSApplicationDelegate>
- (void)setTarget:(platform::ApplicationDelegate* _Nullable)target;
- (void)addForwardedAction:(const std::string&)action;
@end

@implementation MacApplicationDelegate {
  platform::ApplicationDelegate* _target;
  std::set<std::string> _forwarded;
}

- (void)setTarget:(platform::ApplicationDelegate* _Nullable)target {
  _target = target;
}

- (void)addForwardedAction:(const std::string&)action {
  _forwarded.insert(action);
}

- (void)applicationDidFinishLaunching:(NSNotification*)notification {
  if (_target)
    _target->applicationDidFinishLaunching();
}

- (BOOL)applicationShouldTerminateAfterLastWindowClosed:(NSApplication*)sender {
  return _target ? _target->applicationShouldTerminateAfterLastWindowClosed() : NO;
}

// The delegate may let the app quit at once or later; AppKit then waits in
// its own loop until it is told.
- (NSApplicationTerminateReply)applicationShouldTerminate:(NSApplication*)sender {
  if (!_target)
    return NSTerminateNow;
  enum class Ask { Asking, Now, Later, Told };
  auto ask = std::make_shared<Ask>(Ask::Asking);
  _target->prepareToTerminate([ask] {
    if (*ask == Ask::Asking) {
      *ask = Ask::Now;
    } else if (*ask == Ask::Later) {
      *ask = Ask::Told;
      [NSApp replyToApplicationShouldTerminate:YES];
    }
  });
  if (*ask == Ask::Now)
    return NSTerminateNow;
  *ask = Ask::Later;
  return NSTerminateLater;
}

- (BOOL)applicationShouldHandleReopen:(NSApplication*)sender hasVisibleWindows:(BOOL)flag {
  return _target ? _target->applicationShouldHandleReopen(flag) : YES;
}

- (BOOL)forwards:(SEL)selector {
  return _forwarded.count(platform::mac::toStdString(NSStringFromSelector(selector))) > 0;
}

- (BOOL)respondsToSelector:(SEL)selector {
  return [super respondsToSelector:selector] || [self forwards:selector];
}

- (nullable NSMethodSignature*)methodSignatureForSelector:(SEL)selector {
  NSMethodSignature* known = [super methodSignatureForSelector:selector];
  if (known || ![self forwards:selector])
    return known;
  // One object argument per colon of the name: an action takes its sender.
  std::string types = "v@:";
  for (char c : platform::mac::toStdString(NSStringFromSelector(selector)))
    if (c == ':')
      types += '@';
  return [NSMethodSignature signatureWithObjCTypes:types.c_str()];
}

- (void)forwardInvocation:(NSInvocation*)invocation {
  if (![self forwards:invocation.selector]) {
    [super forwardInvocation:invocation];
    return;
  }
  if (_target)
    _target->performAction(platform::mac::toStdString(NSStringFromSelector(invocation.selector)));
}

@end

NS_ASSUME_NONNULL_END

namespace platform::mac {
namespace {

// The selector of AppKit's own responder that carries out a standard action
// (the window's, the text field's, the application's); a menu item with it
// goes to whichever responder takes it, and is disabled when none does.
SEL standardSelector(StandardAction action) {
  switch (action) {
  case StandardAction::CloseWindow:
    return @selector(performClose:);
  case StandardAction::Quit:
    return @selector(terminate:);
  case StandardAction::Undo:
    return NSSelectorFromString(@"undo:");
  case StandardAction::Redo:
    return NSSelectorFromString(@"redo:");
  case StandardAction::Cut:
    return @selector(cut:);
  case StandardAction::Copy:
    return @selector(copy:);
  case StandardAction::Paste:
    return @selector(paste:);
  case StandardAction::SelectAll:
    return @selector(selectAll:);
  case StandardAction::None:
    break;
  }
  return nullptr;
}

class MacApplication final : public Application {
public:
  MacApplication() : delegate_([[MacApplicationDelegate alloc] init]) {}

  ~MacApplication() override {
    [delegate_ setTarget:nullptr];
    if (NSApp.delegate == delegate_)
      NSApp.delegate = nil;
  }

  std::vector<std::string> arguments() override {
    std::vector<std::string> result;
    for (NSString* argument in [NSProcessInfo processInfo].arguments)
      result.push_back(toStdString(argument));
    return result;
  }

  void setDelegate(ApplicationDelegate* delegate) override {
    [delegate_ setTarget:delegate];
    // NSApplication's delegate reference is weak; this object keeps it.
    [NSApp setDelegate:delegate_];
  }

  // LaunchServices hands a second open over to the running copy before any
  // process starts, but only for the same bundle path; a copy at another
  // path, or started directly (the login agent), is not known to it. The
  // portable one-copy rule asks those itself, over its socket.
  bool registerFirstCopy(std::chrono::milliseconds) override { return true; }

  int run() override {
    [NSApp run];
    return 0;
  }

  void showInAppSwitcher() override {
    [NSApp setActivationPolicy:NSApplicationActivationPolicyRegular];
  }

  void activate() override {
    // macOS 14 deprecates the old call and no longer honours its "ignoring
    // other apps", so a click on the non-activating ball might not bring the
    // app forward; its replacement asks for activation the supported way.
    // Asked of the object rather than with @available, whose run-time check
    // needs a compiler runtime that cross builds do not have.
    static const SEL activate = NSSelectorFromString(@"activate");
    if ([NSApp respondsToSelector:activate])
      reinterpret_cast<void (*)(id, SEL)>(objc_msgSend)(NSApp, activate);
    else
      [NSApp activateIgnoringOtherApps:YES];
  }

  void terminate() override { [NSApp terminate:nil]; }

  // The Dock and Finder take the icon from the bundle's Info.plist.
  void setIconFile(const std::filesystem::path&) override {}

  void setMainMenu(const MenuBar& menuBar) override {
    NSMenu* bar = [[NSMenu alloc] init];
    for (const Menu& menu : menuBar) {
      NSMenuItem* top = [[NSMenuItem alloc] init];
      // The application menu has no title of its own: AppKit shows the
      // application's name there.
      NSMenu* submenu = menu.title.empty() ? [[NSMenu alloc] init]
                                           : [[NSMenu alloc] initWithTitle:toNSString(menu.title)];
      for (const MenuItem& item : menu.items)
        addItem(submenu, item);
      top.submenu = submenu;
      [bar addItem:top];
    }
    [NSApp setMainMenu:bar];
  }

private:
  void addItem(NSMenu* menu, const MenuItem& item) {
    if (item.separator) {
      [menu addItem:[NSMenuItem separatorItem]];
      return;
    }
    SEL action = standardSelector(item.standard);
    if (!action && !item.action.empty()) {
      action = NSSelectorFromString(toNSString(item.action));
      [delegate_ addForwardedAction:item.action];
    }
    [menu addItemWithTitle:toNSString(item.title)
                    action:action
             keyEquivalent:toNSString(item.keyEquivalent)];
  }

  MacApplicationDelegate* delegate_;
};

} // namespace

std::unique_ptr<Application> makeApplication() {
  return std::make_unique<MacApplication>();
}

} // namespace platform::mac
