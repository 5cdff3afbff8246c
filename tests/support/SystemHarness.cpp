#include "support/SystemHarness.h"

#include "app/ProductIdentity.h"
#include "platform/gtk/GtkInternal.h"

#include <webkit2/webkit2.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace systest {
namespace {

std::unique_ptr<TempDir>& ownedHome() {
  static std::unique_ptr<TempDir> home;
  return home;
}

fs::path& chosenHome() {
  static fs::path home;
  return home;
}

void setFolder(const char* variable, const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  ::setenv(variable, folder.c_str(), 1);
}

} // namespace

void prepareProcess(const fs::path& home) {
  fs::path chosen = home;
  if (chosen.empty()) {
    ownedHome() = std::make_unique<TempDir>();
    chosen = ownedHome()->path();
  }
  chosenHome() = chosen;
  setFolder("HOME", chosen);
  setFolder("XDG_CONFIG_HOME", chosen / ".config");
  setFolder("XDG_DATA_HOME", chosen / ".local" / "share");
  setFolder("XDG_CACHE_HOME", chosen / ".cache");
  setFolder("XDG_STATE_HOME", chosen / ".local" / "state");
  fs::path runtime = chosen / "runtime";
  setFolder("XDG_RUNTIME_DIR", runtime);
  ::chmod(runtime.c_str(), 0700);
  ::setenv("GSETTINGS_BACKEND", "memory", 1);
  // No accessibility bus: nothing in the tests needs it, and without a
  // session bus it only prints warnings.
  ::setenv("NO_AT_BRIDGE", "1", 1);
  ::setenv("GTK_A11Y", "none", 1);
  // The folder goes away at exit, possibly before the GPU process is done.
  ::setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
}

const fs::path& processHome() {
  return chosenHome();
}

platform::Platform& realPlatform() {
  // Never destroyed: WebKit's processes and GTK outlive any orderly teardown
  // at exit, and the process ends right after the tests anyway.
  static platform::Platform* real = [] {
    static char name[] = "system_tests";
    char* argv[] = {name, nullptr};
    platform::Platform* made = platform::makePlatform(1, argv, productIdentity()).release();
    // What the application's run() does before launching: start the
    // GtkApplication (which also initialises GTK). Non-unique, so a session
    // bus with another instance on it cannot turn this one into a remote.
    GApplication* app = g_application_get_default();
    if (app && !g_application_get_is_registered(app)) {
      g_application_set_flags(
          app, GApplicationFlags(g_application_get_flags(app) | G_APPLICATION_NON_UNIQUE));
      GError* error = nullptr;
      if (!g_application_register(app, nullptr, &error)) {
        std::fprintf(stderr, "system tests: cannot start the application: %s\n",
                     error ? error->message : "?");
        std::abort();
      }
    }
    return made;
  }();
  return *real;
}

