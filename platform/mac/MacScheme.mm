// The app's scheme on WKURLSchemeHandler: each request answered whole by the
// portable handler.

#import <Foundation/Foundation.h>
#import <WebKit/WebKit.h>

#include "platform/mac/MacWebKit.h"

#include <string>
#include <utility>

namespace platform::mac {
namespace {

NSError* errorWith(const std::string& domain, int code, const std::string& description) {
  return [NSError errorWithDomain:domain.empty() ? NSURLErrorDomain : toNSString(domain)
                             code:code
                         userInfo:@{NSLocalizedDescriptionKey : toNSString(description)}];
}

} // namespace
} // namespace platform::mac

NS_ASSUME_NONNULL_BEGIN

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

NS_ASSUME_NONNULL_END
