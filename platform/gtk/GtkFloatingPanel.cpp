#include "platform/gtk/GtkInternal.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace platform::gtk {
namespace {

struct MenuChoice {
  std::function<void(const std::string&)>* chosen;
  std::string action;
};

// A custom-drawn view: draws through Canvas, reports clicks and drags, and
// shapes its toplevel to what it drew.
class GtkCanvasView final : public View {
public:
  explicit GtkCanvasView(const Rect& frame) {
    // Sunk: the view holds its area whether or not a window does.
    area_.reset(GTK_WIDGET(g_object_ref_sink(gtk_drawing_area_new())));
    gtk_widget_set_size_request(area_.get(), int(frame.size.width), int(frame.size.height));
    gtk_widget_add_events(area_.get(), GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK |
                                           GDK_BUTTON1_MOTION_MASK);
    g_signal_connect(area_.get(), "draw", G_CALLBACK(&GtkCanvasView::onDraw), this);
    g_signal_connect(area_.get(), "button-press-event", G_CALLBACK(&GtkCanvasView::onPress), this);
    g_signal_connect(area_.get(), "button-release-event", G_CALLBACK(&GtkCanvasView::onRelease),
                     this);
    g_signal_connect(area_.get(), "motion-notify-event", G_CALLBACK(&GtkCanvasView::onMotion),
                     this);
  }
  ~GtkCanvasView() override {
    g_signal_handlers_disconnect_by_data(area_.get(), this);
    if (menu_)
      gtk_widget_destroy(menu_);
  }
  void setDelegate(ViewDelegate* delegate) override { delegate_ = delegate; }
  void setNeedsDisplay() override { gtk_widget_queue_draw(area_.get()); }
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
          entry, "activate", G_CALLBACK(&GtkCanvasView::onChoose), choice,
          [](gpointer p, GClosure*) { delete static_cast<MenuChoice*>(p); }, GConnectFlags(0));
      gtk_menu_shell_append(GTK_MENU_SHELL(menu_), entry);
    }
    gtk_widget_show_all(menu_);
    gtk_menu_attach_to_widget(GTK_MENU(menu_), area_.get(), nullptr);
    gtk_menu_popup_at_pointer(GTK_MENU(menu_), nullptr);
  }
  GtkWidget* widget() { return area_.get(); }

  // Cuts the window to the face before it is first shown, so it never
  // appears as a square.
  void updateShape() { shapeWindowTo(render().get()); }

