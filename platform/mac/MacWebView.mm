// The web view on WKWebView: the scheme handler, script message channels, user
// scripts, and the navigation, UI and download delegate, each a thin object
// that hands WebKit's call to the portable side.

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>
#import <WebKit/WebKit.h>

#include "platform/MessageBody.h"
#include "platform/mac/MacBackend.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform::mac {
namespace {

// What convertBody needs to know about the Foundation objects WebKit makes of
// a posted value.
struct FoundationBodyReader {
  BodyKind kind(id _Nullable value) const {
    if (!value)
      return BodyKind::Other;
    if ([value isKindOfClass:[NSNull class]])
      return BodyKind::Null;
    if ([value isKindOfClass:[NSNumber class]]) {
      // true and false arrive as the CFBoolean singletons.
      if (CFGetTypeID((__bridge CFTypeRef)value) == CFBooleanGetTypeID())
        return BodyKind::Boolean;
      switch ([(NSNumber*)value objCType][0]) {
      case 'c':
      case 's':
      case 'i':
      case 'l':
      case 'q':
        return BodyKind::Integer;
      case 'C':
      case 'S':
      case 'I':
      case 'L':
      case 'Q':
        return BodyKind::Unsigned;
      case 'B':
        return BodyKind::Boolean;
      default:
        return BodyKind::Floating;
      }
    }
    if ([value isKindOfClass:[NSString class]])
      return BodyKind::String;
    if ([value isKindOfClass:[NSArray class]])
      return BodyKind::Array;
    if ([value isKindOfClass:[NSDictionary class]])
      return BodyKind::Dictionary;
    return BodyKind::Other;
  }

  bool boolean(id value) const { return [(NSNumber*)value boolValue]; }
  std::int64_t integer(id value) const { return [(NSNumber*)value longLongValue]; }
  std::uint64_t unsignedInteger(id value) const { return [(NSNumber*)value unsignedLongLongValue]; }
  double floating(id value) const { return [(NSNumber*)value doubleValue]; }
  // Refused by its length before any conversion: every UTF-16 unit takes at
  // least one byte of UTF-8. The conversion keeps NULs and fails on an
  // unpaired surrogate.
  std::optional<std::string> utf8(id value, std::size_t maxBytes) const {
    NSString* text = (NSString*)value;
    if (text.length > maxBytes)
      return std::nullopt;
    std::optional<std::string> bytes = utf8Of(text);
    if (!bytes || bytes->size() > maxBytes)
      return std::nullopt;
    return bytes;
  }

  std::optional<std::size_t> elementCount(id value) const { return ((NSArray*)value).count; }

  template <class F> bool forEachElement(id value, F each) const {
    for (id element in (NSArray*)value)
      if (!each(element))
        return false;
    return true;
  }

  template <class F> bool forEachEntry(id value, F each) const {
    NSDictionary* dictionary = (NSDictionary*)value;
    for (id key in dictionary) {
      id entry = [dictionary objectForKey:key];
      if (!entry || !each(key, entry))
        return false;
    }
    return true;
  }
};

NSError* errorWith(const std::string& domain, int code, const std::string& description) {
  return [NSError errorWithDomain:domain.empty() ? NSURLErrorDomain : toNSString(domain)
                             code:code
                         userInfo:@{NSLocalizedDescriptionKey : toNSString(description)}];
}

// Calls a WebKit completion handler at most once, and with "nothing" if the
// portable side drops its completion without calling it: WebKit requires
// every handler to be called.
template <class Block> class OnceHandler {
public:
  OnceHandler(Block block, std::function<void(Block)> cancel)
      : block_(block), cancel_(std::move(cancel)) {}
  ~OnceHandler() {
    if (block_)
      cancel_(block_);
  }
  OnceHandler(const OnceHandler&) = delete;
  OnceHandler& operator=(const OnceHandler&) = delete;

  // The handler, or nil when it has been used already.
  Block _Nullable take() {
    Block block = block_;
    block_ = nil;
    return block;
  }

private:
  Block _Nullable block_;
  std::function<void(Block)> cancel_;
};

using DestinationBlock = void (^)(NSURL* _Nullable);
using FilesBlock = void (^)(NSArray<NSURL*>* _Nullable);

} // namespace
} // namespace platform::mac

