#pragma once

// Screen geometry as AppKit sees it: points, origin at the lower left of the
// main screen, y growing upwards. Backends with other conventions convert at
// their edge.

namespace platform {

struct Point {
  double x = 0;
  double y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  double width = 0;
  double height = 0;
  bool operator==(const Size&) const = default;
};

struct Rect {
  Point origin;
  Size size;
  bool operator==(const Rect&) const = default;

  double minX() const { return origin.x; }
  double minY() const { return origin.y; }
  double maxX() const { return origin.x + size.width; }
  double maxY() const { return origin.y + size.height; }
  double midX() const { return origin.x + size.width * 0.5; }
  double midY() const { return origin.y + size.height * 0.5; }
  Rect insetBy(double dx, double dy) const {
    return {{origin.x + dx, origin.y + dy}, {size.width - 2 * dx, size.height - 2 * dy}};
  }
  Rect offsetBy(double dx, double dy) const { return {{origin.x + dx, origin.y + dy}, size}; }
  // Half-open on the far edges, as NSPointInRect.
  bool contains(Point p) const {
    return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
  }
};

} // namespace platform
