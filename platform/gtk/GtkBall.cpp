#include "platform/gtk/GtkInternal.h"

#include <pango/pangocairo.h>

#include <cmath>

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
    cairo_pattern_t* pattern =
        cairo_pattern_create_linear(cx - dx * half, cy - dy * half, cx + dx * half, cy + dy * half);
    if (cairo_pattern_status(pattern) != CAIRO_STATUS_SUCCESS) {
      cairo_pattern_destroy(pattern);
      return false;
    }
    for (const GradientStop& s : stops)
      cairo_pattern_add_color_stop_rgba(pattern, s.location, s.color.red, s.color.green,
                                        s.color.blue, s.color.alpha);
    cairo_save(cr_);
    flip();
    oval(inRect);
    cairo_set_source(cr_, pattern);
    cairo_fill(cr_);
    cairo_restore(cr_);
    cairo_pattern_destroy(pattern);
    return true;
  }
  Size measureText(const std::string& text, const Font& font) override {
    PangoLayout* layout = makeLayout(text, font);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    g_object_unref(layout);
    return {double(w), double(h)};
  }
  void drawText(const std::string& text, const Font& font, std::optional<Color> color,
                Point origin) override {
    PangoLayout* layout = makeLayout(text, font);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    Color c = color.value_or(Color{0, 0, 0, 1});
    cairo_save(cr_);
    cairo_set_source_rgba(cr_, c.red, c.green, c.blue, c.alpha);
    // The layout's top left, in cairo's downward coordinates.
    cairo_move_to(cr_, origin.x, height_ - (origin.y + h));
    pango_cairo_show_layout(cr_, layout);
    cairo_restore(cr_);
    g_object_unref(layout);
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
  PangoLayout* makeLayout(const std::string& text, const Font& font) {
    PangoLayout* layout = pango_cairo_create_layout(cr_);
    PangoFontDescription* description = pango_font_description_from_string("sans");
    pango_font_description_set_size(description, int(font.pointSize * PANGO_SCALE));
    pango_font_description_set_weight(description,
                                      font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout, description);
    pango_font_description_free(description);
    pango_layout_set_text(layout, text.c_str(), -1);
    return layout;
  }
  cairo_t* cr_;
  double height_;
};

struct MenuChoice {
  std::function<void(const std::string&)>* chosen;
  std::string action;
};

class GtkBallView final : public View {
public:
  explicit GtkBallView(const Rect& frame) {
    area_ = gtk_drawing_area_new();
    g_object_ref_sink(area_);
    gtk_widget_set_size_request(area_, int(frame.size.width), int(frame.size.height));
    gtk_widget_add_events(area_, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                     GDK_BUTTON1_MOTION_MASK);
    g_signal_connect(area_, "draw", G_CALLBACK(&GtkBallView::onDraw), this);
    g_signal_connect(area_, "button-press-event", G_CALLBACK(&GtkBallView::onPress), this);
    g_signal_connect(area_, "button-release-event", G_CALLBACK(&GtkBallView::onRelease), this);
    g_signal_connect(area_, "motion-notify-event", G_CALLBACK(&GtkBallView::onMotion), this);
  }
  ~GtkBallView() override {
    g_signal_handlers_disconnect_by_data(area_, this);
    if (menu_)
      gtk_widget_destroy(menu_);
    g_object_unref(area_);
  }
  void setDelegate(ViewDelegate* delegate) override { delegate_ = delegate; }
  void setNeedsDisplay() override { gtk_widget_queue_draw(area_); }
  void popUpContextMenu(const std::vector<MenuItem>& items,
                        std::function<void(const std::string& action)> chosen) override {
    if (menu_)
      gtk_widget_destroy(menu_);
    chosen_ = std::move(chosen);
    menu_ = gtk_menu_new();
    for (const MenuItem& item : items) {
      if (item.separator) {
        gtk_menu_shell_append(GTK_MENU_SHELL(menu_), gtk_separator_menu_item_new());
        continue;
      }
      GtkWidget* entry = gtk_menu_item_new_with_label(item.title.c_str());
      auto* choice = new MenuChoice{&chosen_, item.action};
      g_signal_connect_data(
          entry, "activate", G_CALLBACK(&GtkBallView::onChoose), choice,
          [](gpointer p, GClosure*) { delete static_cast<MenuChoice*>(p); }, GConnectFlags(0));
      gtk_menu_shell_append(GTK_MENU_SHELL(menu_), entry);
    }
    gtk_widget_show_all(menu_);
    gtk_menu_attach_to_widget(GTK_MENU(menu_), area_, nullptr);
    gtk_menu_popup_at_pointer(GTK_MENU(menu_), nullptr);
  }
  GtkWidget* widget() { return area_; }

private:
  static void onChoose(GtkMenuItem*, gpointer data) {
    auto* choice = static_cast<MenuChoice*>(data);
    // Copies: the callback may replace the menu and with it this choice.
    std::function<void(const std::string&)> chosen = *choice->chosen;
    std::string action = choice->action;
    if (chosen)
      chosen(action);
  }
  static gboolean onDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
    auto* self = static_cast<GtkBallView*>(data);
    double w = gtk_widget_get_allocated_width(widget), h = gtk_widget_get_allocated_height(widget);
    if (self->delegate_) {
      CairoCanvas canvas(cr, h);
      self->delegate_->draw(canvas, {{0, 0}, {w, h}});
    }
    return TRUE;
  }
  static gboolean onPress(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* self = static_cast<GtkBallView*>(data);
    if (event->type == GDK_BUTTON_PRESS && event->button == 1 && self->delegate_)
      self->delegate_->mouseDown();
    return TRUE;
  }
  static gboolean onRelease(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* self = static_cast<GtkBallView*>(data);
    if (!self->delegate_)
      return TRUE;
    if (event->button == 1)
      self->delegate_->mouseUp();
    else if (event->button == 3)
      self->delegate_->rightMouseUp();
    return TRUE;
  }
  static gboolean onMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
    auto* self = static_cast<GtkBallView*>(data);
    if ((event->state & GDK_BUTTON1_MASK) && self->delegate_)
      self->delegate_->mouseDragged();
    return TRUE;
  }

  GtkWidget* area_ = nullptr;
  GtkWidget* menu_ = nullptr;
  ViewDelegate* delegate_ = nullptr;
  std::function<void(const std::string&)> chosen_;
};