NS_ASSUME_NONNULL_BEGIN

@interface MacSchemeHandler : NSObject <WKURLSchemeHandler>
@property(nonatomic) platform::SchemeHandlerFunction function;
@end

@implementation MacSchemeHandler

// Answered whole before returning, so no task is ever in flight.
- (void)webView:(WKWebView*)webView startURLSchemeTask:(id<WKURLSchemeTask>)task {
  using namespace platform::mac;
  NSURL* requestURL = task.request.URL;
  platform::SchemeRequest request;
  if (requestURL && requestURL.absoluteString)
    request.url = toStdString(requestURL.absoluteString);
  platform::SchemeResponse response;
  if (_function)
    response = _function(request);
  else
    response.errorCode = NSURLErrorResourceUnavailable;
  if (!response.ok) {
    [task didFailWithError:errorWith(response.errorDomain, response.errorCode,
                                     response.errorDescription)];
    return;
  }
  NSURL* responseURL = response.url.empty() ? nil : [NSURL URLWithString:toNSString(response.url)];
  if (!responseURL)
    responseURL = requestURL;
  if (!responseURL) {
    [task didFailWithError:errorWith(std::string(), NSURLErrorBadURL, "Bad URL")];
    return;
  }
  NSURLResponse* answer = [[NSURLResponse alloc]
                initWithURL:responseURL
                   MIMEType:response.mimeType.empty() ? nil : toNSString(response.mimeType)
      expectedContentLength:static_cast<NSInteger>(response.data.size())
           textEncodingName:response.textEncodingName.empty()
                                ? nil
                                : toNSString(response.textEncodingName)];
  [task didReceiveResponse:answer];
  // WebKit gets the very bytes the handler read: a large file is not held
  // twice.
  auto* body = new std::string(std::move(response.data));
  [task didReceiveData:[[NSData alloc] initWithBytesNoCopy:body->data()
                                                    length:body->size()
                                               deallocator:^(void*, NSUInteger) {
                                                 delete body;
                                               }]];
  [task didFinish];
}

- (void)webView:(WKWebView*)webView stopURLSchemeTask:(id<WKURLSchemeTask>)task {
}

@end

@interface MacScriptMessageHandler : NSObject <WKScriptMessageHandler>
@property(nonatomic) std::function<void(const platform::ScriptMessage&)> function;
@property(nonatomic) platform::BodyLimits limits;
@end

@implementation MacScriptMessageHandler

- (void)userContentController:(WKUserContentController*)userContentController
      didReceiveScriptMessage:(WKScriptMessage*)message {
  using namespace platform::mac;
  if (!_function)
    return;
  platform::ScriptMessage converted;
  converted.body = platform::convertBody(FoundationBodyReader{}, message.body, _limits);
  WKFrameInfo* frame = message.frameInfo;
  converted.fromMainFrame = frame.isMainFrame;
  converted.senderScheme = toStdString(frame.securityOrigin.protocol);
  // A copy: tearing the web view down from inside the handler clears the
  // stored function, which must not be destroyed while it runs.
  auto function = _function;
  function(converted);
}

@end

@interface MacWebViewDelegate : NSObject <WKNavigationDelegate, WKUIDelegate, WKDownloadDelegate>
@property(nonatomic) platform::WebViewDelegate* _Nullable target;
// Where each download was told to write, for its end.
@property(nonatomic, readonly) NSMapTable<WKDownload*, NSURL*>* destinations;
// The body's length each download's response announced, where it did.
@property(nonatomic, readonly) NSMapTable<WKDownload*, NSNumber*>* announcedLengths;
@end

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

// Every download, whatever started it, is asked about before it gets a
// delegate; one that is refused is cancelled before it asks for a place.
- (void)adoptDownload:(WKDownload*)download {
  using namespace platform::mac;
  if (!_target) {
    [download cancel:nil];
    return;
  }
  NSURL* url = download.originalRequest.URL;
  platform::DownloadRequest reported;
  reported.url = toStdString(url.absoluteString);
  // A download attribute's name is not exposed; the address names it.
  reported.suggestedFilename = toStdString(url.lastPathComponent);
  if (_target->decidePolicyForDownload(reported) == platform::DownloadPolicy::Cancel) {
    [download cancel:nil];
    return;
  }
  download.delegate = self;
}

