#include "app/AppDelegate.h"

#include "app/MainMenu.h"
#include "app/MainWindowFrame.h"
#include "app/ModalDialogs.h"
#include "app/PageZoom.h"
#include "app/constants.h"
#include "ball/BallPlacement.h"
#include "ball/BallView.h"
#include "bridge/BadgeHandler.h"
#include "bridge/Channels.h"
#include "bridge/DataHandler.h"
#include "bridge/LaunchHandler.h"
#include "bridge/SaveHandler.h"
#include "platform/GeometryText.h"
#include "system/DesktopEntry.h"
#include "system/PanelLine.h"
#include "web/Downloads.h"
#include "web/Navigation.h"
#include "web/PageRecovery.h"
#include "web/SchemeHandler.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

// Launching always builds these; their absence is a programming error, not a
// state any input can reach.
template <class T> T& require(const T* object) {
  if (!object)
    std::abort();
  return *const_cast<T*>(object);
}

// What the scheme serves, for the web view and for the downloads of its
// addresses alike; the function keeps the handler alive.
platform::SchemeHandlerFunction servedBy(std::shared_ptr<SchemeHandler> scheme) {
  return [scheme = std::move(scheme)](const platform::SchemeRequest& request) {
    return scheme->start(request);
  };
}

} // namespace

bool isBallOnlyLaunch(const std::vector<std::string>& arguments) {
  return std::find(arguments.begin(), arguments.end(), "--ball-only") != arguments.end();
}

