#include "platform/MessageLanguage.h"
#include "platform/TaskQueue.h"
#include "platform/gtk/GtkInternal.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <limits>
#include <string>
#include <system_error>

// The platform object: the main queue and the environment live here; each
// other area is made by its own file.

namespace platform::gtk {
namespace {

// A source of its own that is ready while work waits and runs one piece a
// turn. It may be dispatched again from inside its own dispatch: a modal
// panel (gtk_dialog_run, gtk_native_dialog_run) runs a nested loop, and the
// work posted meanwhile (replies to the page, counts for the ball, page
// recovery) goes on in order while the panel is up. An idle source would
// wait for the panel to close.
class GtkMainQueue final : public MainQueue {
public:
  GtkMainQueue() : source_(g_source_new(&FUNCS, sizeof(Source))) {
    reinterpret_cast<Source*>(source_.get())->tasks = &tasks_;
    g_source_set_priority(source_.get(), G_PRIORITY_DEFAULT_IDLE);
    g_source_set_can_recurse(source_.get(), TRUE);
    g_source_attach(source_.get(), nullptr);
  }
  ~GtkMainQueue() override { g_source_destroy(source_.get()); }
  void post(std::function<void()> work) override {
    tasks_.push(std::move(work));
    // A poll that is already waiting learns of the work; from another
    // thread nothing else would wake it.
    g_main_context_wakeup(nullptr);
  }
  void postAfter(std::chrono::milliseconds delay, std::function<void()> work) override {
    if (!work)
      return;
    const auto ms = static_cast<guint>(std::clamp<std::chrono::milliseconds::rep>(
        delay.count(), 0, std::numeric_limits<guint>::max()));
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, ms,
        [](gpointer data) -> gboolean {
          (*static_cast<std::function<void()>*>(data))();
          return G_SOURCE_REMOVE;
        },
        new std::function<void()>(std::move(work)),
        [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
  }

private:
  struct Source {
    GSource base;
    TaskQueue* tasks;
  };
  static TaskQueue& tasksOf(GSource* source) { return *reinterpret_cast<Source*>(source)->tasks; }
  static gboolean prepare(GSource* source, gint* timeout) {
    *timeout = -1;
    return !tasksOf(source).empty();
  }
  static gboolean check(GSource* source) { return !tasksOf(source).empty(); }
  static gboolean dispatch(GSource* source, GSourceFunc, gpointer) {
    tasksOf(source).runOne();
    return G_SOURCE_CONTINUE;
  }
  static inline GSourceFuncs FUNCS{&prepare, &check, &dispatch, nullptr, nullptr, nullptr};

  TaskQueue tasks_;
  GOwned<GSource, g_source_unref> source_;
};

// systemd's machine id, or D-Bus's where there is no systemd: made once when
// the system is installed, and another on every other machine.
std::string machineIdentity() {
  for (const char* file : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    gchar* raw = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(file, &raw, &length, nullptr))
      continue;
    GCharPtr text(raw);
    std::string id(text.get(), length);
    while (!id.empty() && (id.back() == '\n' || id.back() == ' '))
      id.pop_back();
    if (!id.empty())
      return id;
  }
  return {};
}

Environment makeEnvironment() {
  Environment env;
  env.kind = "linux";
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
  // GLib hands a relative $XDG_CONFIG_HOME on as it is; such a folder names
  // nothing fixed, and the base directory rules say to use the default then.
  auto absoluteOr = [](std::filesystem::path given, std::filesystem::path fallback) {
    return given.is_absolute() ? given : fallback;
  };
  env.configDirectory = absoluteOr(g_get_user_config_dir(), env.homeDirectory / ".config");
  env.dataDirectory = absoluteOr(g_get_user_data_dir(), env.homeDirectory / ".local" / "share");
  // Not g_get_user_runtime_dir: unset, it falls back to the cache folder,
  // which nothing promises to be this user's alone.
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      runtime && std::filesystem::path(runtime).is_absolute())
    env.runtimeDirectory = runtime;
  env.temporaryDirectory = g_get_tmp_dir();
  env.machineIdentity = machineIdentity();
  env.computerName = [] { return std::string(g_get_host_name()); };
  return env;
}

class GtkPlatform final : public Platform {
public:
  GtkPlatform(int argc, char** argv, const Identity& identity)
      : app_(makeApplication(argc, argv, identity)), environment_(makeEnvironment()),
        // From the folders the environment tells the rest of the app, so the
        // one-copy lock and the leftovers' sweep find the same stores.
        folders_(xdgStoreFolders(identity.folderName, environment_.configDirectory,
                                 environment_.dataDirectory, g_get_user_cache_dir())),
        defaults_(makeDefaults(folders_.settingsFile)), screens_(makeScreens()),
        dialogs_(makeDialogs()), workspace_(makeWorkspace()) {}
  Application& application() override { return *app_; }
  MainQueue& mainQueue() override { return queue_; }
  Defaults& defaults() override { return *defaults_; }
  Screens& screens() override { return *screens_; }
  Dialogs& dialogs() override { return *dialogs_; }
  Workspace& workspace() override { return *workspace_; }
  const Environment& environment() override { return environment_; }
  std::unique_ptr<Window> createWindow(const Rect& contentRect) override {
    return makeWindow(*app_, contentRect);
  }
  std::unique_ptr<Panel> createPanel(const Rect& contentRect,
                                     const PanelSettings& settings) override {
    return makePanel(contentRect, settings);
  }
  std::unique_ptr<View> createView(const Rect& frame) override { return makeView(frame); }
  std::shared_ptr<WebView> createWebView(const WebViewConfiguration& configuration) override {
    return makeWebView(configuration, folders_);
  }
  std::unique_ptr<FolderMonitor> watchFolder(const std::filesystem::path& folder,
                                             std::function<void()> changed) override {
    return makeFolderMonitor(folder, std::move(changed));
  }

private:
  std::unique_ptr<GtkApp> app_;
  Environment environment_;
  StoreFolders folders_;
  GtkMainQueue queue_;
  std::unique_ptr<Defaults> defaults_;
  std::unique_ptr<Screens> screens_;
  std::unique_ptr<Dialogs> dialogs_;
  std::unique_ptr<Workspace> workspace_;
};

} // namespace
} // namespace platform::gtk

namespace platform {

std::string describeError(int errorNumber) {
  return g_strerror(errorNumber);
}

std::unique_ptr<Platform> makePlatform(int argc, char** argv, const Identity& identity) {
  // The ball is placed with absolute coordinates, which only X11 offers.
  gdk_set_allowed_backends("x11");
  // Before GTK reads the locale, which it does once, at its start.
  auto variable = [](const char* name) -> std::optional<std::string> {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
  };
  for (const auto& [name, value] : messageLanguageSettings(identity.language, variable))
    ::setenv(name.c_str(), value.c_str(), 1);
  // What panels are titled, where they are given no title of their own.
  g_set_application_name(identity.title.c_str());
  return std::make_unique<gtk::GtkPlatform>(argc, argv, identity);
}

} // namespace platform