private:
  // The view's picture, drawn off screen so its transparency can be read.
  CairoSurfacePtr render() {
    int w = gtk_widget_get_allocated_width(area_.get()),
        h = gtk_widget_get_allocated_height(area_.get());
    if (!gtk_widget_get_mapped(area_.get()))
      gtk_widget_get_size_request(area_.get(), &w, &h);
    w = std::max(w, 1);
    h = std::max(h, 1);
    CairoSurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h));
    {
      CairoPtr cr(cairo_create(surface.get()));
      if (delegate_)
        delegate_->draw(*makeCairoCanvas(cr.get(), h), {{0, 0}, {double(w), double(h)}});
    }
    cairo_surface_flush(surface.get());
    return surface;
  }
  // A transparent window shows what is behind it only under a compositor;
  // without one, the window is cut to the pixels that are mostly opaque, so
  // the corners and the badge's surroundings show the desktop rather than
  // black. Clicks everywhere fall through wherever nothing is drawn, as they
  // do through a clear panel on macOS.
  void shapeWindowTo(cairo_surface_t* drawing) {
    GtkWidget* top = gtk_widget_get_toplevel(area_.get());
    if (!gtk_widget_is_toplevel(top))
      return;
    int dx = 0, dy = 0;
    gtk_widget_translate_coordinates(area_.get(), top, 0, 0, &dx, &dy);
    bool composited = gdk_screen_is_composited(gtk_widget_get_screen(top));
    CairoRegionPtr visible = regionWhereAlpha(drawing, 128);
    CairoRegionPtr touchable = regionWhereAlpha(drawing, 1);
    cairo_region_translate(visible.get(), dx, dy);
    cairo_region_translate(touchable.get(), dx, dy);
    if (!shaped_ || composited != composited_ ||
        !cairo_region_equal(visible.get(), visible_.get()) ||
        !cairo_region_equal(touchable.get(), touchable_.get())) {
      gtk_widget_shape_combine_region(top, composited ? nullptr : visible.get());
      gtk_widget_input_shape_combine_region(top, touchable.get());
      shaped_ = true;
      composited_ = composited;
      visible_ = std::move(visible);
      touchable_ = std::move(touchable);
    }
  }
  // The pixels whose alpha is at least minAlpha (0..255), row by row.
  static CairoRegionPtr regionWhereAlpha(cairo_surface_t* surface, int minAlpha) {
    CairoRegionPtr region(cairo_region_create());
    int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    for (int y = 0; y < h; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(data + std::ptrdiff_t(y) * stride);
      int x = 0;
      while (x < w) {
        while (x < w && int(row[x] >> 24) < minAlpha)
          ++x;
        int start = x;
        while (x < w && int(row[x] >> 24) >= minAlpha)
          ++x;
        if (x > start) {
          cairo_rectangle_int_t span{start, y, x - start, 1};
          cairo_region_union_rectangle(region.get(), &span);
        }
      }
    }
    return region;
  }

  static void onChoose(GtkMenuItem*, gpointer data) {
    auto* choice = static_cast<MenuChoice*>(data);
    // Copies: the callback may replace the menu and with it this choice.
    std::function<void(const std::string&)> chosen = *choice->chosen;
    std::string action = choice->action;
    if (chosen)
      chosen(action);
  }
  static gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer data) {
    auto* self = static_cast<GtkCanvasView*>(data);
    CairoSurfacePtr drawing = self->render();
    cairo_set_source_surface(cr, drawing.get(), 0, 0);
    cairo_paint(cr);
    self->shapeWindowTo(drawing.get());
    return TRUE;
  }
  static gboolean onPress(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* self = static_cast<GtkCanvasView*>(data);
    if (event->type == GDK_BUTTON_PRESS && event->button == 1 && self->delegate_)
      self->delegate_->mouseDown();
    return TRUE;
  }
  static gboolean onRelease(GtkWidget*, GdkEventButton* event, gpointer data) {
    auto* self = static_cast<GtkCanvasView*>(data);
    if (!self->delegate_)
      return TRUE;
    if (event->button == 1)
      self->delegate_->mouseUp();
    else if (event->button == 3)
      self->delegate_->rightMouseUp();
    return TRUE;
  }
  static gboolean onMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
    auto* self = static_cast<GtkCanvasView*>(data);
    if ((event->state & GDK_BUTTON1_MASK) && self->delegate_)
      self->delegate_->mouseDragged();
    return TRUE;
  }

  GObjectPtr<GtkWidget> area_;
  GtkWidget* menu_ = nullptr;
  ViewDelegate* delegate_ = nullptr;
  std::function<void(const std::string&)> chosen_;
  CairoRegionPtr visible_;
  CairoRegionPtr touchable_;
  bool shaped_ = false;
  bool composited_ = false;
};

