#pragma once

#include "platform/platform.h"

#include <optional>
#include <string>
#include <string_view>

// What the main window's web view does with responses, downloads, file fields
// and requests for new windows. The panel steps run the panel at once; the
// caller posts them to the main queue so no modal panel runs inside the
// engine's callback. Each calls its completion exactly once.

// Shown when the web view can show the type, otherwise downloaded.
platform::ResponsePolicy responsePolicy(bool canShowMIMEType);

// Only web and mail addresses leave the application. Anything else a page
// could ask the system to open (file:, the app's own scheme, data:,
// javascript:, other applications' schemes) is refused: opening it would run
// or reveal something the user never asked for.
bool mayOpenExternally(std::string_view url);

// A request for a new window: the address goes to the user's default
// application when it may leave; no window is ever opened here.
void openExternally(platform::Workspace& workspace, const std::optional<std::string>& url);

// The main window's title for the page's title.
std::string windowTitle(const std::string& pageTitle);

// A download the user or the app cancelled is no failure to report.
bool shouldAlertDownloadFailure(const platform::DownloadError& error);

// The failure alert for a failed download, unless it was cancelled.
void reportDownloadFailure(platform::Dialogs& dialogs, const platform::DownloadError& error);

// Asks where a download goes: a save panel on the Downloads folder with the
// suggested name, cleaned like a saved file's. The user confirmed replacing
// the chosen file if one is there, so the engine is told to overwrite it.
// Cancelling cancels the download.
void chooseDownloadDestination(platform::Dialogs& dialogs, const platform::Environment& env,
                               const std::string& suggestedFilename,
                               const platform::WebViewDelegate::DestinationCompletion& completion);

// Picks files for a file field: files always, several and folders when the
// field allows them. Cancelling reports no list.
void chooseUploadFiles(platform::Dialogs& dialogs, const platform::OpenPanelParameters& parameters,
                       const platform::WebViewDelegate::OpenPanelCompletion& completion);
