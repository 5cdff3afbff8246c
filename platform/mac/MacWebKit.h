#pragma once

// The web view's jobs other than the view itself, each in a file of its own:
// user scripts, script messages, the app's scheme and downloads.

#import <Foundation/Foundation.h>
#import <WebKit/WebKit.h>

#include "platform/mac/MacBackend.h"

#include <functional>
#include <string>
#include <utility>

NS_ASSUME_NONNULL_BEGIN

// Serves the app's scheme through the portable handler (MacScheme.mm).
@interface MacSchemeHandler : NSObject <WKURLSchemeHandler>
@property(nonatomic) platform::SchemeHandlerFunction function;
@end

// One script message channel (MacScriptMessages.mm).
@interface MacScriptMessageHandler : NSObject <WKScriptMessageHandler>
@property(nonatomic) std::function<void(const platform::ScriptMessage&)> function;
@property(nonatomic) platform::BodyLimits limits;
@end

// The web view's navigation and UI delegate (MacWebView.mm).
@interface MacWebViewDelegate : NSObject <WKNavigationDelegate, WKUIDelegate>
@property(nonatomic) platform::WebViewDelegate* _Nullable target;
// Where each download was told to write, for its end.
@property(nonatomic, readonly) NSMapTable<WKDownload*, NSURL*>* destinations;
// The body's length each download's response announced, where it did.
@property(nonatomic, readonly) NSMapTable<WKDownload*, NSNumber*>* announcedLengths;
@end

// The same object as its downloads' delegate (MacDownloads.mm).
@interface MacWebViewDelegate (Downloads) <WKDownloadDelegate>
@end

namespace platform::mac {

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

// The page's own world for an empty name.
WKContentWorld* worldNamed(const std::string& name);

void addUserScript(WKUserContentController* controller, const UserScript& script);

} // namespace platform::mac

NS_ASSUME_NONNULL_END
