#pragma once

#include "platform/platform.h"
#include "system/Leftovers.h"
#include "system/PanelLine.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

// Where downloads go, and the one rule for replacing a file with one. The
// user picks the place in a save panel on the Downloads folder, which has
// already had them confirm replacing a file there. The new bytes take that
// file's place in one step once they are whole (a link's target is replaced,
// the file's permission bits kept), so a download that fails or is cancelled
// leaves the previous file exactly as it was.

// A download the user or the app cancelled is no failure to report.
bool shouldAlertDownloadFailure(const platform::DownloadError& error);

// The failure alert for a failed download, unless it was cancelled.
void reportDownloadFailure(platform::Dialogs& dialogs, const platform::DownloadError& error);

// Whatever asks the user waits its turn in the panel line it shares with the
// page's saves (PanelLine), so none of it runs inside the engine's callback,
// and a flood of downloads is cancelled beyond the line's length. The other
// steps run at once; the caller posts them to the main queue. Must be owned
// by a std::shared_ptr for the steps that wait in the line; those of a
// Downloads that is gone by their turn are cancelled.
class Downloads : public std::enable_shared_from_this<Downloads> {
public:
  // Answers a request of the app's own scheme, as the web view is answered.
  using Fetch = std::function<platform::SchemeResponse(const platform::SchemeRequest&)>;

  Downloads(platform::Dialogs& dialogs, const platform::Environment& env, Fetch fetch,
            std::shared_ptr<PanelLine> line);

  // The response policy (responsePolicy); a response of the app's own
  // scheme that the view cannot show is dropped by the engine and saved by
  // the app instead (saveOwnAddress).
  platform::ResponsePolicy decideResponse(const platform::NavigationResponse& response);
  // A download the engine started: one of the app's own scheme is stopped
  // and saved by the app, as above; the engine goes on with any other.
  platform::DownloadPolicy decideDownload(const platform::DownloadRequest& request);

  // Asks where a download goes on its turn in the line (chooseDestination);
  // a full line cancels the download at once, without a word.
  void decideDestination(const std::string& suggestedFilename,
                         platform::WebViewDelegate::DestinationCompletion completion);
  // The panel step of a download the engine carries out: asks where it
  // goes, with the suggested name cleaned like a saved file's, and tells the
  // engine to write into a fresh folder beside that place, where nothing is
  // to be replaced. Cancelling the panel, or a place where nothing can be
  // made, cancels the download (the latter with the failure alert). Answers
  // exactly once.
  void chooseDestination(const std::string& suggestedFilename,
                         const platform::WebViewDelegate::DestinationCompletion& completion);
  // The engine wrote the whole file where it was told: it replaces the
  // chosen file; a failure to do so alerts.
  void finished(const std::filesystem::path& written);
  // The engine gave up: what it wrote goes, and the failure alerts unless it
  // was a cancellation.
  void failed(const platform::DownloadError& error);

  // An address of the app's own scheme, which the engine cannot download:
  // on its turn in the line, asks where, then writes what the scheme answers
  // for the address there. Cancelling does nothing at all; a failure
  // alerts; a full line drops it without a word.
  void saveOwnAddress(const std::string& url, const std::string& suggestedFilename);

private:
  void writeOwnAddress(const std::string& url, const std::string& suggestedFilename);
  void discard(const std::filesystem::path& written);

  platform::Dialogs& dialogs_;
  const platform::Environment& env_;
  Fetch fetch_;
  std::shared_ptr<PanelLine> line_;
  struct Staged {
    // The file that the download replaces when done.
    std::filesystem::path chosen;
    // Its folder is not a leftover while the engine writes into it.
    TemporaryInUse folder;
  };
  // Where the engine is writing.
  std::map<std::filesystem::path, Staged> staged_;
};