class GtkBallPanel final : public Panel {
public:
  GtkBallPanel(const Rect& contentRect, const PanelSettings& settings) : size_(contentRect.size) {
    window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    g_object_ref_sink(window_);
    GtkWidget* widget = GTK_WIDGET(window_);
    gtk_window_set_decorated(window_, FALSE);
    gtk_widget_set_app_paintable(widget, TRUE);
    GdkScreen* screen = gtk_widget_get_screen(widget);
    if (GdkVisual* visual = gdk_screen_get_rgba_visual(screen); visual && !settings.opaque)
      gtk_widget_set_visual(widget, visual);
    gtk_window_set_keep_above(window_, TRUE);
    gtk_window_stick(window_);
    gtk_window_set_skip_taskbar_hint(window_, TRUE);
    gtk_window_set_skip_pager_hint(window_, TRUE);
    gtk_window_set_accept_focus(window_, !settings.nonactivating);
    gtk_window_set_focus_on_map(window_, FALSE);
    gtk_window_set_resizable(window_, FALSE);
    gtk_window_set_type_hint(window_, GDK_WINDOW_TYPE_HINT_UTILITY);
    gtk_window_set_default_size(window_, int(size_.width), int(size_.height));
    g_signal_connect(widget, "draw", G_CALLBACK(&GtkBallPanel::onDraw), nullptr);
    // Never closed by the window manager: the ball quits through its menu.
    g_signal_connect(widget, "delete-event", G_CALLBACK(gtk_true), nullptr);
    setFrameOrigin(contentRect.origin);
    if (!gdk_screen_is_composited(screen))
      shapeAsCircle();
  }
  ~GtkBallPanel() override {
    gtk_widget_destroy(GTK_WIDGET(window_));
    g_object_unref(window_);
  }
  void setContentView(View& view) override {
    GtkWidget* child = static_cast<GtkBallView&>(view).widget();
    if (GtkWidget* old = gtk_bin_get_child(GTK_BIN(window_)))
      gtk_container_remove(GTK_CONTAINER(window_), old);
    gtk_container_add(GTK_CONTAINER(window_), child);
    gtk_widget_show(child);
  }
  Point frameOrigin() override {
    int x = 0, y = 0;
    gtk_window_get_position(window_, &x, &y);
    return {double(x), flipY(y, size_.height)};
  }
  void setFrameOrigin(Point origin) override {
    gtk_window_move(window_, int(std::lround(origin.x)),
                    int(std::lround(flipY(origin.y, size_.height))));
  }
  void orderFrontRegardless() override {
    gtk_widget_show(GTK_WIDGET(window_));
    gtk_window_present(window_);
  }

private:
  // Without a compositor there is no transparency; cut the window to the
  // circle instead, one row of spans at a time.
  void shapeAsCircle() {
    cairo_region_t* region = cairo_region_create();
    double r = std::min(size_.width, size_.height) / 2;
    for (int y = 0; y < int(size_.height); ++y) {
      double dy = y + 0.5 - size_.height / 2;
      if (std::fabs(dy) > r)
        continue;
      double half = std::sqrt(r * r - dy * dy);
      cairo_rectangle_int_t span{int(std::floor(size_.width / 2 - half)), y,
                                 int(std::ceil(2 * half)), 1};
      cairo_region_union_rectangle(region, &span);
    }
    gtk_widget_shape_combine_region(GTK_WIDGET(window_), region);
    gtk_widget_input_shape_combine_region(GTK_WIDGET(window_), region);
    cairo_region_destroy(region);
  }
  static gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer) {
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, 0, 0, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
    return FALSE;
  }
  GtkWindow* window_ = nullptr;
  Size size_;
};

} // namespace

std::unique_ptr<View> makeView(const Rect& frame) { return std::make_unique<GtkBallView>(frame); }

std::unique_ptr<Panel> makePanel(const Rect& contentRect, const PanelSettings& settings) {
  return std::make_unique<GtkBallPanel>(contentRect, settings);
}

} // namespace platform::gtk