bool spinUntil(const std::function<bool()>& done, double timeoutSeconds) {
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::duration<double>(timeoutSeconds);
  GMainContext* context = g_main_context_default();
  // Wakes the loop every 10 ms to look at the predicate and the clock.
  guint tick = g_timeout_add(
      10, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
  while (!done() && Clock::now() < deadline)
    g_main_context_iteration(context, TRUE);
  g_source_remove(tick);
  return done();
}

void spinFor(double seconds) {
  using Clock = std::chrono::steady_clock;
  auto end = Clock::now() + std::chrono::duration<double>(seconds);
  spinUntil([end] { return Clock::now() >= end; }, seconds + 1);
}

// ---- scripted and recording parts ----------------------------------------------

platform::Environment environmentUnder(const fs::path& root) {
  platform::Environment env;
  env.kind = "linux";
  env.homeDirectory = root / "home";
  env.downloadsDirectory = env.homeDirectory / "Downloads";
  env.bundlePath = root / "app" / "Tessaloom";
  env.executablePath = env.bundlePath / "Tessaloom";
  env.resourceDirectory = env.bundlePath / "resources";
  env.applicationsDirectory = env.homeDirectory / "Applications";
  env.configDirectory = env.homeDirectory / ".config";
  env.dataDirectory = env.homeDirectory / ".local" / "share";
  std::error_code ec;
  fs::create_directories(*env.downloadsDirectory, ec);
  fs::create_directories(*env.resourceDirectory, ec);
  fs::create_directories(env.configDirectory, ec);
  fs::create_directories(env.dataDirectory, ec);
  return env;
}

TestPlatform::TestPlatform(const fs::path& root, std::vector<std::string> arguments)
    : env(environmentUnder(root)), app(std::move(arguments), &realPlatform().application()),
      real_(realPlatform()) {
  app.loop = [this] {
    int before = app.terminateCalls;
    spinUntil([&] { return app.terminateCalls != before; }, 1e9);
    return 0;
  };
  // The Trash is the real one, in the throw-away HOME.
  workspaceLog.trash = [this](const fs::path& file) { return real_.workspace().moveToTrash(file); };
}

namespace {

// The real panel; what it is told about floating is also written down.
class RecordingPanel final : public platform::Panel {
public:
  RecordingPanel(std::unique_ptr<platform::Panel> real, std::vector<bool>& floating)
      : real_(std::move(real)), floating_(floating) {}
  void setContentView(platform::View& view) override { real_->setContentView(view); }
  platform::Point frameOrigin() override { return real_->frameOrigin(); }
  void setFrameOrigin(platform::Point origin) override { real_->setFrameOrigin(origin); }
  void raise() override { real_->raise(); }
  void setFloating(bool floating) override {
    floating_.push_back(floating);
    real_->setFloating(floating);
  }

private:
  std::unique_ptr<platform::Panel> real_;
  std::vector<bool>& floating_;
};

} // namespace

std::unique_ptr<platform::Panel>
TestPlatform::createPanel(const platform::Rect& contentRect,
                          const platform::PanelSettings& settings) {
  return std::make_unique<RecordingPanel>(real_.createPanel(contentRect, settings), panelFloating);
}

std::shared_ptr<platform::WebView>
TestPlatform::createWebView(const platform::WebViewConfiguration& configuration) {
  platform::WebViewConfiguration edited = configuration;
  if (configureWebView)
    configureWebView(edited);
  std::shared_ptr<platform::WebView> made = real_.createWebView(edited);
  webViews.push_back(made);
  return made;
}

// ---- one app under test -----------------------------------------------------------

namespace {

struct LoadCounters {
  std::shared_ptr<int> finished;
  std::shared_ptr<int> failed;
};

void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
  if (event == WEBKIT_LOAD_FINISHED)
    ++*static_cast<LoadCounters*>(data)->finished;
}

gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer data) {
  ++*static_cast<LoadCounters*>(data)->failed;
  return FALSE;
}

struct PendingScript {
  bool done = false;
  ScriptResult result;
};

} // namespace

SystemApp::SystemApp(std::vector<std::string> arguments)
    : platform(root.path(), std::move(arguments)) {}

SystemApp::~SystemApp() {
  if (delegate_) {
    if (loadSignal_)
      g_signal_handler_disconnect(webViewWidget(), loadSignal_);
    if (failSignal_)
      g_signal_handler_disconnect(webViewWidget(), failSignal_);
  }
  delegate_.reset();
  // Let the engine and GTK finish with what was just destroyed before the
  // next test builds its own.
  spinFor(0.05);
}

void SystemApp::addResource(const std::string& name, std::string_view bytes) {
  writeFile(resources() / name, bytes);
}

void SystemApp::addResourcesFrom(const fs::path& folder) {
  for (const fs::directory_entry& entry : fs::directory_iterator(folder))
    if (entry.is_regular_file())
      fs::copy_file(entry.path(), resources() / entry.path().filename(),
                    fs::copy_options::overwrite_existing);
}

