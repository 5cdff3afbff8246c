#pragma once

// The platform layer: what the system asks of a window system and a web
// engine, no wider. Portable code (app/ web/ bridge/ system/ ball/) talks only
// to these interfaces; platform/gtk/ and platform/mac/ implement them, and the
// build links exactly one of the two through makePlatform().

#include "platform/MessageBody.h"
#include "platform/Result.h"
#include "platform/canvas.h"
#include "platform/geometry.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// ---- one thread -------------------------------------------------------------

// "Submit asynchronously to the main queue": work runs on a later turn of the
// main loop, in the order it was posted.
class MainQueue {
public:
  virtual ~MainQueue() = default;
  virtual void post(std::function<void()> work) = 0;
  // Runs work on the main thread once the delay has passed, never sooner:
  // for giving up on what takes too long and for gathering a burst of
  // changes into one. Called on the main thread.
  virtual void postAfter(std::chrono::milliseconds delay, std::function<void()> work) = 0;
};

// ---- settings and places ----------------------------------------------------

// The user defaults: string values under string keys, kept across runs.
class Defaults {
public:
  virtual ~Defaults() = default;
  virtual std::optional<std::string> stringForKey(const std::string& key) = 0;
  virtual void setString(const std::string& key, const std::string& value) = 0;
};

enum class SystemKind { Mac, Linux };

// What the system says of a login item the app wrote as a file. From macOS 13
// the user can switch such an item off (System Settings, Login Items), and
// the file stays: the system's word decides there. NotApplicable where no
// such switch exists, and the file alone decides.
enum class LoginItemApproval { NotApplicable, Enabled, NotEnabled };

// Where things are on this machine. Every path the system writes to or reads
// from comes from here, so tests can point all of it at temporary folders.
struct Environment {
  SystemKind kind = SystemKind::Linux;
  std::filesystem::path homeDirectory;
  // The user's Downloads folder; empty when the platform reports none.
  std::optional<std::filesystem::path> downloadsDirectory;
  // The folder the web app is served from; empty when the app has none.
  std::optional<std::filesystem::path> resourceDirectory;
  // The running application: the .app bundle on macOS, the app folder on Linux.
  std::filesystem::path bundlePath;
  // The executable inside it, as a login item must start it.
  std::filesystem::path executablePath;
  // Where applications get installed: /Applications, or ~/Applications.
  std::filesystem::path applicationsDirectory;
  // Linux only: $XDG_CONFIG_HOME and $XDG_DATA_HOME.
  std::filesystem::path configDirectory;
  std::filesystem::path dataDirectory;
  // Linux only: $XDG_RUNTIME_DIR, this user's own folder for sockets; empty
  // where it is not set.
  std::filesystem::path runtimeDirectory;
  // Where this user's temporary files go: the per-user folder on macOS,
  // $TMPDIR or /tmp on Linux.
  std::filesystem::path temporaryDirectory;
  // Asks the system about the login item at the given path. Empty where the
  // system has no switch for it, which is NotApplicable.
  std::function<LoginItemApproval(const std::filesystem::path& item)> loginItemApproval;
  // Which machine this is, as the system tells it: the same on every start,
  // another on another computer (a profile copied there keeps no identity of
  // this one). Empty where the system tells none.
  std::string machineIdentity;
  // The name the system gives this computer now; empty (or no function)
  // where it gives none.
  std::function<std::string()> computerName;
};

// ---- screens ----------------------------------------------------------------

class Screens {
public:
  virtual ~Screens() = default;
  // The main screen's frame without menu bar and Dock (or panels).
  virtual std::optional<Rect> mainVisibleFrame() = 0;
  // The visible frames of every connected screen.
  virtual std::vector<Rect> visibleFrames() = 0;
  // The pointer, in global screen coordinates.
  virtual Point pointerLocation() = 0;
  // Called on the main thread whenever screens come, go or change their
  // arrangement; replaces any earlier callback.
  virtual void setChangeCallback(std::function<void()> changed) = 0;
};

// ---- menus ------------------------------------------------------------------

