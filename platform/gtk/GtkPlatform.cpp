#include "platform/gtk/GtkInternal.h"

#include "platform/RegularFile.h"

#include <gio/gio.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

namespace platform::gtk {

double primaryScreenHeight() {
  GdkDisplay* display = gdk_display_get_default();
  if (!display)
    return 0;
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (!monitor)
    monitor = gdk_display_get_monitor(display, 0);
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

// ---- main queue ---------------------------------------------------------------

// One idle source drains a FIFO, so work runs in posting order even when a
// task posts more work.
class GtkMainQueue final : public MainQueue {
public:
  ~GtkMainQueue() override {
    if (source_)
      g_source_remove(source_);
  }
  void post(std::function<void()> work) override {
    tasks_.push_back(std::move(work));
    if (!source_)
      source_ = g_idle_add(&GtkMainQueue::drain, this);
  }

private:
  static gboolean drain(gpointer data) {
    auto* self = static_cast<GtkMainQueue*>(data);
    // Only what was queued before this turn; later posts wait for the next one.
    std::size_t count = self->tasks_.size();
    for (std::size_t i = 0; i < count && !self->tasks_.empty(); ++i) {
      std::function<void()> task = std::move(self->tasks_.front());
      self->tasks_.pop_front();
      if (task)
        task();
    }
    if (self->tasks_.empty()) {
      self->source_ = 0;
      return G_SOURCE_REMOVE;
    }
    return G_SOURCE_CONTINUE;
  }
  std::deque<std::function<void()>> tasks_;
  guint source_ = 0;
};

// ---- defaults -----------------------------------------------------------------

class GtkDefaults final : public Defaults {
public:
  explicit GtkDefaults(std::filesystem::path file) : file_(std::move(file)) {}
  std::optional<std::string> stringForKey(const std::string& key) override {
    load();
    GCharPtr value(g_key_file_get_string(keys_.get(), GROUP, key.c_str(), nullptr));
    if (!value)
      return std::nullopt;
    return std::string(value.get());
  }
  void setString(const std::string& key, const std::string& value) override {
    load();
    g_key_file_set_string(keys_.get(), GROUP, key.c_str(), value.c_str());
    // A file that is there but could not be read holds settings this run
    // never saw; writing would replace them. The change is kept for this run
    // only, as when any write fails.
    if (unreadable_)
      return;
    gsize length = 0;
    GCharPtr data(g_key_file_to_data(keys_.get(), &length, nullptr));
    std::error_code ignored;
    std::filesystem::create_directories(file_.parent_path(), ignored);
    // g_file_set_contents writes a temporary file and renames it over the old
    // one, so a crash never leaves half a settings file.
    g_file_set_contents(file_.c_str(), data.get(), gssize(length), nullptr);
  }

private:
  static constexpr const char* GROUP = "defaults";
  void load() {
    if (keys_)
      return;
    keys_.reset(g_key_file_new());
    // Read like the web files, so that a FIFO or a device in its place can
    // never hold up the start.
    int error = 0;
    std::optional<std::string> text = readRegularFile(file_, MAX_SETTINGS_BYTES, &error);
    GError* failure = nullptr;
    if (!text || !g_key_file_load_from_data(keys_.get(), text->data(), text->size(),
                                            G_KEY_FILE_KEEP_COMMENTS, &failure)) {
      GErrorPtr ignored(failure);
      // Only a file that is not there is an empty store; anything else (no
      // rights, a folder, a FIFO, text the key file format rejects) is
      // unreadable, and none of what a partial read gave is used.
      unreadable_ = text || error != ENOENT;
      keys_.reset(g_key_file_new());
    }
  }
  // Two short lines are all the app keeps here.
  static constexpr std::size_t MAX_SETTINGS_BYTES = 1024 * 1024;
  std::filesystem::path file_;
  GKeyFilePtr keys_;
  bool unreadable_ = false;
};

Environment makeEnvironment() {
  Environment env;
  env.kind = SystemKind::Linux;
  env.homeDirectory = g_get_home_dir();
  if (const char* downloads = g_get_user_special_dir(G_USER_DIRECTORY_DOWNLOAD))
    env.downloadsDirectory = std::filesystem::path(downloads);
  else
    env.downloadsDirectory = env.homeDirectory / "Downloads";
  char resolved[PATH_MAX];
  if (realpath("/proc/self/exe", resolved))
    env.executablePath = resolved;
  env.bundlePath = env.executablePath.parent_path();
  std::error_code ec;
  std::filesystem::path resources = env.bundlePath / "resources";
  if (std::filesystem::is_directory(resources, ec))
    env.resourceDirectory = resources;
  env.applicationsDirectory = env.homeDirectory / "Applications";
  env.configDirectory = g_get_user_config_dir();
  env.dataDirectory = g_get_user_data_dir();
  return env;
}

// ---- screens ------------------------------------------------------------------

class GtkScreens final : public Screens {
public:
  std::optional<Rect> mainVisibleFrame() override {
    GdkDisplay* display = gdk_display_get_default();
    if (!display)
      return std::nullopt;
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor)
      monitor = gdk_display_get_monitor(display, 0);
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
};

// ---- dialogs ------------------------------------------------------------------

class GtkDialogs final : public Dialogs {
public:
  std::optional<std::filesystem::path> runSavePanel(const SavePanelOptions& options) override {
    GObjectPtr<GtkFileChooserNative> chooser(gtk_file_chooser_native_new(
        nullptr, nullptr, GTK_FILE_CHOOSER_ACTION_SAVE, nullptr, nullptr));
    GtkFileChooser* fc = GTK_FILE_CHOOSER(chooser.get());
    gtk_file_chooser_set_do_overwrite_confirmation(fc, TRUE);
    gtk_file_chooser_set_create_folders(fc, options.canCreateDirectories);
    if (options.directory)
      gtk_file_chooser_set_current_folder(fc, options.directory->c_str());
    gtk_file_chooser_set_current_name(fc, options.nameFieldValue.c_str());
    std::optional<std::filesystem::path> result;
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser.get())) == GTK_RESPONSE_ACCEPT)
      if (GCharPtr name{gtk_file_chooser_get_filename(fc)})
        result = std::filesystem::path(name.get());
    return result;
  }

  std::optional<std::vector<std::filesystem::path>>
  runOpenPanel(const OpenPanelOptions& options) override {
    GtkFileChooserAction action = options.canChooseDirectories && !options.canChooseFiles
                                      ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER
                                      : GTK_FILE_CHOOSER_ACTION_OPEN;
    GObjectPtr<GtkFileChooserNative> chooser(
        gtk_file_chooser_native_new(nullptr, nullptr, action, nullptr, nullptr));
    GtkFileChooser* fc = GTK_FILE_CHOOSER(chooser.get());
    gtk_file_chooser_set_select_multiple(fc, options.allowsMultipleSelection);
    std::optional<std::vector<std::filesystem::path>> result;
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser.get())) == GTK_RESPONSE_ACCEPT) {
      std::vector<std::filesystem::path> files;
      GSList* names = gtk_file_chooser_get_filenames(fc);
      for (GSList* n = names; n; n = n->next) {
        GCharPtr name(static_cast<gchar*>(n->data));
        files.emplace_back(name.get());
      }
      // The names are given back above; only the list's cells are left.
      g_slist_free(names);
      result = std::move(files);
    }
    return result;
  }

  void runAlert(const std::string& message, const std::string& informative) override {
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                                               GTK_BUTTONS_OK, "%s", message.c_str());
    if (!informative.empty())
      gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                               informative.c_str());
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
  }

  AlertButton runAlertWithButtons(const std::string& message, const std::string& informative,
                                  const std::string& firstButton,
                                  const std::string& secondButton) override {
    enum { FIRST = 1, SECOND = 2 };
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_WARNING,
                                               GTK_BUTTONS_NONE, "%s", message.c_str());
    if (!informative.empty())
      gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(dialog), "%s",
                                               informative.c_str());
    // In GNOME's order the default button comes last, on the right.
    gtk_dialog_add_button(GTK_DIALOG(dialog), secondButton.c_str(), SECOND);
    gtk_dialog_add_button(GTK_DIALOG(dialog), firstButton.c_str(), FIRST);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), FIRST);
    gtk_window_set_keep_above(GTK_WINDOW(dialog), TRUE);
    int response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return response == SECOND ? AlertButton::Second : AlertButton::First;
  }
};

