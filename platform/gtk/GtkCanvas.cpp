#include "platform/gtk/GtkInternal.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace platform::gtk {
namespace {

// Draws in the view's own coordinates, origin lower left, by flipping cairo's.
class CairoCanvas final : public Canvas {
public:
  CairoCanvas(cairo_t* cr, double height) : cr_(cr), height_(height) {}

  void fillRect(const Rect& rect, const Color& color) override {
    cairo_save(cr_);
    flip();
    cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr_, color.red, color.green, color.blue, color.alpha);
    cairo_rectangle(cr_, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_fill(cr_);
    cairo_restore(cr_);
  }
  void fillOval(const Rect& inRect, const Color& color) override {
    cairo_save(cr_);
    flip();
    oval(inRect);
    cairo_set_source_rgba(cr_, color.red, color.green, color.blue, color.alpha);
    cairo_fill(cr_);
    cairo_restore(cr_);
  }
  void fillRoundedRect(const Rect& rect, double radius, const Color& color) override {
    double r = std::clamp(radius, 0.0, std::min(rect.size.width, rect.size.height) / 2);
    double x0 = rect.origin.x, y0 = rect.origin.y;
    double x1 = rect.maxX(), y1 = rect.maxY();
    cairo_save(cr_);
    flip();
    cairo_new_sub_path(cr_);
    cairo_arc(cr_, x1 - r, y0 + r, r, -M_PI / 2, 0);
    cairo_arc(cr_, x1 - r, y1 - r, r, 0, M_PI / 2);
    cairo_arc(cr_, x0 + r, y1 - r, r, M_PI / 2, M_PI);
    cairo_arc(cr_, x0 + r, y0 + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr_);
    cairo_set_source_rgba(cr_, color.red, color.green, color.blue, color.alpha);
    cairo_fill(cr_);
    cairo_restore(cr_);
  }
  bool fillOvalWithGradient(const Rect& inRect, const std::vector<GradientStop>& stops,
                            double angleDegrees) override {
    if (stops.empty() || inRect.size.width <= 0 || inRect.size.height <= 0)
      return false;
    // The gradient line runs through the centre along the angle and spans the
    // rectangle's extent in that direction, as NSGradient does.
    double a = angleDegrees * M_PI / 180.0;
    double dx = std::cos(a), dy = std::sin(a);
    double half = (std::fabs(dx) * inRect.size.width + std::fabs(dy) * inRect.size.height) / 2;
    double cx = inRect.midX(), cy = inRect.midY();
    CairoPatternPtr pattern(cairo_pattern_create_linear(cx - dx * half, cy - dy * half,
                                                        cx + dx * half, cy + dy * half));
    if (cairo_pattern_status(pattern.get()) != CAIRO_STATUS_SUCCESS)
      return false;
    for (const GradientStop& s : stops)
      cairo_pattern_add_color_stop_rgba(pattern.get(), s.location, s.color.red, s.color.green,
                                        s.color.blue, s.color.alpha);
    cairo_save(cr_);
    flip();
    oval(inRect);
    cairo_set_source(cr_, pattern.get());
    cairo_fill(cr_);
    cairo_restore(cr_);
    return true;
  }
  Size measureText(const std::string& text, const Font& font) override {
    GObjectPtr<PangoLayout> layout = makeLayout(text, font);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout.get(), &w, &h);
    return {double(w), double(h)};
  }
  void drawText(const std::string& text, const Font& font, std::optional<Color> color,
                Point origin) override {
    GObjectPtr<PangoLayout> layout = makeLayout(text, font);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout.get(), &w, &h);
    Color c = color.value_or(Color{0, 0, 0, 1});
    cairo_save(cr_);
    cairo_set_source_rgba(cr_, c.red, c.green, c.blue, c.alpha);
    // The layout's top left, in cairo's downward coordinates.
    cairo_move_to(cr_, origin.x, height_ - (origin.y + h));
    pango_cairo_show_layout(cr_, layout.get());
    cairo_restore(cr_);
  }

private:
  void flip() {
    cairo_translate(cr_, 0, height_);
    cairo_scale(cr_, 1, -1);
  }
  void oval(const Rect& r) {
    cairo_save(cr_);
    cairo_translate(cr_, r.midX(), r.midY());
    cairo_scale(cr_, r.size.width / 2, r.size.height / 2);
    cairo_arc(cr_, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr_);
  }
  GObjectPtr<PangoLayout> makeLayout(const std::string& text, const Font& font) {
    GObjectPtr<PangoLayout> layout(pango_cairo_create_layout(cr_));
    PangoFontDescriptionPtr description(pango_font_description_from_string("sans"));
    // AppKit's points are the canvas's pixels; Pango's own points would be a
    // third larger at its 96 dpi, and three digits would overflow the badge.
    pango_font_description_set_absolute_size(description.get(), font.pointSize * PANGO_SCALE);
    pango_font_description_set_weight(description.get(),
                                      font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout.get(), description.get());
    pango_layout_set_text(layout.get(), text.c_str(), -1);
    return layout;
  }
  cairo_t* cr_;
  double height_;
};

} // namespace

std::unique_ptr<Canvas> makeCairoCanvas(cairo_t* cr, double height) {
  return std::make_unique<CairoCanvas>(cr, height);
}

} // namespace platform::gtk
