#include "platform/gtk/GtkInternal.h"

#include <gdk/gdkx.h>

#include <algorithm>

namespace platform::gtk {
namespace {

// The main window. Its measure, everywhere in this layer, is the content
// rectangle: the web view's area, without the menu bar above it and without
// the window manager's frame. That is what AppKit's full-size content window
// calls its frame, so a stored frame restores to the same size it was stored
// from.
class GtkMainWindow final : public Window, public MainWindowHost {
public:
  GtkMainWindow(GtkApp& app, const Rect& contentRect) : app_(app), contentSize_(contentRect.size) {
    window_.reset(GTK_WINDOW(g_object_ref_sink(gtk_window_new(GTK_WINDOW_TOPLEVEL))));
    box_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window_.get()), box_);
    gtk_widget_show(box_);
    g_signal_connect(window_.get(), "delete-event", G_CALLBACK(&GtkMainWindow::onDelete), this);
    g_signal_connect(window_.get(), "window-state-event", G_CALLBACK(&GtkMainWindow::onState),
                     this);
    // After the layout, where frame() reads the content's new size.
    g_signal_connect_after(window_.get(), "size-allocate", G_CALLBACK(&GtkMainWindow::onAllocate),
                           this);
    g_signal_connect(window_.get(), "configure-event", G_CALLBACK(&GtkMainWindow::onConfigure),
                     this);
    // Installs the menu bar, whose height the window adds to the content.
    app_.addWindow(this);
    applySizes();
  }
  ~GtkMainWindow() override {
    if (pending_)
      g_source_remove(pending_);
    app_.removeWindow(this);
    g_signal_handlers_disconnect_by_data(window_.get(), this);
    gtk_widget_destroy(GTK_WIDGET(window_.get()));
  }

  void setTitle(const std::string& title) override {
    gtk_window_set_title(window_.get(), title.c_str());
  }
  std::string title() override {
    const char* t = gtk_window_get_title(window_.get());
    return t ? t : "";
  }
  void setMinSize(Size size) override {
    minContentSize_ = size;
    applySizes();
  }
  // Centred on the primary monitor's work area, like AppKit's center. The
  // origin a frame was stored with never matters.
  void center() override {
    GdkMonitor* monitor = primaryMonitor(gtk_widget_get_display(GTK_WIDGET(window_.get())));
    if (!monitor) {
      gtk_window_set_position(window_.get(), GTK_WIN_POS_CENTER);
      return;
    }
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    // Unmapped, this is the size the window will be mapped with.
    int w = 0, h = 0;
    gtk_window_get_size(window_.get(), &w, &h);
    // A window larger than the screen keeps its menu bar reachable.
    int x = std::max(area.x, area.x + (area.width - w) / 2);
    int y = std::max(area.y, area.y + (area.height - h) / 2);
    gtk_window_move(window_.get(), x, y);
  }
  void setContentView(WebView& view) override {
    if (content_ && gtk_widget_get_parent(content_.get()) == box_)
      gtk_container_remove(GTK_CONTAINER(box_), content_.get());
    content_ = GObjectRef<GtkWidget>(webViewWidget(view));
    gtk_box_pack_end(GTK_BOX(box_), content_.get(), TRUE, TRUE, 0);
    gtk_widget_show(content_.get());
  }
  void show() override { request(true); }
  void hide() override { request(false); }
  bool isVisible() override {
    if (pending_)
      return wantVisible_;
    return gtk_widget_get_visible(GTK_WIDGET(window_.get()));
  }
  Rect frame() override {
    Size size = contentSize();
    int x = 0, y = 0;
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_.get()));
    if (gdkWindow && gtk_widget_get_mapped(GTK_WIDGET(window_.get())))
      gdk_window_get_origin(gdkWindow, &x, &y); // the client area, inside the WM's frame
    else
      gtk_window_get_position(window_.get(), &x, &y);
    y += menuBarHeight();
    return {{double(x), flipY(y, size.height)}, size};
  }
  void setWillCloseCallback(std::function<void()> callback) override {
    willClose_ = std::move(callback);
  }
  bool fillsScreen() override {
    return (state_ & (GDK_WINDOW_STATE_FULLSCREEN | GDK_WINDOW_STATE_MAXIMIZED)) != 0;
  }
  void setFrameChangeCallback(std::function<void()> callback) override {
    frameChanged_ = std::move(callback);
  }

  void installMenuBar() override {
    if (menuBar_)
      gtk_widget_destroy(menuBar_);
    if (accelerators_)
      gtk_window_remove_accel_group(window_.get(), accelerators_.get());
    accelerators_.reset(gtk_accel_group_new());
    gtk_window_add_accel_group(window_.get(), accelerators_.get());
    menuBar_ = buildMenuBarFor(app_, this, accelerators_.get());
    gtk_box_pack_start(GTK_BOX(box_), menuBar_, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(box_), menuBar_, 0);
    gtk_widget_show_all(menuBar_);
    applySizes();
  }
  void performClose() override {
    if (!gtk_widget_get_visible(GTK_WIDGET(window_.get())))
      return;
    if (willClose_)
      willClose_();
    gtk_widget_hide(GTK_WIDGET(window_.get()));
    app_.lastWindowMayHaveClosed();
  }
  WebView* contentWebView() override {
    return content_ ? webViewOfWidget(content_.get()) : nullptr;
  }
  GtkWindow* gtkWindow() override { return window_.get(); }