// ---- workspace ----------------------------------------------------------------

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

// ---- application --------------------------------------------------------------

struct MenuAction {
  class GtkApplicationImpl* app;
  MainWindowHost* host;
  std::string action;
};

class GtkApplicationImpl final : public GtkApp {
public:
  GtkApplicationImpl(int argc, char** argv, const Identity& identity) : title_(identity.title) {
    for (int i = 0; i < argc; ++i)
      arguments_.emplace_back(argv[i] ? argv[i] : "");
    argv0_ = arguments_.empty() ? identity.folderName : arguments_.front();
    app_.reset(gtk_application_new(identity.applicationId.c_str(), G_APPLICATION_DEFAULT_FLAGS));
    g_signal_connect(app_.get(), "activate", G_CALLBACK(&GtkApplicationImpl::onActivate), this);
  }

  std::vector<std::string> arguments() override { return arguments_; }
  void setDelegate(ApplicationDelegate* delegate) override { delegate_ = delegate; }

  bool registerFirstCopy() override {
    GApplication* app = G_APPLICATION(app_.get());
    if (!g_application_get_is_registered(app) && !g_application_register(app, nullptr, nullptr)) {
      // No session bus: still start, just without the bus's one-copy rule.
      g_application_set_flags(app, G_APPLICATION_NON_UNIQUE);
      return true;
    }
    return !g_application_get_is_remote(app);
  }