// A floating panel set up as its settings say.
class GtkFloatingPanel final : public Panel {
public:
  GtkFloatingPanel(const Rect& contentRect, const PanelSettings& settings)
      : size_(contentRect.size) {
    window_.reset(GTK_WINDOW(g_object_ref_sink(gtk_window_new(GTK_WINDOW_TOPLEVEL))));
    GtkWidget* widget = GTK_WIDGET(window_.get());
    // What every panel is: borderless, fixed in size, a utility window that
    // the taskbar does not list (as panels are not in the Dock).
    gtk_window_set_decorated(window_.get(), FALSE);
    gtk_window_set_resizable(window_.get(), FALSE);
    gtk_window_set_type_hint(window_.get(), GDK_WINDOW_TYPE_HINT_UTILITY);
    gtk_window_set_skip_taskbar_hint(window_.get(), TRUE);
    gtk_window_set_default_size(window_.get(), int(size_.width), int(size_.height));
    // The rest as the settings say. X11 has nothing to translate the shadow
    // into (the compositor's choice); its focus is the keyboard, which a
    // panel that does not activate the app never takes: views report drags
    // and clicks without it.
    GdkScreen* screen = gtk_widget_get_screen(widget);
    if (GdkVisual* visual = gdk_screen_get_rgba_visual(screen); visual && settings.transparent)
      gtk_widget_set_visual(widget, visual);
    gtk_widget_set_app_paintable(widget, settings.transparent);
    if (settings.transparent)
      g_signal_connect(widget, "draw", G_CALLBACK(&GtkFloatingPanel::onDraw), nullptr);
    floatsAbove_ = settings.floatsAboveOtherWindows;
    gtk_window_set_keep_above(window_.get(), floatsAbove_);
    // On every workspace, and left out of the pager, as it moves with none.
    if (settings.onEveryDesktop)
      gtk_window_stick(window_.get());
    gtk_window_set_skip_pager_hint(window_.get(), settings.onEveryDesktop);
    const bool takesFocus = !settings.doesNotActivateApp && settings.takesKeyboardForMenu;
    gtk_window_set_accept_focus(window_.get(), takesFocus);
    gtk_window_set_focus_on_map(window_.get(), takesFocus);
    // Never closed by the window manager: the ball quits through its menu.
    g_signal_connect(widget, "delete-event", G_CALLBACK(gtk_true), nullptr);
    setFrameOrigin(contentRect.origin);
  }
  ~GtkFloatingPanel() override { gtk_widget_destroy(GTK_WIDGET(window_.get())); }
  void setContentView(View& view) override {
    view_ = &static_cast<GtkCanvasView&>(view);
    GtkWidget* child = view_->widget();
    if (GtkWidget* old = gtk_bin_get_child(GTK_BIN(window_.get())))
      gtk_container_remove(GTK_CONTAINER(window_.get()), old);
    gtk_container_add(GTK_CONTAINER(window_.get()), child);
    gtk_widget_show(child);
  }
  Point frameOrigin() override {
    int x = 0, y = 0;
    gtk_window_get_position(window_.get(), &x, &y);
    return {double(x), flipY(y, size_.height)};
  }
  void setFrameOrigin(Point origin) override {
    gtk_window_move(window_.get(), int(std::lround(origin.x)),
                    int(std::lround(flipY(origin.y, size_.height))));
  }
  // Shown and raised, never focused: presenting would hand the ball the
  // keyboard focus where no window manager stops it.
  void raise() override {
    if (view_)
      view_->updateShape();
    gtk_widget_show(GTK_WIDGET(window_.get()));
    if (GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_.get())))
      gdk_window_raise(gdkWindow);
  }

  void setFloating(bool floating) override {
    gtk_window_set_keep_above(window_.get(), floating && floatsAbove_);
  }

private:
  static gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer) {
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, 0, 0, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
    return FALSE;
  }
  // Let go after the destructor has destroyed the window.
  GObjectPtr<GtkWindow> window_;
  bool floatsAbove_ = false;
  GtkCanvasView* view_ = nullptr;
  Size size_;
};

} // namespace

std::unique_ptr<View> makeView(const Rect& frame) {
  return std::make_unique<GtkCanvasView>(frame);
}

std::unique_ptr<Panel> makePanel(const Rect& contentRect, const PanelSettings& settings) {
  return std::make_unique<GtkFloatingPanel>(contentRect, settings);
}

} // namespace platform::gtk