void SystemApp::launch() {
  delegate_ = std::make_unique<AppDelegate>(platform);
  platform.application().setDelegate(delegate_.get());
  // The launch sequence builds the web view and then asks it to load; the
  // counters must be connected in between, so they hook the widget as soon
  // as it exists: right after launching returns the load has only been
  // requested, never finished (that takes turns of the main loop).
  delegate_->applicationDidFinishLaunching();
  auto* counters = new LoadCounters{loadsFinished_, loadsFailed_};
  loadSignal_ = g_signal_connect_data(
      webViewWidget(), "load-changed", G_CALLBACK(&onLoadChanged), counters,
      [](gpointer p, GClosure*) { delete static_cast<LoadCounters*>(p); }, GConnectFlags(0));
  failSignal_ = g_signal_connect_data(
      webViewWidget(), "load-failed", G_CALLBACK(&onLoadFailed),
      new LoadCounters{loadsFinished_, loadsFailed_},
      [](gpointer p, GClosure*) { delete static_cast<LoadCounters*>(p); }, GConnectFlags(0));
}

platform::Window& SystemApp::mainWindow() {
  if (platform.windows.empty())
    std::abort(); // asked before launch(): a mistake in the test
  return *platform.windows.front();
}

platform::WebView& SystemApp::webView() {
  std::shared_ptr<platform::WebView> view =
      platform.webViews.empty() ? nullptr : platform.webViews.front().lock();
  if (!view)
    std::abort(); // asked before launch(): a mistake in the test
  return *view;
}

GtkWidget* SystemApp::webViewWidget() {
  return platform::gtk::webViewWidget(webView());
}

GtkWindow* SystemApp::mainGtkWindow() {
  GtkWidget* top = gtk_widget_get_toplevel(webViewWidget());
  return GTK_IS_WINDOW(top) ? GTK_WINDOW(top) : nullptr;
}

bool SystemApp::waitForLoads(int count, double timeoutSeconds) {
  return spinUntil([&] { return *loadsFinished_ >= count; }, timeoutSeconds);
}

ScriptResult SystemApp::evaluate(const std::string& body, double timeoutSeconds) {
  return evaluateIn(webViewWidget(), body, timeoutSeconds);
}

ScriptResult evaluateIn(GtkWidget* webView, const std::string& body, double timeoutSeconds) {
  std::string function = "const __hlvnTestValue = await (async () => {\n" + body +
                         "\n})();\nreturn JSON.stringify(__hlvnTestValue === undefined ? null : "
                         "__hlvnTestValue);";
  // Shared with the callback, which may come after a timeout gave up on it.
  auto pending = std::make_shared<PendingScript>();
  auto* hold = new std::shared_ptr<PendingScript>(pending);
  webkit_web_view_call_async_javascript_function(
      WEBKIT_WEB_VIEW(webView), function.c_str(), -1, nullptr, nullptr, nullptr, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        auto* held = static_cast<std::shared_ptr<PendingScript>*>(data);
        PendingScript& p = **held;
        GError* error = nullptr;
        JSCValue* value = webkit_web_view_call_async_javascript_function_finish(
            WEBKIT_WEB_VIEW(source), result, &error);
        if (!value) {
          p.result.error = error ? error->message : "the script did not run";
          g_clear_error(&error);
        } else {
          gchar* text = jsc_value_is_string(value) ? jsc_value_to_string(value) : nullptr;
          if (!text) {
            p.result.error = "the script's value is not representable as JSON";
          } else {
            p.result.value = nlohmann::json::parse(text, nullptr, false);
            p.result.ok = !p.result.value.is_discarded();
            if (!p.result.ok)
              p.result.error = std::string("unparsable result: ") + text;
            g_free(text);
          }
          g_object_unref(value);
        }
        p.done = true;
        delete held;
      },
      hold);
  if (!spinUntil([&] { return pending->done; }, timeoutSeconds)) {
    ScriptResult late;
    late.error = "no result within the time limit";
    return late;
  }
  return pending->result;
}

bool SystemApp::waitForScript(const std::string& expression, double timeoutSeconds) {
  using Clock = std::chrono::steady_clock;
  auto deadline = Clock::now() + std::chrono::duration<double>(timeoutSeconds);
  while (Clock::now() < deadline) {
    double left = std::chrono::duration<double>(deadline - Clock::now()).count();
    ScriptResult r = evaluate("return !!(" + expression + ");", left);
    if (r.ok && r.value == true)
      return true;
    spinFor(0.02);
  }
  return false;
}

} // namespace systest
