// Script message channels on WKScriptMessageHandler: each posted value read
// within the channel's limits and handed on with its sender.

#import <Foundation/Foundation.h>
#import <WebKit/WebKit.h>

#include "platform/MessageBody.h"
#include "platform/mac/MacWebKit.h"

#include <cstdint>
#include <optional>
#include <string>

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

} // namespace
} // namespace platform::mac

NS_ASSUME_NONNULL_BEGIN

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

NS_ASSUME_NONNULL_END
