// User scripts on WKUserScript, each in its content world.

#import <WebKit/WebKit.h>

#include "platform/mac/MacWebKit.h"

#include <string>

namespace platform::mac {

WKContentWorld* worldNamed(const std::string& name) {
  return name.empty() ? [WKContentWorld pageWorld]
                      : [WKContentWorld worldWithName:toNSString(name)];
}

// WKUserScript takes no allow list; the scripts that come with one check
// their document themselves.
void addUserScript(WKUserContentController* controller, const UserScript& script) {
  WKUserScriptInjectionTime time = script.atDocumentStart ? WKUserScriptInjectionTimeAtDocumentStart
                                                          : WKUserScriptInjectionTimeAtDocumentEnd;
  [controller addUserScript:[[WKUserScript alloc] initWithSource:toNSString(script.source)
                                                   injectionTime:time
                                                forMainFrameOnly:script.mainFrameOnly
                                                  inContentWorld:worldNamed(script.world)]];
}

} // namespace platform::mac