AppDelegate::AppDelegate(platform::Platform& platform)
    : platform_(platform), alive_(std::make_shared<AppDelegate*>(this)) {
  std::weak_ptr<AppDelegate*> weakSelf = alive_;
  auto ballFloats = [weakSelf](bool floating) {
    if (std::shared_ptr<AppDelegate*> self = weakSelf.lock())
      if ((*self)->ballWindow)
        (*self)->ballWindow->setFloating(floating);
  };
  platform::Application* application = &platform.application();
  dialogs_ = std::make_shared<ModalDialogs>(
      platform.dialogs(),
      [application, ballFloats] {
        application->activate();
        ballFloats(false);
      },
      [ballFloats] { ballFloats(true); });
  platform::Dialogs& dialogs = *dialogs_;
  schemeHandler = std::make_shared<SchemeHandler>(platform.environment().resourceDirectory);
  panelLine = std::make_shared<PanelLine>(platform.mainQueue(), dialogs_);
  saveHandler = std::make_shared<SaveHandler>(panelLine, dialogs, platform.workspace(),
                                              platform.environment());
  badgeHandler = std::make_shared<BadgeHandler>(platform.mainQueue());
  launchHandler = std::make_shared<LaunchHandler>(platform.mainQueue(), platform.environment());
  SyncServices sync;
  sync.defaults = &platform.defaults();
  sync.panelLine = panelLine;
  sync.dialogs = &dialogs;
  sync.machineIdentity = platform.environment().machineIdentity;
  sync.systemName = platform.environment().computerName;
  platform::Platform* backend = &platform;
  sync.watchFolder = [backend](const std::filesystem::path& folder, std::function<void()> changed) {
    return backend->watchFolder(folder, std::move(changed));
  };
  dataHandler =
      std::make_shared<DataHandler>(platform.mainQueue(), platform.workspace(),
                                    dataFolderPath(platform.environment()), std::move(sync));
  downloads = std::make_shared<Downloads>(dialogs, platform.workspace(), platform.environment(),
                                          servedBy(schemeHandler), panelLine);
  pageRecovery = std::make_shared<PageRecovery>(dialogs, panelLine,
                                                [application] { application->terminate(); });
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching() {
  // Where the system takes the icon from the app's package, this does nothing.
  platform_.application().setIconFile(appIconPath(platform_.environment().executablePath));
  buildMenu();
  buildWebView();
  buildMainWindow();
  buildBallWindow();

  platform::Application& app = platform_.application();
  if (isBallOnlyLaunch(app.arguments()) && !shownForAnotherStart_) {
    require(window.get()).hide();
  } else {
    app.showInAppSwitcher();
    app.activate();
    require(window.get()).show();
  }
  require(webView.get()).loadRequest(HOME_URL, PAGE_LOAD_TIMEOUT_SECONDS);
}

bool AppDelegate::applicationShouldHandleReopen(bool) {
  showMainWindow();
  return true;
}

void AppDelegate::performAction(const std::string& action) {
  if (action == SHOW_MAIN_ACTION)
    showMain();
  else if (action == RELOAD_PAGE_ACTION)
    reloadPage();
  else if (action == ZOOM_IN_ACTION)
    setPageZoom(zoomedIn(pageZoomFromString(platform_.defaults().stringForKey(PAGE_ZOOM_KEY))));
  else if (action == ZOOM_OUT_ACTION)
    setPageZoom(zoomedOut(pageZoomFromString(platform_.defaults().stringForKey(PAGE_ZOOM_KEY))));
  else if (action == ACTUAL_SIZE_ACTION)
    setPageZoom(ACTUAL_SIZE_PERCENT);
}

void AppDelegate::setPageZoom(int percent) {
  require(webView.get()).setZoom(percent / 100.0);
  platform_.defaults().setString(PAGE_ZOOM_KEY, stringFromPageZoom(percent));
}

void AppDelegate::prepareToTerminate(std::function<void()> proceed) {
  // A change made just before quitting is in the engine's storage, but the
  // data file follows it by up to a second: the page writes it now. A page
  // that does not answer (hung, gone) holds the quit for no longer.
  if (!dataHandler) {
    proceed();
    return;
  }
  dataHandler->flushPage(QUIT_WAIT, std::move(proceed));
}

void AppDelegate::showMainWindow() {
  require(window.get()).show();
  platform_.application().showInAppSwitcher();
  platform_.application().activate();
}

void AppDelegate::showForAnotherStart() {
  if (!window) {
    shownForAnotherStart_ = true;
    return;
  }
  showMainWindow();
}

void AppDelegate::reloadPage() {
  require(webView.get()).reload();
}

void AppDelegate::windowWillClose() {
  platform::Window& closing = require(window.get());
  const platform::Rect frame =
      require(storedFrame.get()).toStore(closing.frame(), closing.fillsScreen());
  platform_.defaults().setString(WINDOW_FRAME_KEY, stringFromRect(frame));
}

void AppDelegate::buildMenu() {
  platform_.application().setMainMenu(mainMenu());
}

void AppDelegate::buildWebView() {
  platform::WebViewConfiguration configuration;
  configuration.schemeName = std::string(APP_SCHEME);
  configuration.schemeHandler = servedBy(schemeHandler);
  configuration.allowFileAccessFromFileURLs = true;
  // The channels' gate first: the save script looks for its channel when it
  // installs itself.
  configuration.userScripts = channelGateScripts();
  configuration.userScripts.push_back({saveBridgeScript(), true, false, {}, {}});

  std::weak_ptr<AppDelegate*> weakSelf = alive_;
  badgeHandler->onCount = [weakSelf](int64_t count) {
    std::shared_ptr<AppDelegate*> self = weakSelf.lock();
    if (!self)
      return;
    require((*self)->ballView.get()).setCount(count);
  };
  // Each channel of the table, registered with its handler.
  configuration.channels =
      registeredChannels({saveHandler, badgeHandler, launchHandler, dataHandler});

  webView = platform_.createWebView(configuration);
  launchHandler->webView = webView;
  dataHandler->webView = webView;
  webView->setDelegate(this);
  webView->setAllowsBackForwardNavigationGestures(true);
  webView->setZoom(pageZoomFromString(platform_.defaults().stringForKey(PAGE_ZOOM_KEY)) / 100.0);
}

void AppDelegate::buildMainWindow() {
  // A stored or default size wider than this screen would open off it.
  const std::optional<platform::Rect> screen = platform_.screens().mainVisibleFrame();
  platform::Rect rect = fitToScreen(
      mainWindowContentRect(platform_.defaults().stringForKey(WINDOW_FRAME_KEY)), screen);
  window = platform_.createWindow(rect);
  window->setTitle(std::string(APP_TITLE));
  window->setMinSize(mainWindowMinSize(screen));
  window->center();
  window->setContentView(require(webView.get()));
  std::weak_ptr<AppDelegate*> weakSelf = alive_;
  window->setWillCloseCallback([weakSelf] {
    if (std::shared_ptr<AppDelegate*> self = weakSelf.lock())
      (*self)->windowWillClose();
  });
  storedFrame = std::make_unique<StoredFrame>(window->frame());
  window->setFrameChangeCallback([weakSelf] {
    if (std::shared_ptr<AppDelegate*> self = weakSelf.lock()) {
      platform::Window& changed = require((*self)->window.get());
      require((*self)->storedFrame.get()).observe(changed.frame(), changed.fillsScreen());
    }
  });
  window->show();
}

void AppDelegate::buildBallWindow() {
  platform::Point origin = ballPanelOrigin(platform_.defaults(), platform_.screens());
  std::unique_ptr<platform::Panel> panel =
      platform_.createPanel(ballContentRect(origin), ballPanelSettings());
  std::unique_ptr<platform::View> surface = platform_.createView({{0, 0}, {BALL_SIZE, BALL_SIZE}});
  auto view = std::make_unique<BallView>(platform_.screens());
  view->attach(surface.get(), panel.get());
  surface->setDelegate(view.get());

  std::weak_ptr<AppDelegate*> weakSelf = alive_;
  view->onOpen = [weakSelf] {
    if (std::shared_ptr<AppDelegate*> self = weakSelf.lock())
      (*self)->showMainWindow();
  };
  platform::Application* app = &platform_.application();
  view->onQuit = [app] { app->terminate(); };
  view->onDragEnd = [weakSelf] {
    if (std::shared_ptr<AppDelegate*> self = weakSelf.lock())
      settleBall(require((*self)->ballWindow.get()), (*self)->platform_.screens(),
                 (*self)->platform_.defaults());
  };
  platform_.screens().setChangeCallback([weakSelf] {
    if (std::shared_ptr<AppDelegate*> self = weakSelf.lock())
      replaceBallForScreens(require((*self)->ballWindow.get()), (*self)->platform_.screens(),
                            (*self)->platform_.defaults());
  });

  panel->setContentView(*surface);
  panel->raise();
  ballWindow = std::move(panel);
  ballSurface = std::move(surface);
  ballView = std::move(view);
}

// ---- navigation, download and panel callbacks ----------------------------------

platform::NavigationActionPolicy
AppDelegate::decidePolicyForNavigationAction(const platform::NavigationAction& action) {
  return decideNavigationAction(platform_.workspace(), action);
}

platform::ResponsePolicy
AppDelegate::decidePolicyForNavigationResponse(const platform::NavigationResponse& response) {
  return downloads->decideResponse(response);
}

platform::DownloadPolicy
AppDelegate::decidePolicyForDownload(const platform::DownloadRequest& request) {
  return downloads->decideDownload(request);
}

void AppDelegate::postToDownloads(std::function<void(Downloads&)> step) {
  std::weak_ptr<AppDelegate*> weakSelf = alive_;
  platform_.mainQueue().post([weakSelf, step = std::move(step)] {
    if (std::shared_ptr<AppDelegate*> self = weakSelf.lock())
      step(*(*self)->downloads);
  });
}

void AppDelegate::downloadDecideDestination(const std::string& suggestedFilename,
                                            DestinationCompletion completion) {
  downloads->decideDestination(suggestedFilename, std::move(completion));
}

void AppDelegate::downloadDidFinish(const std::filesystem::path& destination,
                                    std::optional<std::uint64_t> announcedLength) {
  postToDownloads(
      [destination, announcedLength](Downloads& d) { d.finished(destination, announcedLength); });
}

void AppDelegate::downloadDidFail(const platform::DownloadError& error) {
  postToDownloads([error](Downloads& d) { d.failed(error); });
}

void AppDelegate::runOpenPanel(const platform::OpenPanelParameters& parameters,
                               OpenPanelCompletion completion) {
  // Waits its turn with the other panels; a full line leaves the field empty.
  platform::Dialogs* dialogs = dialogs_.get();
  panelLine->join(
      [dialogs, parameters, completion] { chooseUploadFiles(*dialogs, parameters, completion); },
      [completion] {
        if (completion)
          completion(std::nullopt);
      });
}

void AppDelegate::createWebView(const std::optional<std::string>& url) {
  openExternally(platform_.workspace(), url);
}

void AppDelegate::didFinishNavigation() {
  std::weak_ptr<AppDelegate*> weakSelf = alive_;
  require(webView.get()).readTitle([weakSelf](std::string title) {
    if (std::shared_ptr<AppDelegate*> self = weakSelf.lock())
      require((*self)->window.get()).setTitle(windowTitle(title));
  });
}

void AppDelegate::webContentProcessDidTerminate(platform::PageProcessEnd) {
  // Every reason counts alike: the window shows a dead page until it loads
  // again. The recovery may ask the user, which never happens inside the
  // engine's callback.
  std::string shown = require(webView.get()).currentURL();
  std::weak_ptr<AppDelegate*> weakSelf = alive_;
  platform_.mainQueue().post([weakSelf, shown] {
    if (std::shared_ptr<AppDelegate*> self = weakSelf.lock())
      (*self)->pageRecovery->processEnded((*self)->webView, shown);
  });
}
