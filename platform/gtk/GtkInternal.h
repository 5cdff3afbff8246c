#pragma once

// Shared pieces of the GTK backend: coordinate conversion and the factories
// each area's file provides.

#include "platform/StoreFolders.h"
#include "platform/platform.h"

#include <gtk/gtk.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <utility>

namespace platform::gtk {

// Owners of one GLib reference or block, given back when the owner goes. A
// reference the owner takes must be a full one: a floating reference is sunk
// (g_object_ref_sink) before it is handed over.
struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFreeDeleter {
  void operator()(gpointer block) const { g_free(block); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

// The types that are not GObjects (GLib's, cairo's, Pango's), each with its own release.
template <class T, void (*Release)(T*)> struct GReleaser {
  void operator()(T* p) const { Release(p); }
};
template <class T, void (*Release)(T*)> using GOwned = std::unique_ptr<T, GReleaser<T, Release>>;
using GBytesPtr = GOwned<GBytes, g_bytes_unref>;
using GErrorPtr = GOwned<GError, g_error_free>;
using GKeyFilePtr = GOwned<GKeyFile, g_key_file_free>;
using GUriPtr = GOwned<GUri, g_uri_unref>;
using GVariantPtr = GOwned<GVariant, g_variant_unref>;
using GListPtr = GOwned<GList, g_list_free>;

// A list of texts, given back together with its texts.
inline void freeTextList(GSList* list) {
  g_slist_free_full(list, g_free);
}
using GTextListPtr = GOwned<GSList, freeTextList>;

using CairoPtr = GOwned<cairo_t, cairo_destroy>;
using CairoSurfacePtr = GOwned<cairo_surface_t, cairo_surface_destroy>;
using CairoRegionPtr = GOwned<cairo_region_t, cairo_region_destroy>;
using CairoPatternPtr = GOwned<cairo_pattern_t, cairo_pattern_destroy>;
using PangoFontDescriptionPtr = GOwned<PangoFontDescription, pango_font_description_free>;

// A reference that can be copied, each copy a reference of its own: for what
// a std::function captures to hold an object until the engine's callback
// runs (or is dropped unrun).
template <class T> class GObjectRef {
public:
  GObjectRef() = default;
  // Takes a reference of its own; the caller's stays the caller's.
  explicit GObjectRef(T* object)
      : held_(object ? static_cast<T*>(g_object_ref(object)) : nullptr) {}
  GObjectRef(const GObjectRef& other) : GObjectRef(other.get()) {}
  GObjectRef(GObjectRef&&) noexcept = default;
  GObjectRef& operator=(GObjectRef other) noexcept {
    std::swap(held_, other.held_);
    return *this;
  }
  T* get() const { return held_.get(); }
  explicit operator bool() const { return held_ != nullptr; }

private:
  GObjectPtr<T> held_;
};

// The primary monitor of the display, or its first when none is marked
// primary; null when there is no display or no monitor.
GdkMonitor* primaryMonitor(GdkDisplay* display);

// Height of the primary monitor, used to flip between AppKit's y-up screen
// coordinates and X11's y-down ones.
double primaryScreenHeight();

// gtkY = screenHeight - (y + height), and the same formula back.
inline double flipY(double y, double height) {
  return primaryScreenHeight() - (y + height);
}

class GtkApp;

std::unique_ptr<GtkApp> makeApplication(int argc, char** argv, const Identity& identity);
std::unique_ptr<Defaults> makeDefaults(std::filesystem::path file);
std::unique_ptr<Screens> makeScreens();
std::unique_ptr<Dialogs> makeDialogs();
std::unique_ptr<Workspace> makeWorkspace();
std::unique_ptr<FolderMonitor> makeFolderMonitor(const std::filesystem::path& folder,
                                                 std::function<void()> changed);
std::unique_ptr<Window> makeWindow(GtkApp& app, const Rect& contentRect);
std::unique_ptr<Panel> makePanel(const Rect& contentRect, const PanelSettings& settings);
std::unique_ptr<View> makeView(const Rect& frame);
// Draws on cr, in the view's coordinates (origin lower left) of a view
// `height` high; cr stays the caller's.
std::unique_ptr<Canvas> makeCairoCanvas(cairo_t* cr, double height);
// Its web data and cache go into the folders given.
std::shared_ptr<WebView> makeWebView(const WebViewConfiguration& configuration,
                                     const StoreFolders& folders);

// The GtkWidget of a web view made by makeWebView, for packing into a window.
GtkWidget* webViewWidget(WebView& view);
// The web view a widget of webViewWidget shows; null once that web view is
// gone, however long the widget is held.
WebView* webViewOfWidget(GtkWidget* widget);

// Runs a standard editing action (undo, copy, ...) on the web view; nothing
// for any other action.
void runEditingCommand(WebView& view, StandardAction action);

// The hook windows use to take part in the application's menu bar and
// window bookkeeping.
class MainWindowHost {
public:
  virtual ~MainWindowHost() = default;
  // Rebuilds the window's menu bar from the application's current menu.
  virtual void installMenuBar() = 0;
  virtual void performClose() = 0;
  virtual WebView* contentWebView() = 0;
  virtual GtkWindow* gtkWindow() = 0;
};

class GtkApp : public Application {
public:
  virtual void addWindow(MainWindowHost* host) = 0;
  virtual void removeWindow(MainWindowHost* host) = 0;
  // True while applicationDidFinishLaunching runs: showing a window is put
  // off until it returns, so a hidden start never flashes one.
  virtual bool launching() const = 0;
  virtual void lastWindowMayHaveClosed() = 0;
};

// A menu bar for the window, its key equivalents added to the group.
GtkWidget* buildMenuBarFor(GtkApp& app, MainWindowHost* host, GtkAccelGroup* accelerators);

} // namespace platform::gtk
