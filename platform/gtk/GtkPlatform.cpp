#include "platform/gtk/GtkInternal.h"

#include <climits>
#include <cstdlib>
#include <deque>
#include <string>
#include <system_error>

// The platform object: the main queue and the environment live here; each
// other area is made by its own file.

namespace platform::gtk {
namespace {

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

class GtkPlatform final : public Platform {
public:
  GtkPlatform(int argc, char** argv, const Identity& identity)
      : app_(makeApplication(argc, argv, identity)), environment_(makeEnvironment()),
        folders_(xdgStoreFolders(identity.folderName, g_get_user_config_dir(),
                                 g_get_user_data_dir(), g_get_user_cache_dir())),
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
  return std::make_unique<gtk::GtkPlatform>(argc, argv, identity);
}

} // namespace platform
