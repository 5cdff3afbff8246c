// The web view on WKWebView, and its navigation and UI delegate: each call of
// WebKit's handed to the portable side. The scheme, the script messages, the
// user scripts and the downloads have files of their own.

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>
#import <WebKit/WebKit.h>

#include "platform/mac/MacWebKit.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::mac {
namespace {

using FilesBlock = void (^)(NSArray<NSURL*>* _Nullable);

} // namespace
} // namespace platform::mac

NS_ASSUME_NONNULL_BEGIN

@implementation MacWebViewDelegate

- (instancetype)init {
  if ((self = [super init])) {
    _destinations = [NSMapTable weakToStrongObjectsMapTable];
    _announcedLengths = [NSMapTable weakToStrongObjectsMapTable];
  }
  return self;
}

// Without this WebKit loads whatever a frame asks for and hands an address it
// cannot load to another application, with no click. A new window's action
// has no target frame: it goes on to createWebView, which opens none.
- (void)webView:(WKWebView*)webView
    decidePolicyForNavigationAction:(WKNavigationAction*)navigationAction
                    decisionHandler:(void (^)(WKNavigationActionPolicy))decisionHandler {
  using namespace platform::mac;
  WKFrameInfo* _Nullable frame = navigationAction.targetFrame;
  if (!frame) {
    decisionHandler(WKNavigationActionPolicyAllow);
    return;
  }
  if (!_target) {
    decisionHandler(WKNavigationActionPolicyCancel);
    return;
  }
  platform::NavigationAction reported;
  reported.url = toStdString(navigationAction.request.URL.absoluteString);
  reported.frame =
      frame.isMainFrame ? platform::NavigationFrame::Main : platform::NavigationFrame::Sub;
  reported.shouldPerformDownload = navigationAction.shouldPerformDownload;
  switch (_target->decidePolicyForNavigationAction(reported)) {
  case platform::NavigationActionPolicy::Allow:
    decisionHandler(WKNavigationActionPolicyAllow);
    break;
  case platform::NavigationActionPolicy::Download:
    decisionHandler(WKNavigationActionPolicyDownload);
    break;
  case platform::NavigationActionPolicy::Cancel:
    decisionHandler(WKNavigationActionPolicyCancel);
    break;
  }
}

- (void)webView:(WKWebView*)webView
    decidePolicyForNavigationResponse:(WKNavigationResponse*)navigationResponse
                      decisionHandler:(void (^)(WKNavigationResponsePolicy))decisionHandler {
  using namespace platform::mac;
  if (!_target) {
    decisionHandler(WKNavigationResponsePolicyAllow);
    return;
  }
  NSURLResponse* response = navigationResponse.response;
  platform::NavigationResponse reported;
  reported.url = toStdString(response.URL.absoluteString);
  reported.canShowMIMEType = navigationResponse.canShowMIMEType;
  reported.suggestedFilename = toStdString(response.suggestedFilename);
  switch (_target->decidePolicyForNavigationResponse(reported)) {
  case platform::ResponsePolicy::Allow:
    decisionHandler(WKNavigationResponsePolicyAllow);
    break;
  case platform::ResponsePolicy::Download:
    decisionHandler(WKNavigationResponsePolicyDownload);
    break;
  case platform::ResponsePolicy::Ignore:
    decisionHandler(WKNavigationResponsePolicyCancel);
    break;
  }
}

- (void)webView:(WKWebView*)webView didFinishNavigation:(null_unspecified WKNavigation*)navigation {
  if (_target)
    _target->didFinishNavigation();
}

// WebKit gives no reason here; the view shows its last frame until a load.
- (void)webViewWebContentProcessDidTerminate:(WKWebView*)webView {
  if (_target)
    _target->webContentProcessDidTerminate(platform::PageProcessEnd::Unknown);
}

- (void)webView:(WKWebView*)webView
    runOpenPanelWithParameters:(WKOpenPanelParameters*)parameters
              initiatedByFrame:(WKFrameInfo*)frame
             completionHandler:(void (^)(NSArray<NSURL*>* _Nullable URLs))completionHandler {
  using namespace platform::mac;
  if (!_target) {
    completionHandler(nil);
    return;
  }
  platform::OpenPanelParameters options;
  options.allowsMultipleSelection = parameters.allowsMultipleSelection;
  options.allowsDirectories = parameters.allowsDirectories;
  auto once = std::make_shared<OnceHandler<FilesBlock>>(completionHandler,
                                                        [](FilesBlock block) { block(nil); });
  _target->runOpenPanel(options, [once](std::optional<std::vector<std::filesystem::path>> files) {
    FilesBlock block = once->take();
    if (!block)
      return;
    if (!files) {
      block(nil);
      return;
    }
    NSMutableArray<NSURL*>* urls = [NSMutableArray array];
    for (const std::filesystem::path& file : *files)
      [urls addObject:fileURLOf(file, false)];
    block(urls);
  });
}