  int run() override {
    registerFirstCopy();
    // GOption must not see our own arguments such as --ball-only.
    char* argv[] = {argv0_.data(), nullptr};
    return g_application_run(G_APPLICATION(app_.get()), 1, argv);
  }
  void setActivationPolicyRegular() override {}
  void activateIgnoringOtherApps() override {}
  void terminate() override { g_application_quit(G_APPLICATION(app_.get())); }
  void setIconFile(const std::filesystem::path& file) override {
    // Every window and dialog of the app; a missing file keeps GTK's default.
    gtk_window_set_default_icon_from_file(file.c_str(), nullptr);
  }

  void setMainMenu(const MenuBar& menu) override {
    menu_ = menu;
    for (MainWindowHost* host : windows_)
      installMenuBar(host);
  }

  void addWindow(MainWindowHost* host) override {
    windows_.push_back(host);
    gtk_application_add_window(app_.get(), host->gtkWindow());
    installMenuBar(host);
  }
  void removeWindow(MainWindowHost* host) override {
    windows_.erase(std::remove(windows_.begin(), windows_.end(), host), windows_.end());
  }
  bool launching() const override { return launching_; }
  void lastWindowMayHaveClosed() override {
    if (!delegate_ || !delegate_->applicationShouldTerminateAfterLastWindowClosed())
      return;
    for (GList* w = gtk_window_list_toplevels(); w; w = w->next)
      if (gtk_widget_get_visible(GTK_WIDGET(w->data)))
        return;
    terminate();
  }

  GtkWidget* buildMenuBar(MainWindowHost* host, GtkAccelGroup* accelerators) {
    GtkWidget* bar = gtk_menu_bar_new();
    for (const Menu& menu : menu_) {
      GtkWidget* top =
          gtk_menu_item_new_with_label(menu.title.empty() ? title_.c_str() : menu.title.c_str());
      GtkWidget* sub = gtk_menu_new();
      gtk_menu_set_accel_group(GTK_MENU(sub), accelerators);
      for (const MenuItem& item : menu.items) {
        if (item.separator) {
          gtk_menu_shell_append(GTK_MENU_SHELL(sub), gtk_separator_menu_item_new());
          continue;
        }
        GtkWidget* entry = gtk_menu_item_new_with_label(item.title.c_str());
        if (!item.keyEquivalent.empty()) {
          gunichar c = g_utf8_get_char(item.keyEquivalent.c_str());
          GdkModifierType mods = GDK_CONTROL_MASK;
          if (g_unichar_isupper(c))
            mods = GdkModifierType(mods | GDK_SHIFT_MASK);
          guint key = gdk_unicode_to_keyval(g_unichar_tolower(c));
          gtk_widget_add_accelerator(entry, "activate", accelerators, key, mods, GTK_ACCEL_VISIBLE);
        }
        auto* data = new MenuAction{this, host, item.action};
        g_signal_connect_data(entry, "activate", G_CALLBACK(&GtkApplicationImpl::onMenuItem), data,
                              &GtkApplicationImpl::freeMenuAction, GConnectFlags(0));
        gtk_menu_shell_append(GTK_MENU_SHELL(sub), entry);
      }
      gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), sub);
      gtk_menu_shell_append(GTK_MENU_SHELL(bar), top);
    }
    return bar;
  }

  void perform(MainWindowHost* host, const std::string& action) {
    if (action == "performClose:") {
      if (host)
        host->performClose();
    } else if (action == "terminate:") {
      terminate();
    } else if (host && host->contentWebView() &&
               runEditingCommand(*host->contentWebView(), action)) {
    } else if (delegate_) {
      delegate_->performAction(action);
    }
  }

