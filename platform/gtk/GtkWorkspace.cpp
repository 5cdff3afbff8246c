#include "platform/gtk/GtkInternal.h"

#include <gio/gio.h>

#include <cerrno>
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
  Result<void> moveToTrash(const std::filesystem::path& file) override {
    GObjectPtr<GFile> target(g_file_new_for_path(file.c_str()));
    GError* raw = nullptr;
    if (g_file_trash(target.get(), nullptr, &raw))
      return {};
    GErrorPtr error(raw);
    const bool unsupported =
        error && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED);
    return Failure{unsupported ? ENOTSUP : EIO,
                   error && error->message ? error->message : describeError(EIO)};
  }
  Result<void> startDownloading(const std::filesystem::path&) override {
    // No sync engine here keeps place holders for files it has not fetched.
    return Failure{ENOTSUP, describeError(ENOTSUP)};
  }
};

// GIO's monitor (inotify on Linux) of one folder; its signal comes on the
// main context, where it was made.
class GtkFolderMonitor final : public FolderMonitor {
public:
  GtkFolderMonitor(GFileMonitor* monitor, std::function<void()> changed)
      : monitor_(monitor), changed_(std::move(changed)) {
    handler_ =
        g_signal_connect(monitor_.get(), "changed", G_CALLBACK(&GtkFolderMonitor::onChanged), this);
  }
  ~GtkFolderMonitor() override {
    g_signal_handler_disconnect(monitor_.get(), handler_);
    g_file_monitor_cancel(monitor_.get());
  }
  GtkFolderMonitor(const GtkFolderMonitor&) = delete;
  GtkFolderMonitor& operator=(const GtkFolderMonitor&) = delete;

private:
  static void onChanged(GFileMonitor*, GFile*, GFile*, GFileMonitorEvent, gpointer self) {
    static_cast<GtkFolderMonitor*>(self)->changed_();
  }
  GObjectPtr<GFileMonitor> monitor_;
  std::function<void()> changed_;
  gulong handler_ = 0;
};

} // namespace

std::unique_ptr<FolderMonitor> makeFolderMonitor(const std::filesystem::path& folder,
                                                 std::function<void()> changed) {
  if (!changed)
    return nullptr;
  GObjectPtr<GFile> file(g_file_new_for_path(folder.c_str()));
  GFileMonitor* monitor =
      g_file_monitor_directory(file.get(), G_FILE_MONITOR_WATCH_MOVES, nullptr, nullptr);
  if (!monitor)
    return nullptr;
  return std::make_unique<GtkFolderMonitor>(monitor, std::move(changed));
}

std::unique_ptr<Workspace> makeWorkspace() {
  return std::make_unique<GtkWorkspace>();
}

} // namespace platform::gtk
