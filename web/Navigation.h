#pragma once

#include "platform/platform.h"

#include <optional>
#include <string>
#include <string_view>

// What the main window's web view does with responses, file fields and
// requests for new windows (downloads: Downloads.h). The panel step runs the
// panel at once; the caller posts it to the main queue so no modal panel runs
// inside the engine's callback. It calls its completion exactly once.

// Shown when the web view can show the type. Otherwise the engine downloads
// it, except an address the app serves itself: the engine has nothing to
// download that with (the app answers those loads, not the engine's network
// side), so it is dropped there and the app saves it (Downloads).
platform::ResponsePolicy responsePolicy(const platform::NavigationResponse& response);

// How long a load of one of the app's own pages may take: the start page at
// launch, and the page loaded again once its process has ended.
inline constexpr double PAGE_LOAD_TIMEOUT_SECONDS = 60.0;

// Only web and mail addresses leave the application. Anything else a page
// could ask the system to open (file:, the app's own scheme, data:,
// javascript:, other applications' schemes) is refused: opening it would run
// or reveal something the user never asked for.
bool mayOpenExternally(std::string_view url);

// A request for a new window: the address goes to the user's default
// application when it may leave; no window is ever opened here.
void openExternally(platform::Workspace& workspace, const std::optional<std::string>& url);

// A navigation in a frame of the view. The main frame shows only the app's
// own pages (and about:, blob: and data:); a web or mail address asked for
// there goes to the user's default application instead, as a new window's
// does. Other frames may also show web pages. What the page marks as a
// download of an address that may load stays a download. Anything else
// (file:, mail in a frame, other applications' schemes) is stopped: no page
// reaches the machine or starts another program through it. Where the
// engine does not tell the frame, web pages load (a frame may hold one) and
// nothing leaves; the engine asks again for the main frame once it tells the
// frame, and a web address is handed over and stopped then.
platform::NavigationActionPolicy decideNavigationAction(platform::Workspace& workspace,
                                                        const platform::NavigationAction& action);

// The main window's title for the page's title.
std::string windowTitle(const std::string& pageTitle);

// Picks files for a file field: files always, several and folders when the
// field allows them. Cancelling reports no list.
void chooseUploadFiles(platform::Dialogs& dialogs, const platform::OpenPanelParameters& parameters,
                       const platform::WebViewDelegate::OpenPanelCompletion& completion);