private:
  void installMenuBar(MainWindowHost* host) {
    if (menu_.empty())
      return;
    host->installMenuBar();
  }

  static void onMenuItem(GtkMenuItem*, gpointer data) {
    auto* item = static_cast<MenuAction*>(data);
    item->app->perform(item->host, item->action);
  }
  static void freeMenuAction(gpointer data, GClosure*) { delete static_cast<MenuAction*>(data); }

  static void onActivate(GtkApplication*, gpointer data) {
    auto* self = static_cast<GtkApplicationImpl*>(data);
    if (!self->launched_) {
      self->launched_ = true;
      // Keep running with every window hidden: the ball may be all there is.
      g_application_hold(G_APPLICATION(self->app_.get()));
      self->launching_ = true;
      if (self->delegate_)
        self->delegate_->applicationDidFinishLaunching();
      self->launching_ = false;
      return;
    }
    bool visible = false;
    for (MainWindowHost* host : self->windows_)
      visible = visible || gtk_widget_get_visible(GTK_WIDGET(host->gtkWindow()));
    if (self->delegate_)
      self->delegate_->applicationShouldHandleReopen(visible);
  }

  std::vector<std::string> arguments_;
  std::string title_;
  std::string argv0_;
  GObjectPtr<GtkApplication> app_;
  ApplicationDelegate* delegate_ = nullptr;
  MenuBar menu_;
  std::vector<MainWindowHost*> windows_;
  bool launched_ = false;
  bool launching_ = false;
};

// ---- the platform ---------------------------------------------------------------

class GtkPlatform final : public Platform {
public:
  GtkPlatform(int argc, char** argv, const Identity& identity)
      : app_(argc, argv, identity), environment_(makeEnvironment()),
        folders_(xdgStoreFolders(identity.folderName, g_get_user_config_dir(),
                                 g_get_user_data_dir(), g_get_user_cache_dir())),
        defaults_(folders_.settingsFile) {}
  Application& application() override { return app_; }
  MainQueue& mainQueue() override { return queue_; }
  Defaults& defaults() override { return defaults_; }
  Screens& screens() override { return screens_; }
  Dialogs& dialogs() override { return dialogs_; }
  Workspace& workspace() override { return workspace_; }
  const Environment& environment() override { return environment_; }
  std::unique_ptr<Window> createWindow(const Rect& contentRect) override {
    return makeWindow(app_, contentRect);
  }
  std::unique_ptr<Panel> createPanel(const Rect& contentRect,
                                     const PanelSettings& settings) override {
    return makePanel(contentRect, settings);
  }
  std::unique_ptr<View> createView(const Rect& frame) override { return makeView(frame); }
  std::shared_ptr<WebView> createWebView(const WebViewConfiguration& configuration) override {
    return makeWebView(configuration, folders_);
  }

private:
  GtkApplicationImpl app_;
  Environment environment_;
  StoreFolders folders_;
  GtkMainQueue queue_;
  GtkDefaults defaults_;
  GtkScreens screens_;
  GtkDialogs dialogs_;
  GtkWorkspace workspace_;
};

} // namespace

GtkWidget* buildMenuBarFor(GtkApp& app, MainWindowHost* host, GtkAccelGroup* accelerators) {
  return static_cast<GtkApplicationImpl&>(app).buildMenuBar(host, accelerators);
}

} // namespace platform::gtk

namespace platform {

std::string describeError(int errorNumber) {
  return g_strerror(errorNumber);
}

std::unique_ptr<Platform> makePlatform(int argc, char** argv, const Identity& identity) {
  // The ball is placed with absolute coordinates, which only X11 offers.
  gdk_set_allowed_backends("x11");
  return std::make_unique<gtk::GtkPlatform>(argc, argv, identity);
}

} // namespace platform