// One item. A separator has no title and no action. Actions are selector
// names: the platform's standard ones ("performClose:", "terminate:", "undo:",
// "copy:", ...) are carried out by the platform; any other is handed to the
// application delegate (or, for a context menu, to its callback).
struct MenuItem {
  std::string title;
  std::string action;
  // Empty for none; a capital letter implies Shift. The platform's command
  // modifier (Command, or Ctrl on Linux) is always added.
  std::string keyEquivalent;
  bool separator = false;
  bool operator==(const MenuItem&) const = default;
};

struct Menu {
  // Empty for the application menu, which the platform titles itself.
  std::string title;
  std::vector<MenuItem> items;
};

using MenuBar = std::vector<Menu>;

// ---- application ------------------------------------------------------------

class ApplicationDelegate {
public:
  virtual ~ApplicationDelegate() = default;
  virtual void applicationDidFinishLaunching() = 0;
  virtual bool applicationShouldTerminateAfterLastWindowClosed() = 0;
  // The app was opened again while running (Dock icon, second start).
  virtual bool applicationShouldHandleReopen(bool hasVisibleWindows) = 0;
  // A menu action that no window handled.
  virtual void performAction(const std::string& action) = 0;
  // The app is to quit: `proceed` lets it, at once or once the delegate has
  // put its affairs in order. The application asks once per quit.
  virtual void prepareToTerminate(std::function<void()> proceed) { proceed(); }
};

class Application {
public:
  virtual ~Application() = default;
  // Every argument of the process, the program path first, as given.
  virtual std::vector<std::string> arguments() = 0;
  // Non-owning: the caller keeps the delegate alive while the loop runs.
  virtual void setDelegate(ApplicationDelegate* delegate) = 0;
  // Enters this start in the window system's own register of running apps,
  // where it keeps one (GApplication on the session bus). False when a copy
  // entered there is running already: run() then hands the start over to
  // that copy (it opens again, as on a reopen) and returns at once. True
  // where there is no such register, none can be reached, or it has not
  // answered within giveUpAfter (a running copy that is stopped or hung).
  virtual bool registerFirstCopy(std::chrono::milliseconds giveUpAfter) = 0;
  // Runs the event loop; returns the exit status once the app terminates.
  virtual int run() = 0;
  virtual void setActivationPolicyRegular() = 0;
  virtual void activateIgnoringOtherApps() = 0;
  virtual void terminate() = 0;
  virtual void setMainMenu(const MenuBar& menu) = 0;
  // The image the window system shows for the app's windows, where it takes
  // one from the running program rather than from the app's package.
  virtual void setIconFile(const std::filesystem::path& file) = 0;
};

// ---- windows ----------------------------------------------------------------

class WebView;

// The main window: titled, closable, miniaturizable, resizable, with the
// content view under the title bar (its frame is its content rectangle) and
// the web view laid out below the title bar. Closing hides it; it is never
// released.
class Window {
public:
  virtual ~Window() = default;
  virtual void setTitle(const std::string& title) = 0;
  virtual std::string title() = 0;
  virtual void setMinSize(Size size) = 0;
  virtual void center() = 0;
  virtual void setContentView(WebView& view) = 0;
  virtual void makeKeyAndOrderFront() = 0;
  virtual void orderOut() = 0;
  virtual bool isVisible() = 0;
  // The same measure the window was created with: the content rectangle.
  virtual Rect frame() = 0;
  // windowWillClose: runs when the user (or the close action) closes it.
  virtual void setWillCloseCallback(std::function<void()> callback) = 0;
  // Whether it fills the screen by the user's choice: full screen, or
  // maximized (zoomed on macOS).
  virtual bool fillsScreen() = 0;
  // Runs on the main thread after its size, place or fillsScreen changed.
  virtual void setFrameChangeCallback(std::function<void()> callback) = 0;
};

// What a custom-drawn view reports. Mouse positions are not passed: the view's
// owner reads the global pointer location, which does not move with the window.
class ViewDelegate {
public:
  virtual ~ViewDelegate() = default;
  virtual void draw(Canvas& canvas, const Rect& bounds) = 0;
  virtual void mouseDown() = 0;
  virtual void mouseDragged() = 0;
  virtual void mouseUp() = 0;
  virtual void rightMouseUp() = 0;
};

class View {
public:
  virtual ~View() = default;
  // Non-owning.
  virtual void setDelegate(ViewDelegate* delegate) = 0;
  virtual void setNeedsDisplay() = 0;
  // Shows the items as a context menu at the pointer; a chosen item's action
  // is passed to the callback; dismissing calls nothing.
  virtual void popUpContextMenu(const std::vector<MenuItem>& items,
                                std::function<void(const std::string& action)> chosen) = 0;
};