private:
  int menuBarHeight() {
    if (!menuBar_ || !gtk_widget_get_visible(menuBar_))
      return 0;
    if (gtk_widget_get_mapped(menuBar_))
      return gtk_widget_get_allocated_height(menuBar_);
    int natural = 0;
    gtk_widget_get_preferred_height(menuBar_, nullptr, &natural);
    return natural;
  }
  // The web view's size once it is on screen; before that, the size it is
  // going to get.
  Size contentSize() {
    GtkWidget* view = content_.get();
    if (view && gtk_widget_get_mapped(view))
      return {double(gtk_widget_get_allocated_width(view)),
              double(gtk_widget_get_allocated_height(view))};
    if (!gtk_widget_get_realized(GTK_WIDGET(window_.get())))
      return contentSize_;
    int w = 0, h = 0;
    gtk_window_get_size(window_.get(), &w, &h);
    return {double(w), double(std::max(0, h - menuBarHeight()))};
  }
  // The window holds the menu bar and the content; only the content has the
  // sizes the system asks for.
  void applySizes() {
    int bar = menuBarHeight();
    if (!gtk_widget_get_realized(GTK_WIDGET(window_.get())))
      gtk_window_set_default_size(window_.get(), int(contentSize_.width),
                                  int(contentSize_.height) + bar);
    GdkGeometry hints{};
    hints.min_width = int(minContentSize_.width);
    hints.min_height = int(minContentSize_.height) + bar;
    gtk_window_set_geometry_hints(window_.get(), nullptr, &hints, GDK_HINT_MIN_SIZE);
  }

  // Showing is applied on a later turn, and only the last request counts:
  // a window shown and hidden again during launch never reaches the screen.
  void request(bool visible) {
    wantVisible_ = visible;
    if (!pending_)
      pending_ = g_idle_add(&GtkMainWindow::apply, this);
  }
  static gboolean apply(gpointer data) {
    auto* self = static_cast<GtkMainWindow*>(data);
    self->pending_ = 0;
    if (self->wantVisible_)
      self->present();
    else
      gtk_widget_hide(GTK_WIDGET(self->window_.get()));
    return G_SOURCE_REMOVE;
  }
  // A fresh server timestamp: the window comes to the front also when the
  // request did not start from an input event of ours (the ball, a second
  // start), which window managers would otherwise treat as focus stealing.
  void present() {
    GdkWindow* gdkWindow = gtk_widget_get_window(GTK_WIDGET(window_.get()));
    if (gdkWindow && GDK_IS_X11_WINDOW(gdkWindow))
      gtk_window_present_with_time(window_.get(), gdk_x11_get_server_time(gdkWindow));
    else
      gtk_window_present(window_.get());
  }
  void reportFrame() {
    if (frameChanged_)
      frameChanged_();
  }
  static gboolean onState(GtkWidget*, GdkEventWindowState* event, gpointer data) {
    auto* self = static_cast<GtkMainWindow*>(data);
    self->state_ = event->new_window_state;
    self->reportFrame();
    return FALSE;
  }
  static void onAllocate(GtkWidget*, GdkRectangle*, gpointer data) {
    static_cast<GtkMainWindow*>(data)->reportFrame();
  }
  // A move without a new size.
  static gboolean onConfigure(GtkWidget*, GdkEvent*, gpointer data) {
    static_cast<GtkMainWindow*>(data)->reportFrame();
    return FALSE;
  }
  static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer data) {
    static_cast<GtkMainWindow*>(data)->performClose();
    return TRUE;
  }

  GtkApp& app_;
  // Let go after the destructor has destroyed the window.
  GObjectPtr<GtkWindow> window_;
  GtkWidget* box_ = nullptr;
  GtkWidget* menuBar_ = nullptr;
  GObjectPtr<GtkAccelGroup> accelerators_;
  // The web view's widget, held: the web view itself is not the window's
  // and may go first, and is asked for through the widget each time.
  GObjectRef<GtkWidget> content_;
  Size contentSize_;
  Size minContentSize_{0, 0};
  std::function<void()> willClose_;
  std::function<void()> frameChanged_;
  GdkWindowState state_ = GdkWindowState(0);
  bool wantVisible_ = false;
  guint pending_ = 0;
};

} // namespace

std::unique_ptr<Window> makeWindow(GtkApp& app, const Rect& contentRect) {
  return std::make_unique<GtkMainWindow>(app, contentRect);
}

} // namespace platform::gtk
