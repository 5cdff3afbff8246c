// A custom-drawn view: AppKit drawing behind platform::Canvas, the mouse
// handed to a ViewDelegate, and context menus.

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

#include "platform/mac/MacBackend.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace platform::mac {
namespace {

NSColor* toNSColor(const Color& color) {
  return [NSColor colorWithCalibratedRed:color.red
                                   green:color.green
                                    blue:color.blue
                                   alpha:color.alpha];
}

NSFont* toNSFont(const Font& font) {
  return font.bold ? [NSFont boldSystemFontOfSize:font.pointSize]
                   : [NSFont systemFontOfSize:font.pointSize];
}

NSDictionary<NSAttributedStringKey, id>* textAttributes(const Font& font,
                                                        const std::optional<Color>& color) {
  if (color)
    return
        @{NSFontAttributeName : toNSFont(font), NSForegroundColorAttributeName : toNSColor(*color)};
  return @{NSFontAttributeName : toNSFont(font)};
}

// Draws into the current graphics context, as drawRect: has it.
class MacCanvas final : public Canvas {
public:
  void fillRect(const Rect& rect, const Color& color) override {
    NSGraphicsContext* context = [NSGraphicsContext currentContext];
    NSCompositingOperation operation =
        context ? context.compositingOperation : NSCompositingOperationSourceOver;
    [toNSColor(color) setFill];
    NSRectFillUsingOperation(toNSRect(rect), operation);
  }

  void fillOval(const Rect& inRect, const Color& color) override {
    [toNSColor(color) setFill];
    [[NSBezierPath bezierPathWithOvalInRect:toNSRect(inRect)] fill];
  }

  void fillRoundedRect(const Rect& rect, double radius, const Color& color) override {
    [toNSColor(color) setFill];
    [[NSBezierPath bezierPathWithRoundedRect:toNSRect(rect) xRadius:radius yRadius:radius] fill];
  }

  bool fillOvalWithGradient(const Rect& inRect, const std::vector<GradientStop>& stops,
                            double angleDegrees) override {
    // NSGradient needs two colours at least.
    if (stops.size() < 2)
      return false;
    NSMutableArray<NSColor*>* colors = [NSMutableArray arrayWithCapacity:stops.size()];
    std::vector<CGFloat> locations;
    locations.reserve(stops.size());
    for (const GradientStop& stop : stops) {
      [colors addObject:toNSColor(stop.color)];
      locations.push_back(stop.location);
    }
    NSGradient* gradient = [[NSGradient alloc] initWithColors:colors
                                                  atLocations:locations.data()
                                                   colorSpace:[NSColorSpace genericRGBColorSpace]];
    if (!gradient)
      return false;
    [gradient drawInBezierPath:[NSBezierPath bezierPathWithOvalInRect:toNSRect(inRect)]
                         angle:angleDegrees];
    return true;
  }

  Size measureText(const std::string& text, const Font& font) override {
    NSSize size = [toNSString(text) sizeWithAttributes:textAttributes(font, std::nullopt)];
    return {size.width, size.height};
  }

  void drawText(const std::string& text, const Font& font, std::optional<Color> color,
                Point origin) override {
    [toNSString(text) drawAtPoint:toNSPoint(origin) withAttributes:textAttributes(font, color)];
  }
};

} // namespace
} // namespace platform::mac

NS_ASSUME_NONNULL_BEGIN

// Not flipped and not opaque: AppKit's coordinates, and the panel's clear
// background shows around whatever the delegate draws.
@interface MacDrawingView : NSView
@property(nonatomic) platform::ViewDelegate* _Nullable viewDelegate;
@end

@implementation MacDrawingView

- (void)drawRect:(NSRect)dirtyRect {
  if (!_viewDelegate)
    return;
  platform::mac::MacCanvas canvas;
  _viewDelegate->draw(canvas, platform::mac::toRect(self.bounds));
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

} // namespace

std::unique_ptr<View> makeView(const Rect& frame) {
  return std::make_unique<MacView>(frame);
}

NSView* _Nullable nativeView(View& view) {
  auto* mac = dynamic_cast<MacView*>(&view);
  return mac ? mac->native() : nil;
}

} // namespace platform::mac