- (void)webView:(WKWebView*)webView
     navigationAction:(WKNavigationAction*)navigationAction
    didBecomeDownload:(WKDownload*)download {
  [self adoptDownload:download];
}

- (void)webView:(WKWebView*)webView
    navigationResponse:(WKNavigationResponse*)navigationResponse
     didBecomeDownload:(WKDownload*)download {
  [self adoptDownload:download];
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

- (void)download:(WKDownload*)download
    decideDestinationUsingResponse:(NSURLResponse*)response
                 suggestedFilename:(NSString*)suggestedFilename
                 completionHandler:(void (^)(NSURL* _Nullable destination))completionHandler {
  using namespace platform::mac;
  if (!_target) {
    completionHandler(nil);
    return;
  }
  // NSURLResponseUnknownLength (-1) where none was announced (a chunked
  // body, one read to the close). For a body sent encoded the length is the
  // encoded one, not what is written: none either.
  long long expected = response.expectedContentLength;
  NSString* coding =
      [response isKindOfClass:[NSHTTPURLResponse class]]
          ? [(NSHTTPURLResponse*)response valueForHTTPHeaderField:@"Content-Encoding"]
          : nil;
  if (expected >= 0 && (!coding || [coding caseInsensitiveCompare:@"identity"] == NSOrderedSame))
    [_announcedLengths setObject:@(expected) forKey:download];
  auto once = std::make_shared<OnceHandler<DestinationBlock>>(
      completionHandler, [](DestinationBlock block) { block(nil); });
  NSMapTable<WKDownload*, NSURL*>* destinations = _destinations;
  _target->downloadDecideDestination(
      toStdString(suggestedFilename),
      [once, destinations, download](std::optional<std::filesystem::path> path) {
        DestinationBlock block = once->take();
        if (!block)
          return;
        if (!path) {
          block(nil);
          return;
        }
        NSURL* destination = fileURLOf(*path, false);
        [destinations setObject:destination forKey:download];
        block(destination);
      });
}

- (void)downloadDidFinish:(WKDownload*)download {
  NSURL* destination = [_destinations objectForKey:download];
  NSNumber* announced = [_announcedLengths objectForKey:download];
  [_destinations removeObjectForKey:download];
  [_announcedLengths removeObjectForKey:download];
  std::optional<std::uint64_t> length;
  if (announced)
    length = announced.unsignedLongLongValue;
  if (_target && destination)
    _target->downloadDidFinish(platform::mac::pathOf(destination), length);
}

- (void)download:(WKDownload*)download
    didFailWithError:(NSError*)error
          resumeData:(nullable NSData*)resumeData {
  NSURL* destination = [_destinations objectForKey:download];
  [_destinations removeObjectForKey:download];
  [_announcedLengths removeObjectForKey:download];
  if (!_target)
    return;
  platform::DownloadError failure;
  failure.localizedDescription = platform::mac::toStdString(error.localizedDescription);
  failure.cancelled =
      [error.domain isEqualToString:NSURLErrorDomain] && error.code == NSURLErrorCancelled;
  if (destination)
    failure.destination = platform::mac::pathOf(destination);
  _target->downloadDidFail(failure);
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

// The page's own world for an empty name.
WKContentWorld* worldNamed(const std::string& name) {
  return name.empty() ? [WKContentWorld pageWorld]
                      : [WKContentWorld worldWithName:toNSString(name)];
}

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
    // WKUserScript takes no allow list; the scripts that come with one check
    // their document themselves.
    for (const UserScript& script : configuration.userScripts) {
      WKUserScriptInjectionTime time = script.atDocumentStart
                                           ? WKUserScriptInjectionTimeAtDocumentStart
                                           : WKUserScriptInjectionTimeAtDocumentEnd;
      [controller_ addUserScript:[[WKUserScript alloc] initWithSource:toNSString(script.source)
                                                        injectionTime:time
                                                     forMainFrameOnly:script.mainFrameOnly
                                                       inContentWorld:worldNamed(script.world)]];
    }
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
