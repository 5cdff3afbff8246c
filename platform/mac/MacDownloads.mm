// Downloads on WKDownload: each one the engine starts is asked about, given
// its place by the portable side, and reported at its end with the length
// its response announced.

#import <Foundation/Foundation.h>
#import <WebKit/WebKit.h>

#include "platform/mac/MacWebKit.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace platform::mac {
namespace {

using DestinationBlock = void (^)(NSURL* _Nullable);

} // namespace
} // namespace platform::mac

NS_ASSUME_NONNULL_BEGIN

@implementation MacWebViewDelegate (Downloads)

// Every download, whatever started it, is asked about before it gets a
// delegate; one that is refused is cancelled before it asks for a place.
- (void)adoptDownload:(WKDownload*)download {
  using namespace platform::mac;
  if (!self.target) {
    [download cancel:nil];
    return;
  }
  NSURL* url = download.originalRequest.URL;
  platform::DownloadRequest reported;
  reported.url = toStdString(url.absoluteString);
  // A download attribute's name is not exposed; the address names it.
  reported.suggestedFilename = toStdString(url.lastPathComponent);
  if (self.target->decidePolicyForDownload(reported) == platform::DownloadPolicy::Cancel) {
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

- (void)download:(WKDownload*)download
    decideDestinationUsingResponse:(NSURLResponse*)response
                 suggestedFilename:(NSString*)suggestedFilename
                 completionHandler:(void (^)(NSURL* _Nullable destination))completionHandler {
  using namespace platform::mac;
  if (!self.target) {
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
    [self.announcedLengths setObject:@(expected) forKey:download];
  auto once = std::make_shared<OnceHandler<DestinationBlock>>(
      completionHandler, [](DestinationBlock block) { block(nil); });
  NSMapTable<WKDownload*, NSURL*>* destinations = self.destinations;
  self.target->downloadDecideDestination(
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
  NSURL* destination = [self.destinations objectForKey:download];
  NSNumber* announced = [self.announcedLengths objectForKey:download];
  [self.destinations removeObjectForKey:download];
  [self.announcedLengths removeObjectForKey:download];
  std::optional<std::uint64_t> length;
  if (announced)
    length = announced.unsignedLongLongValue;
  if (self.target && destination)
    self.target->downloadDidFinish(platform::mac::pathOf(destination), length);
}

- (void)download:(WKDownload*)download
    didFailWithError:(NSError*)error
          resumeData:(nullable NSData*)resumeData {
  NSURL* destination = [self.destinations objectForKey:download];
  [self.destinations removeObjectForKey:download];
  [self.announcedLengths removeObjectForKey:download];
  if (!self.target)
    return;
  platform::DownloadError failure;
  failure.localizedDescription = platform::mac::toStdString(error.localizedDescription);
  failure.cancelled =
      [error.domain isEqualToString:NSURLErrorDomain] && error.code == NSURLErrorCancelled;
  if (destination)
    failure.destination = platform::mac::pathOf(destination);
  self.target->downloadDidFail(failure);
}

@end

NS_ASSUME_NONNULL_END
