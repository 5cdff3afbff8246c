#pragma once

#include "platform/platform.h"
#include "system/Leftovers.h"

#include <filesystem>
#include <functional>
#include <map>
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

// Each step runs its panel or alert at once; the caller posts it to the main
// queue so no modal panel runs inside the engine's callback.
class Downloads {
public:
  // Answers a request of the app's own scheme, as the web view is answered.
  using Fetch = std::function<platform::SchemeResponse(const platform::SchemeRequest&)>;

  Downloads(platform::Dialogs& dialogs, const platform::Environment& env, Fetch fetch);

  // A download the engine carries out: asks where it goes, with the
  // suggested name cleaned like a saved file's, and tells the engine to write
  // into a fresh folder beside that place, where nothing is to be replaced.
  // Cancelling the panel, or a place where nothing can be made, cancels the
  // download (the latter with the failure alert). Answers exactly once.
  void chooseDestination(const std::string& suggestedFilename,
                         const platform::WebViewDelegate::DestinationCompletion& completion);
  // The engine wrote the whole file where it was told: it replaces the
  // chosen file; a failure to do so alerts.
  void finished(const std::filesystem::path& written);
  // The engine gave up: what it wrote goes, and the failure alerts unless it
  // was a cancellation.
  void failed(const platform::DownloadError& error);

  // A response of the app's own scheme, which the engine cannot download:
  // asks where, then writes what the scheme answers for the address there.
  // Cancelling does nothing at all; a failure alerts.
  void saveOwnAddress(const std::string& url, const std::string& suggestedFilename);

private:
  void discard(const std::filesystem::path& written);

  platform::Dialogs& dialogs_;
  const platform::Environment& env_;
  Fetch fetch_;
  struct Staged {
    // The file that the download replaces when done.
    std::filesystem::path chosen;
    // Its folder is not a leftover while the engine writes into it.
    TemporaryInUse folder;
  };
  // Where the engine is writing.
  std::map<std::filesystem::path, Staged> staged_;
};
