#pragma once

// The platform layer: what the system asks of a window system and a web
// engine, no wider. Portable code (app/ web/ bridge/ system/ ball/) talks only
// to these interfaces; platform/gtk/ and platform/mac/ implement them, and the
// build links exactly one of the two through makePlatform(). Each interface
// has its header; this one holds the whole layer and includes them all.

#include "platform/Application.h"
#include "platform/Defaults.h"
#include "platform/Dialogs.h"
#include "platform/Environment.h"
#include "platform/MainQueue.h"
#include "platform/Menu.h"
#include "platform/Panel.h"
#include "platform/Result.h"
#include "platform/Screens.h"
#include "platform/WebView.h"
#include "platform/Window.h"

#include <memory>
#include <string>

namespace platform {

// Who the running product is, as the product tells the backend: a backend
// names nothing of its own.
struct Identity {
  // Reverse-DNS application id.
  std::string applicationId;
  // The title of the application menu, where the platform does not take it
  // from the app's package.
  std::string title;
  // The name of the folders that hold the settings and the web data, where
  // the platform does not keep them by application id.
  std::string folderName;
  // The page's language as gettext names it, for the toolkit's own texts.
  std::string language;
};

class Platform {
public:
  virtual ~Platform() = default;
  virtual Application& application() = 0;
  virtual MainQueue& mainQueue() = 0;
  virtual Defaults& defaults() = 0;
  virtual Screens& screens() = 0;
  virtual Dialogs& dialogs() = 0;
  virtual Workspace& workspace() = 0;
  virtual const Environment& environment() = 0;
  virtual std::unique_ptr<Window> createWindow(const Rect& contentRect) = 0;
  virtual std::unique_ptr<Panel> createPanel(const Rect& contentRect,
                                             const PanelSettings& settings) = 0;
  virtual std::unique_ptr<View> createView(const Rect& frame) = 0;
  virtual std::shared_ptr<WebView> createWebView(const WebViewConfiguration& configuration) = 0;
  // Calls changed on the main thread whenever an entry directly in folder
  // comes, goes or changes (a burst may give one call or many). Nothing
  // where the folder cannot be watched.
  virtual std::unique_ptr<FolderMonitor> watchFolder(const std::filesystem::path& folder,
                                                     std::function<void()> changed) = 0;
};

// Defined by the backend the build links.
std::unique_ptr<Platform> makePlatform(int argc, char** argv, const Identity& identity);

} // namespace platform