// The window settings of a floating panel, in AppKit's terms. The product
// chooses every value; zero stands for none chosen.
struct PanelSettings {
  bool nonactivating{};
  bool opaque{};
  bool clearBackground{};
  bool hasShadow{};
  // NSWindowLevel: 0 normal, above 0 over normal windows (3 floating).
  int level{};
  // NSWindowCollectionBehavior bits.
  unsigned collectionBehavior{};
  bool movableByWindowBackground{};
  bool acceptsMouseMovedEvents{};
  bool ignoresMouseEvents{};
  bool hidesOnDeactivate{};
  bool becomesKeyOnlyIfNeeded{};
  bool canBecomeKey{};
  bool canBecomeMain{};
};

// The collection behaviour bits a backend may translate.
inline constexpr unsigned COLLECTION_CAN_JOIN_ALL_SPACES = 1u << 0;
inline constexpr unsigned COLLECTION_STATIONARY = 1u << 4;
inline constexpr unsigned COLLECTION_FULL_SCREEN_AUXILIARY = 1u << 8;
// Over other apps' full-screen spaces too (macOS 13 and later only).
inline constexpr unsigned COLLECTION_CAN_JOIN_ALL_APPLICATIONS = 1u << 18;

class Panel {
public:
  virtual ~Panel() = default;
  virtual void setContentView(View& view) = 0;
  virtual Point frameOrigin() = 0;
  virtual void setFrameOrigin(Point origin) = 0;
  virtual void orderFrontRegardless() = 0;
  // Floating over other windows at the level its settings gave it, or for a
  // while among the normal windows (while a modal panel is up).
  virtual void setFloating(bool floating) = 0;
};

// ---- modal user interface -----------------------------------------------------

struct SavePanelOptions {
  std::string nameFieldValue;
  std::optional<std::filesystem::path> directory;
  bool canCreateDirectories = true;
};

struct OpenPanelOptions {
  bool canChooseFiles = true;
  bool allowsMultipleSelection = false;
  bool canChooseDirectories = false;
};

enum class AlertButton { First, Second };

// Every call runs application-modally and returns when the user is done.
class Dialogs {
public:
  virtual ~Dialogs() = default;
  // The chosen path, or nothing when cancelled.
  virtual std::optional<std::filesystem::path> runSavePanel(const SavePanelOptions& options) = 0;
  virtual std::optional<std::vector<std::filesystem::path>>
  runOpenPanel(const OpenPanelOptions& options) = 0;
  // Also before the event loop runs, for a start that ends after it: the
  // alert then comes to the front by itself.
  virtual void runAlert(const std::string& message, const std::string& informative) = 0;
  // An alert with two buttons, the first one the default. Where the platform
  // lets the user close it without a button, that counts as the first.
  virtual AlertButton runAlertWithButtons(const std::string& message,
                                          const std::string& informative,
                                          const std::string& firstButton,
                                          const std::string& secondButton) = 0;
};

class Workspace {
public:
  virtual ~Workspace() = default;
  // Hands the URL to the user's default application for it.
  virtual void openURL(const std::string& url) = 0;
  // Shows the file selected in the file manager.
  virtual void revealFile(const std::filesystem::path& file) = 0;
  // Moves the file (a link itself, not what it points to) to the user's
  // Trash, where they can put it back. Fails where that file system has no
  // Trash; the file then stays where it was.
  virtual Result<void> moveToTrash(const std::filesystem::path& file) = 0;
  // Asks the system to fetch a file kept in the cloud whose place holder is
  // at path (iCloud Drive's ".<name>.icloud"); it comes later, by itself.
  // Fails where the system keeps no such files.
  virtual Result<void> startDownloading(const std::filesystem::path& placeholder) = 0;
};

// Tells of changes to what a folder holds, on the main thread, for as long
// as it lives; nothing is called after it is gone.
class FolderMonitor {
public:
  virtual ~FolderMonitor() = default;
};

// ---- the web view -----------------------------------------------------------

struct SchemeRequest {
  // Empty when the request carries no URL.
  std::optional<std::string> url;
};

