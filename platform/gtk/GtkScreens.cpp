#include "platform/gtk/GtkInternal.h"

#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace platform::gtk {

GdkMonitor* primaryMonitor(GdkDisplay* display) {
  if (!display)
    return nullptr;
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  return monitor ? monitor : gdk_display_get_monitor(display, 0);
}

double primaryScreenHeight() {
  GdkMonitor* monitor = primaryMonitor(gdk_display_get_default());
  if (!monitor)
    return 0;
  GdkRectangle geometry;
  gdk_monitor_get_geometry(monitor, &geometry);
  return geometry.y + geometry.height;
}

namespace {

Rect appKitRect(const GdkRectangle& r) {
  return {{double(r.x), flipY(r.y, r.height)}, {double(r.width), double(r.height)}};
}

class GtkScreens final : public Screens {
public:
  std::optional<Rect> mainVisibleFrame() override {
    GdkMonitor* monitor = primaryMonitor(gdk_display_get_default());
    if (!monitor)
      return std::nullopt;
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    return appKitRect(area);
  }
  std::vector<Rect> visibleFrames() override {
    std::vector<Rect> frames;
    GdkDisplay* display = gdk_display_get_default();
    if (!display)
      return frames;
    int count = gdk_display_get_n_monitors(display);
    for (int i = 0; i < count; ++i) {
      GdkRectangle area;
      gdk_monitor_get_workarea(gdk_display_get_monitor(display, i), &area);
      frames.push_back(appKitRect(area));
    }
    return frames;
  }
  Point pointerLocation() override {
    GdkDisplay* display = gdk_display_get_default();
    if (!display)
      return {};
    GdkSeat* seat = gdk_display_get_default_seat(display);
    GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr;
    if (!pointer)
      return {};
    int x = 0, y = 0;
    gdk_device_get_position(pointer, nullptr, &x, &y);
    return {double(x), primaryScreenHeight() - double(y)};
  }
  void setChangeCallback(std::function<void()> changed) override {
    changed_ = std::move(changed);
    // GDK has its screen only once GTK has started, which is after this
    // object is made.
    GdkScreen* screen = gdk_screen_get_default();
    if (connected_ || !screen)
      return;
    connected_ = true;
    g_signal_connect(screen, "monitors-changed", G_CALLBACK(&GtkScreens::onChanged), this);
  }

private:
  static void onChanged(GdkScreen*, gpointer data) {
    auto* self = static_cast<GtkScreens*>(data);
    if (self->changed_)
      self->changed_();
  }
  std::function<void()> changed_;
  bool connected_ = false;
};

} // namespace

std::unique_ptr<Screens> makeScreens() {
  return std::make_unique<GtkScreens>();
}

} // namespace platform::gtk
