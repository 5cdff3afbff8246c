#pragma once

#include "platform/platform.h"

#include <chrono>
#include <functional>
#include <memory>

class BadgeHandler;
class BallView;
class Downloads;
class DataHandler;
class LaunchHandler;
class PageRecovery;
class PanelLine;
class SaveHandler;
class SchemeHandler;
class StoredFrame;

// The one object that owns everything long-lived: the main window, the web
// view, the ball and the four bridge handlers. It assembles them when
// launching has finished and answers the application, window and web view
// callbacks.
class AppDelegate : public platform::ApplicationDelegate, public platform::WebViewDelegate {
public:
  explicit AppDelegate(platform::Platform& platform);
  ~AppDelegate() override;

  // platform::ApplicationDelegate
  void applicationDidFinishLaunching() override;
  bool applicationShouldTerminateAfterLastWindowClosed() override { return false; }
  bool applicationShouldHandleReopen(bool hasVisibleWindows) override;
  void performAction(const std::string& action) override;
  // The page writes what it has not yet written, for at most QUIT_WAIT.
  void prepareToTerminate(std::function<void()> proceed) override;
  static constexpr std::chrono::milliseconds QUIT_WAIT{2000};

  void showMainWindow();
  void showMain() { showMainWindow(); }
  // A later start asked for the main window: shown at once, or, before
  // launching has built it, shown by launching even in ball-only mode.
  void showForAnotherStart();
  void reloadPage();
  // Steps the page's zoom, applies it and keeps it for the next start.
  void setPageZoom(int percent);
  void windowWillClose();

  // platform::WebViewDelegate
  platform::NavigationActionPolicy
  decidePolicyForNavigationAction(const platform::NavigationAction& action) override;
  platform::ResponsePolicy
  decidePolicyForNavigationResponse(const platform::NavigationResponse& response) override;
  platform::DownloadPolicy
  decidePolicyForDownload(const platform::DownloadRequest& request) override;
  void downloadDecideDestination(const std::string& suggestedFilename,
                                 DestinationCompletion completion) override;
  void downloadDidFinish(const std::filesystem::path& destination,
                         std::optional<std::uint64_t> announcedLength) override;
  void downloadDidFail(const platform::DownloadError& error) override;
  void runOpenPanel(const platform::OpenPanelParameters& parameters,
                    OpenPanelCompletion completion) override;
  void createWebView(const std::optional<std::string>& url) override;
  void didFinishNavigation() override;
  void webContentProcessDidTerminate(platform::PageProcessEnd reason) override;

  // For tests that drive the assembled app: the count shows only as pixels.
  BallView& ball() { return *ballView; }

private:
  void buildMenu();
  void buildWebView();
  void buildMainWindow();
  void buildBallWindow();
  // Runs a download step on a later turn of the main queue, unless the
  // delegate is gone by then.
  void postToDownloads(std::function<void(Downloads&)> step);

  platform::Platform& platform_;
  // Lets posted work and callbacks notice that the delegate is gone.
  std::shared_ptr<AppDelegate*> alive_;
  // What every panel and alert of the app runs through (ModalDialogs); the
  // panel line keeps it for the steps still waiting in it.
  std::shared_ptr<platform::Dialogs> dialogs_;

  std::unique_ptr<platform::Window> window;
  std::unique_ptr<StoredFrame> storedFrame;
  std::shared_ptr<platform::WebView> webView;
  std::unique_ptr<platform::Panel> ballWindow;
  std::unique_ptr<BallView> ballView;
  std::unique_ptr<platform::View> ballSurface;
  std::shared_ptr<SchemeHandler> schemeHandler;
  // Everything that asks the user waits its turn in one line.
  std::shared_ptr<PanelLine> panelLine;
  std::shared_ptr<SaveHandler> saveHandler;
  std::shared_ptr<BadgeHandler> badgeHandler;
  std::shared_ptr<LaunchHandler> launchHandler;
  std::shared_ptr<DataHandler> dataHandler;
  std::shared_ptr<Downloads> downloads;
  std::shared_ptr<PageRecovery> pageRecovery;
  bool shownForAnotherStart_ = false;
};

// Ball-only mode: some argument, the program path included, is exactly
// "--ball-only" (whole string, letter case as written).
bool isBallOnlyLaunch(const std::vector<std::string>& arguments);
