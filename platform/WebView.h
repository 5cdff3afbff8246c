#pragma once

// The web view: the engine that shows the page, its private scheme, its
// script channels and user scripts, and what it asks of its delegate.

#include "platform/MessageBody.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

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

} // namespace platform
