#include "platform/gtk/GtkInternal.h"

#include <gio/gio.h>

#include <string>

namespace platform::gtk {
namespace {

class GtkWorkspace final : public Workspace {
public:
  void openURL(const std::string& url) override {
    g_app_info_launch_default_for_uri(url.c_str(), nullptr, nullptr);
  }
  void revealFile(const std::filesystem::path& file) override {
    GCharPtr uri(g_filename_to_uri(file.c_str(), nullptr, nullptr));
    if (!uri)
      return;
    bool shown = false;
    if (GObjectPtr<GDBusConnection> bus{g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr)}) {
      const gchar* uris[] = {uri.get(), nullptr};
      // The call takes the floating parameters.
      GVariantPtr reply(g_dbus_connection_call_sync(
          bus.get(), "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1",
          "org.freedesktop.FileManager1", "ShowItems", g_variant_new("(^ass)", uris, ""), nullptr,
          G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr));
      shown = reply != nullptr;
    }
    if (!shown)
      if (GCharPtr folder{g_filename_to_uri(file.parent_path().c_str(), nullptr, nullptr)})
        g_app_info_launch_default_for_uri(folder.get(), nullptr, nullptr);
  }
};

} // namespace

std::unique_ptr<Workspace> makeWorkspace() {
  return std::make_unique<GtkWorkspace>();
}

} // namespace platform::gtk