- (nullable WKWebView*)webView:(WKWebView*)webView
    createWebViewWithConfiguration:(WKWebViewConfiguration*)configuration
               forNavigationAction:(WKNavigationAction*)navigationAction
                    windowFeatures:(WKWindowFeatures*)windowFeatures {
  if (!_target)
    return nil;
  NSString* url = navigationAction.request.URL.absoluteString;
  _target->createWebView(url ? std::optional<std::string>(platform::mac::toStdString(url))
                             : std::nullopt);
  return nil;
}

@end

NS_ASSUME_NONNULL_END

namespace platform::mac {
namespace {

class MacWebView final : public WebView {
public:
  explicit MacWebView(const WebViewConfiguration& configuration)
      : delegate_([[MacWebViewDelegate alloc] init]) {
    WKWebViewConfiguration* setup = [[WKWebViewConfiguration alloc] init];
    setup.websiteDataStore = [WKWebsiteDataStore defaultDataStore];

    NSString* scheme = toNSString(configuration.schemeName);
    // WebKit throws for a scheme it handles itself (http, file, ...).
    if (scheme.length > 0 && configuration.schemeHandler && ![WKWebView handlesURLScheme:scheme]) {
      schemeHandler_ = [[MacSchemeHandler alloc] init];
      schemeHandler_.function = configuration.schemeHandler;
      [setup setURLSchemeHandler:schemeHandler_ forURLScheme:scheme];
    }

    if (configuration.allowFileAccessFromFileURLs) {
      // Not a published preference: set by key, and a WebKit without the key
      // throws, which must not take the app down.
      @try {
        [setup.preferences setValue:@YES forKey:@"allowFileAccessFromFileURLs"];
      } @catch (NSException* ignored) {
        (void)ignored;
      }
    }

    controller_ = setup.userContentController;
    for (const UserScript& script : configuration.userScripts)
      addUserScript(controller_, script);
    // WebKit reports every message's frame and origin; the portable side
    // checks them.
    for (const MessageChannel& channel : configuration.channels) {
      MacScriptMessageHandler* handler = [[MacScriptMessageHandler alloc] init];
      handler.function = channel.handler;
      handler.limits = channel.limits;
      [controller_ addScriptMessageHandler:handler
                              contentWorld:worldNamed(channel.world)
                                      name:toNSString(channel.name)];
      messageHandlers_.push_back(handler);
    }

    webView_ = [[WKWebView alloc] initWithFrame:NSZeroRect configuration:setup];
    // Both delegate references are weak; this object keeps the delegate.
    webView_.navigationDelegate = delegate_;
    webView_.UIDelegate = delegate_;
  }

  ~MacWebView() override {
    webView_.navigationDelegate = nil;
    webView_.UIDelegate = nil;
    delegate_.target = nullptr;
    // The controller holds its handlers strongly; the portable functions they
    // carry must not outlive this object.
    [controller_ removeAllScriptMessageHandlers];
    for (MacScriptMessageHandler* handler : messageHandlers_)
      handler.function = nullptr;
    if (schemeHandler_)
      schemeHandler_.function = nullptr;
  }

  void loadRequest(const std::string& url, double timeoutSeconds) override {
    NSURL* target = [NSURL URLWithString:toNSString(url)];
    if (!target)
      return;
    [webView_ loadRequest:[NSURLRequest requestWithURL:target
                                           cachePolicy:NSURLRequestUseProtocolCachePolicy
                                       timeoutInterval:timeoutSeconds]];
  }

  void reload() override { [webView_ reload]; }

  void evaluateJavaScript(const std::string& script) override {
    [webView_ evaluateJavaScript:toNSString(script) completionHandler:nil];
  }

  std::string currentURL() override { return toStdString(webView_.URL.absoluteString); }

  void readTitle(std::function<void(std::string)> done) override {
    if (done)
      done(toStdString(webView_.title));
  }

  void setDelegate(WebViewDelegate* delegate) override { delegate_.target = delegate; }

  void setAllowsBackForwardNavigationGestures(bool allow) override {
    webView_.allowsBackForwardNavigationGestures = allow;
  }

  void setZoom(double factor) override {
    // pageZoom (macOS 11, which the app needs anyway) scales the CSS pixel,
    // so the page reflows as a browser's zoom does; magnification would only
    // scale the drawing.
    webView_.pageZoom = factor;
  }

  NSView* native() { return webView_; }

private:
  MacWebViewDelegate* delegate_;
  MacSchemeHandler* _Nullable schemeHandler_ = nil;
  WKUserContentController* controller_;
  std::vector<MacScriptMessageHandler*> messageHandlers_;
  WKWebView* webView_;
};

} // namespace

std::shared_ptr<WebView> makeWebView(const WebViewConfiguration& configuration) {
  return std::make_shared<MacWebView>(configuration);
}

NSView* _Nullable nativeView(WebView& view) {
  auto* mac = dynamic_cast<MacWebView*>(&view);
  return mac ? mac->native() : nil;
}

} // namespace platform::mac
