// platform::Canvas on AppKit drawing, into the current graphics context.

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

#include "platform/mac/MacBackend.h"

#include <memory>
#include <string>

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

std::unique_ptr<Canvas> makeCanvas() {
  return std::make_unique<MacCanvas>();
}

} // namespace platform::mac