struct SchemeResponse {
  bool ok = false;
  // ok: a plain URL response (no HTTP status, no headers) and the body;
  // an empty url stands for the request's own.
  std::string url;
  std::string mimeType;
  std::string textEncodingName;
  std::string data;
  // !ok: the error handed to the engine.
  std::string errorDomain;
  int errorCode = 0;
  std::string errorDescription;
};

using SchemeHandlerFunction = std::function<SchemeResponse(const SchemeRequest&)>;

struct ScriptMessage {
  // The posted value as JSON; empty when it cannot be represented (a
  // function, a cycle, text that is not valid Unicode) or is over the
  // channel's limits.
  std::optional<nlohmann::json> body;
  // Who sent it. Exact on macOS. On GTK the sender is taken to be the top
  // frame and its document, which holds only on channels registered in a
  // world that no other frame or document is given.
  bool fromMainFrame = false;
  std::string senderScheme;
};

struct MessageChannel {
  std::string name;
  std::function<void(const ScriptMessage&)> handler;
  // The script world the channel is registered in; empty for the page's own
  // world, where every frame of every document can post on it.
  std::string world;
  // What reading one body may cost; beyond it the message is dropped.
  BodyLimits limits;
};

struct UserScript {
  std::string source;
  bool atDocumentStart = true;
  bool mainFrameOnly = false;
  // Empty for the page's own world.
  std::string world;
  // URL patterns ("halvane://*/*") of the documents it is injected into;
  // empty for every document. An engine without allow lists injects it
  // everywhere, so a script with one also checks its document itself.
  std::vector<std::string> allowList;
};

struct WebViewConfiguration {
  std::string schemeName;
  SchemeHandlerFunction schemeHandler;
  bool allowFileAccessFromFileURLs = false;
  std::vector<UserScript> userScripts;
  std::vector<MessageChannel> channels;
};

// The frame a navigation would change, where the engine tells it.
enum class NavigationFrame { Main, Sub, Unknown };

// A navigation the engine is about to start in a frame it has (a request for
// a new window goes to createWebView instead), as it reports it.
struct NavigationAction {
  std::string url;
  NavigationFrame frame = NavigationFrame::Unknown;
  // The page asked for the address to be downloaded (a link's download
  // attribute); false where the engine does not tell.
  bool shouldPerformDownload = false;
};

// Go on, turn it into a download, or stop it before anything of it is shown.
enum class NavigationActionPolicy { Allow, Download, Cancel };

// A response the engine is about to show, as it reports it.
struct NavigationResponse {
  std::string url;
  bool canShowMIMEType = false;
  // The name the response proposes for a file (or the address's last
  // segment); empty when neither gives one.
  std::string suggestedFilename;
};

// Show it, have the engine download it, or drop it (the app has dealt with it).
enum class ResponsePolicy { Allow, Download, Ignore };

// A download the engine starts (a link with a download attribute, or a
// response it was told to download): its address and the name the address
// gives.
struct DownloadRequest {
  std::string url;
  std::string suggestedFilename;
};

// Let the engine go on with it, or have it stopped at once.
enum class DownloadPolicy { Allow, Cancel };

struct OpenPanelParameters {
  bool allowsMultipleSelection = false;
  bool allowsDirectories = false;
};

struct DownloadError {
  std::string localizedDescription;
  // The user or the app cancelled it; not a failure to report.
  bool cancelled = false;
  // Where the engine was told to write; empty when it failed before that.
  std::optional<std::filesystem::path> destination;
};

// Why the page's process ended, where the engine says.
enum class PageProcessEnd { Unknown, Crashed, ExceededMemoryLimit, EndedThroughAPI };

