#pragma once

// Shared by the AppKit + WebKit backend's own files only: the conversions at
// the edge between C++ values and Foundation objects, and the constructors of
// the backend's pieces, which makePlatform() puts together.

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

#include "platform/platform.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

NS_ASSUME_NONNULL_BEGIN

namespace platform::mac {

// ---- text and paths ---------------------------------------------------------

// Text that is not UTF-8 becomes the empty string rather than nil, so that it
// can go wherever AppKit wants a string.
inline NSString* toNSString(const std::string& text) {
  NSString* converted = [[NSString alloc] initWithBytes:text.data()
                                                 length:text.size()
                                               encoding:NSUTF8StringEncoding];
  return converted ? converted : @"";
}

// The UTF-8 bytes, or nothing when the string holds what UTF-8 cannot encode
// (a lone surrogate from a page's script).
inline std::optional<std::string> utf8Of(NSString* _Nullable text) {
  if (!text)
    return std::nullopt;
  NSData* data = [text dataUsingEncoding:NSUTF8StringEncoding allowLossyConversion:NO];
  if (!data)
    return std::nullopt;
  return std::string(static_cast<const char*>(data.bytes), data.length);
}

inline std::string toStdString(NSString* _Nullable text) {
  return utf8Of(text).value_or(std::string());
}

inline std::filesystem::path pathOf(NSURL* _Nullable url) {
  if (!url || !url.isFileURL)
    return {};
  const char* representation = url.fileSystemRepresentation;
  return representation ? std::filesystem::path(representation) : std::filesystem::path();
}

inline std::filesystem::path pathOf(NSString* _Nullable path) {
  return std::filesystem::path(toStdString(path));
}

inline NSURL* fileURLOf(const std::filesystem::path& path, bool isDirectory) {
  return [NSURL fileURLWithFileSystemRepresentation:path.c_str()
                                        isDirectory:isDirectory
                                      relativeToURL:nil];
}

// ---- geometry ---------------------------------------------------------------

inline NSRect toNSRect(const Rect& rect) {
  return NSMakeRect(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
}

inline Rect toRect(NSRect rect) {
  return {{rect.origin.x, rect.origin.y}, {rect.size.width, rect.size.height}};
}

inline Point toPoint(NSPoint point) {
  return {point.x, point.y};
}

inline NSPoint toNSPoint(Point point) {
  return NSMakePoint(point.x, point.y);
}

// ---- the pieces ---------------------------------------------------------------

// Each in the file of its name, as the GTK backend has them.
std::unique_ptr<Application> makeApplication();
std::unique_ptr<Defaults> makeDefaults();
std::unique_ptr<Screens> makeScreens();
std::unique_ptr<Dialogs> makeDialogs();
std::unique_ptr<Workspace> makeWorkspace();
// Nothing where the folder cannot be watched.
std::unique_ptr<FolderMonitor> makeFolderMonitor(const std::filesystem::path& folder,
                                                 std::function<void()> changed);
std::unique_ptr<Window> makeWindow(const Rect& contentRect);
std::unique_ptr<Panel> makePanel(const Rect& contentRect, const PanelSettings& settings);
std::unique_ptr<View> makeView(const Rect& frame);
// Draws into the current graphics context, as drawRect: has it.
std::unique_ptr<Canvas> makeCanvas();
std::shared_ptr<WebView> makeWebView(const WebViewConfiguration& configuration);

// The AppKit views behind this backend's View and WebView, for windows that
// take them as content. Null for an object of another backend.
NSView* _Nullable nativeView(View& view);
NSView* _Nullable nativeView(WebView& view);

} // namespace platform::mac

NS_ASSUME_NONNULL_END
