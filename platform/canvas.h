#pragma once

#include "platform/geometry.h"

#include <optional>
#include <string>
#include <vector>

// What a custom-drawn view asks of the platform's 2D drawing: the handful of
// operations the ball uses, in the view's own coordinates (origin at the lower
// left, y upwards).

namespace platform {

struct Color {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 0;
  bool operator==(const Color&) const = default;
};

struct GradientStop {
  double location = 0;
  Color color;
  bool operator==(const GradientStop&) const = default;
};

struct Font {
  double pointSize = 0;
  bool bold = false;
  bool operator==(const Font&) const = default;
};

class Canvas {
public:
  virtual ~Canvas() = default;
  // Replaces the pixels of the rectangle with the colour (copy, not blend),
  // as NSRectFill with the clear colour does.
  virtual void fillRect(const Rect& rect, const Color& color) = 0;
  virtual void fillOval(const Rect& inRect, const Color& color) = 0;
  // A rectangle with its corners rounded to quarter circles of the radius.
  virtual void fillRoundedRect(const Rect& rect, double radius, const Color& color) = 0;
  // A linear gradient clipped to the oval inscribed in the rectangle. The
  // angle is in degrees, 0 from left to right, 90 from bottom to top.
  // Returns false when the gradient could not be made; nothing is drawn then.
  virtual bool fillOvalWithGradient(const Rect& inRect, const std::vector<GradientStop>& stops,
                                    double angleDegrees) = 0;
  virtual Size measureText(const std::string& text, const Font& font) = 0;
  // Draws text with its measured box's lower-left corner at the origin. With
  // no colour the platform's default text colour is used.
  virtual void drawText(const std::string& text, const Font& font, std::optional<Color> color,
                        Point origin) = 0;
};

} // namespace platform
