#include "platform/gtk/GtkInternal.h"

namespace platform::gtk {
namespace {

class GtkMainWindow final : public Window, public MainWindowHost {
public:
  GtkMainWindow(GtkApp& app, const Rect& contentRect) : app_(app) {
    window_ = GTK_WINDOW(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    g_object_ref_sink(window_);
    gtk_window_set_default_size(window_, int(contentRect.size.width),
                                int(contentRect.size.height));
    gtk_window_move(window_, int(contentRect.origin.x),
                    int(flipY(contentRect.origin.y, contentRect.size.height)));
    box_ = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window_), box_);
    gtk_widget_show(box_);
    g_signal_connect(window_, "delete-event", G_CALLBACK(&GtkMainWindow::onDelete), this);
    app_.addWindow(this);
  }
  ~GtkMainWindow() override {
    if (pending_)
      g_source_remove(pending_);
    app_.removeWindow(this);
    g_signal_handlers_disconnect_by_data(window_, this);
    gtk_widget_destroy(GTK_WIDGET(window_));
    g_object_unref(window_);
  }

  void setTitle(const std::string& title) override {
    gtk_window_set_title(window_, title.c_str());
  }
  std::string title() override {
    const char* t = gtk_window_get_title(window_);
    return t ? t : "";
  }
  void setMinSize(Size size) override {
    GdkGeometry hints{};
    hints.min_width = int(size.width);
    hints.min_height = int(size.height);
    gtk_window_set_geometry_hints(window_, nullptr, &hints, GDK_HINT_MIN_SIZE);
  }
  void center() override { gtk_window_set_position(window_, GTK_WIN_POS_CENTER); }
  void setContentView(WebView& view) override {
    if (content_)
      gtk_container_remove(GTK_CONTAINER(box_), webViewWidget(*content_));
    content_ = &view;
    GtkWidget* widget = webViewWidget(view);
    gtk_box_pack_end(GTK_BOX(box_), widget, TRUE, TRUE, 0);
    gtk_widget_show(widget);
  }
  void makeKeyAndOrderFront() override { request(true); }
  void orderOut() override { request(false); }
  bool isVisible() override {
    if (pending_)
      return wantVisible_;
    return gtk_widget_get_visible(GTK_WIDGET(window_));
  }
  Rect frame() override {
    int x = 0, y = 0, w = 0, h = 0;
    gtk_window_get_position(window_, &x, &y);
    gtk_window_get_size(window_, &w, &h);
    return {{double(x), flipY(y, h)}, {double(w), double(h)}};
  }
  void setWillCloseCallback(std::function<void()> callback) override {
    willClose_ = std::move(callback);
  }

  void installMenuBar() override {
    if (menuBar_)
      gtk_widget_destroy(menuBar_);
    if (accelerators_) {
      gtk_window_remove_accel_group(window_, accelerators_);
      g_object_unref(accelerators_);
    }
    accelerators_ = gtk_accel_group_new();
    gtk_window_add_accel_group(window_, accelerators_);
    menuBar_ = buildMenuBarFor(app_, this, accelerators_);
    gtk_box_pack_start(GTK_BOX(box_), menuBar_, FALSE, FALSE, 0);
    gtk_box_reorder_child(GTK_BOX(box_), menuBar_, 0);
    gtk_widget_show_all(menuBar_);
  }
  void performClose() override {
    if (!gtk_widget_get_visible(GTK_WIDGET(window_)))
      return;
    if (willClose_)
      willClose_();
    gtk_widget_hide(GTK_WIDGET(window_));
    app_.lastWindowMayHaveClosed();
  }
  WebView* contentWebView() override { return content_; }
  GtkWindow* gtkWindow() override { return window_; }

private:
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
      gtk_window_present(self->window_);
    else
      gtk_widget_hide(GTK_WIDGET(self->window_));
    return G_SOURCE_REMOVE;
  }
  static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer data) {
    static_cast<GtkMainWindow*>(data)->performClose();
    return TRUE;
  }

  GtkApp& app_;
  GtkWindow* window_ = nullptr;
  GtkWidget* box_ = nullptr;
  GtkWidget* menuBar_ = nullptr;
  GtkAccelGroup* accelerators_ = nullptr;
  WebView* content_ = nullptr;
  std::function<void()> willClose_;
  bool wantVisible_ = false;
  guint pending_ = 0;
};

} // namespace

std::unique_ptr<Window> makeWindow(GtkApp& app, const Rect& contentRect) {
  return std::make_unique<GtkMainWindow>(app, contentRect);
}

} // namespace platform::gtk
