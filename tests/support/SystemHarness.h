#pragma once

// Drives the assembled app over the real GTK + WebKitGTK backend, with the
// parts that would reach the user or the machine (dialogs, the file manager,
// the defaults file, the folders) replaced by scripted and recording ones.
// Shared by the system tests and the benchmarks.

#include "app/AppDelegate.h"
#include "platform/platform.h"
#include "support/Fakes.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <nlohmann/json.hpp>

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct _GtkWidget GtkWidget;
typedef struct _GtkWindow GtkWindow;

namespace systest {

// Call first in main(), before anything touches GLib: points HOME, the XDG
// folders and the runtime folder at `home` (a fresh temporary folder, removed
// at exit, when empty), so website data, settings and caches of the run are
// thrown away. Also quiets the settings and accessibility backends.
void prepareProcess(const std::filesystem::path& home = {});

// The HOME that prepareProcess chose.
const std::filesystem::path& processHome();

// The backend's platform, made and registered once per process: windows must
// be added to a started GtkApplication, and the real app would only start in
// run(), which the harness never calls.
platform::Platform& realPlatform();

// Runs the GLib main loop until `done` holds or `timeoutSeconds` pass.
// Returns done() as it stands at the end.
bool spinUntil(const std::function<bool()>& done, double timeoutSeconds = 20);
// Runs the main loop for about this long.
void spinFor(double seconds);

// ---- the replaced parts of the platform ---------------------------------------

using fakes::MemoryDefaults;
using fakes::RecordingWorkspace;
using fakes::ScriptedDialogs;
// The real application object, except that the arguments are the test's and
// terminating only records the request (the process belongs to the test):
// its loop spins the main loop until terminate() is called.
using fakes::TestApplication;

// Every folder of the environment lies under `root`: home (with Downloads),
// the app folder (with resources/, which the test fills), config and data.
platform::Environment environmentUnder(const std::filesystem::path& root);

class TestPlatform final : public platform::Platform {
public:
  TestPlatform(const std::filesystem::path& root, std::vector<std::string> arguments);

  platform::Application& application() override { return app; }
  platform::MainQueue& mainQueue() override { return real_.mainQueue(); }
  platform::Defaults& defaults() override { return defaultsStore; }
  platform::Screens& screens() override { return real_.screens(); }
  platform::Dialogs& dialogs() override { return dialogsScript; }
  platform::Workspace& workspace() override { return workspaceLog; }
  const platform::Environment& environment() override { return env; }
  std::unique_ptr<platform::Window> createWindow(const platform::Rect& contentRect) override {
    std::unique_ptr<platform::Window> made = real_.createWindow(contentRect);
    windows.push_back(made.get());
    return made;
  }
  std::unique_ptr<platform::Panel> createPanel(const platform::Rect& contentRect,
                                               const platform::PanelSettings& settings) override;
  std::unique_ptr<platform::View> createView(const platform::Rect& frame) override {
    return real_.createView(frame);
  }
  std::shared_ptr<platform::WebView>
  createWebView(const platform::WebViewConfiguration& configuration) override;
  std::unique_ptr<platform::FolderMonitor> watchFolder(const std::filesystem::path& folder,
                                                       std::function<void()> changed) override {
    return real_.watchFolder(folder, std::move(changed));
  }

  // Edits each web view's configuration before the real backend gets it.
  std::function<void(platform::WebViewConfiguration&)> configureWebView;
  // What the app made, in order; the app owns them.
  std::vector<platform::Window*> windows;
  // What the panels were told about floating over other windows, in order.
  std::vector<bool> panelFloating;
  std::vector<std::weak_ptr<platform::WebView>> webViews;
  platform::Environment env;
  TestApplication app;
  ScriptedDialogs dialogsScript;
  // Records every call; a move to the Trash is carried out by the backend.
  RecordingWorkspace workspaceLog;
  MemoryDefaults defaultsStore;

private:
  platform::Platform& real_;
};

// ---- one app under test -------------------------------------------------------

struct ScriptResult {
  bool ok = false;
  // The script's value as JSON (undefined becomes null).
  nlohmann::json value;
  // The exception's text, or why the script did not run.
  std::string error;
};

// Runs `body` as the body of an async function in the main world of any
// WebKitWebView (SystemApp::evaluate does this for the app's own view).
ScriptResult evaluateIn(GtkWidget* webView, const std::string& body, double timeoutSeconds = 20);

class SystemApp {
public:
  explicit SystemApp(std::vector<std::string> arguments = {"Tessaloom"});
  ~SystemApp();
  SystemApp(const SystemApp&) = delete;
  SystemApp& operator=(const SystemApp&) = delete;

  // The served folder; fill it before launch().
  const std::filesystem::path& resources() const { return *platform.env.resourceDirectory; }
  void addResource(const std::string& name, std::string_view bytes);
  // Copies every file of `folder` (flat) into resources().
  void addResourcesFrom(const std::filesystem::path& folder);

  // Builds the delegate over the test platform and runs the launch sequence,
  // as the application does once its loop has started.
  void launch();

  AppDelegate& delegate() { return *delegate_; }
  // The main window and web view: the first the app made.
  platform::Window& mainWindow();
  platform::WebView& webView();
  GtkWidget* webViewWidget();
  // The main window's GTK toplevel.
  GtkWindow* mainGtkWindow();

  // Finished and failed main-frame loads since launch.
  int loadsFinished() const { return *loadsFinished_; }
  int loadsFailed() const { return *loadsFailed_; }
  // Waits until `count` loads have finished in all.
  bool waitForLoads(int count, double timeoutSeconds = 20);

  // Runs `body` as the body of an async function in the page's main world
  // (it may await; its return value is the result) and waits for the result.
  ScriptResult evaluate(const std::string& body, double timeoutSeconds = 20);
  // Evaluates `expression` repeatedly until it is truthy.
  bool waitForScript(const std::string& expression, double timeoutSeconds = 20);

  TempDir root;
  TestPlatform platform;

private:
  std::unique_ptr<AppDelegate> delegate_;
  std::shared_ptr<int> loadsFinished_ = std::make_shared<int>(0);
  std::shared_ptr<int> loadsFailed_ = std::make_shared<int>(0);
  unsigned long loadSignal_ = 0;
  unsigned long failSignal_ = 0;
};

} // namespace systest