// Navigation, UI and download callbacks of the web view, all on the main
// thread. Completion functions must be called exactly once.
class WebViewDelegate {
public:
  virtual ~WebViewDelegate() = default;
  // Asked before every navigation in a frame the view has. An engine that
  // tells the main frame only later (WebKitGTK: at the response, or at a
  // failure before one) asks first with the frame unknown, then again with
  // the main frame and the address the load ended at; Cancel then stops the
  // load, or keeps the engine's error page away, and the page stays.
  virtual NavigationActionPolicy
  decidePolicyForNavigationAction(const NavigationAction& action) = 0;
  virtual ResponsePolicy decidePolicyForNavigationResponse(const NavigationResponse& response) = 0;
  // Asked once for every download the engine starts, whatever started it,
  // before it asks where the download goes.
  virtual DownloadPolicy decidePolicyForDownload(const DownloadRequest& request) = 0;
  // path: where the engine writes, a file that is not there yet; nothing
  // cancels the download.
  using DestinationCompletion = std::function<void(std::optional<std::filesystem::path> path)>;
  virtual void downloadDecideDestination(const std::string& suggestedFilename,
                                         DestinationCompletion completion) = 0;
  // The engine says it has written the whole download to its destination.
  // announcedLength: the body's length in bytes as the response announced
  // it, when it did (no length, a chunked body, or a length of an encoded
  // body that was decoded on the way, is none). An engine reports a body
  // cut off early as finished too, where nothing else marked its end.
  virtual void downloadDidFinish(const std::filesystem::path& destination,
                                 std::optional<std::uint64_t> announcedLength) = 0;
  virtual void downloadDidFail(const DownloadError& error) = 0;
  using OpenPanelCompletion =
      std::function<void(std::optional<std::vector<std::filesystem::path>> files)>;
  virtual void runOpenPanel(const OpenPanelParameters& parameters,
                            OpenPanelCompletion completion) = 0;
  // The page asked for a new window; no web view is ever created for it.
  virtual void createWebView(const std::optional<std::string>& url) = 0;
  virtual void didFinishNavigation() = 0;
  // The process that ran the page ended, for whatever reason: the view keeps
  // its last frame and answers nothing until something is loaded again.
  virtual void webContentProcessDidTerminate(PageProcessEnd reason) = 0;
};

class WebView {
public:
  virtual ~WebView() = default;
  virtual void loadRequest(const std::string& url, double timeoutSeconds) = 0;
  virtual void reload() = 0;
  // Fire and forget: the result and any error are ignored.
  virtual void evaluateJavaScript(const std::string& script) = 0;
  // The URL of the document in the main frame, empty before the first load.
  virtual std::string currentURL() = 0;
  // The document's title as it stands now; empty when it has none.
  virtual void readTitle(std::function<void(std::string)> done) = 0;
  // Non-owning.
  virtual void setDelegate(WebViewDelegate* delegate) = 0;
  virtual void setAllowsBackForwardNavigationGestures(bool allow) = 0;
  // The page's zoom, 1 for its actual size: text and layout alike, so the
  // page lays itself out for the narrower width it is given.
  virtual void setZoom(double factor) = 0;
};

// ---- the whole layer --------------------------------------------------------

// Who the running product is, as the product tells the backend: a backend
// names nothing of its own.
struct Identity {
  // Reverse-DNS application id.
  std::string applicationId;
  // The title of the application menu, where the platform does not take it
  // from the app's package.
  std::string title;
  // The name of the folders that hold the settings and the web data, where
  // the platform does not keep them by application id.
  std::string folderName;
  // The page's language as gettext names it, for the toolkit's own texts.
  std::string language;
};

class Platform {
public:
  virtual ~Platform() = default;
  virtual Application& application() = 0;
  virtual MainQueue& mainQueue() = 0;
  virtual Defaults& defaults() = 0;
  virtual Screens& screens() = 0;
  virtual Dialogs& dialogs() = 0;
  virtual Workspace& workspace() = 0;
  virtual const Environment& environment() = 0;
  virtual std::unique_ptr<Window> createWindow(const Rect& contentRect) = 0;
  virtual std::unique_ptr<Panel> createPanel(const Rect& contentRect,
                                             const PanelSettings& settings) = 0;
  virtual std::unique_ptr<View> createView(const Rect& frame) = 0;
  virtual std::shared_ptr<WebView> createWebView(const WebViewConfiguration& configuration) = 0;
  // Calls changed on the main thread whenever an entry directly in folder
  // comes, goes or changes (a burst may give one call or many). Nothing
  // where the folder cannot be watched.
  virtual std::unique_ptr<FolderMonitor> watchFolder(const std::filesystem::path& folder,
                                                     std::function<void()> changed) = 0;
};

// Defined by the backend the build links.
std::unique_ptr<Platform> makePlatform(int argc, char** argv, const Identity& identity);

} // namespace platform
