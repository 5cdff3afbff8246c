#include "web/Downloads.h"

#include "system/AtomicFile.h"
#include "system/Leftovers.h"
#include "system/SaveDestination.h"
#include "web/Navigation.h"

#include <optional>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

bool shouldAlertDownloadFailure(const platform::DownloadError& error) {
  return !error.cancelled;
}

void reportDownloadFailure(platform::Dialogs& dialogs, const platform::DownloadError& error) {
  if (shouldAlertDownloadFailure(error))
    showFailureAlert(dialogs, error.localizedDescription);
}

Downloads::Downloads(platform::Dialogs& dialogs, const platform::Environment& env, Fetch fetch,
                     std::shared_ptr<PanelLine> line)
    : dialogs_(dialogs), env_(env), fetch_(std::move(fetch)), line_(std::move(line)) {}

platform::ResponsePolicy Downloads::decideResponse(const platform::NavigationResponse& response) {
  platform::ResponsePolicy policy = responsePolicy(response);
  if (policy == platform::ResponsePolicy::Ignore)
    saveOwnAddress(response.url, response.suggestedFilename);
  return policy;
}

platform::DownloadPolicy Downloads::decideDownload(const platform::DownloadRequest& request) {
  if (!isOwnAddress(request.url))
    return platform::DownloadPolicy::Allow;
  saveOwnAddress(request.url, request.suggestedFilename);
  return platform::DownloadPolicy::Cancel;
}

void Downloads::decideDestination(const std::string& suggestedFilename,
                                  platform::WebViewDelegate::DestinationCompletion completion) {
  if (!completion)
    return;
  std::weak_ptr<Downloads> weakSelf = weak_from_this();
  line_->join(
      [weakSelf, suggestedFilename, completion] {
        if (std::shared_ptr<Downloads> self = weakSelf.lock())
          self->chooseDestination(suggestedFilename, completion);
        else
          completion(std::nullopt);
      },
      [completion] { completion(std::nullopt); });
}

void Downloads::chooseDestination(
    const std::string& suggestedFilename,
    const platform::WebViewDelegate::DestinationCompletion& completion) {
  // Nobody to tell where to write: asking the user would be for nothing.
  if (!completion)
    return;
  std::optional<fs::path> path = chooseSaveDestination(dialogs_, env_, suggestedFilename);
  if (!path || path->empty() || path->filename().empty()) {
    completion(std::nullopt);
    return;
  }
  // In the folder the bytes land in, so that moving them into place is one
  // rename on one file system.
  platform::Result<fs::path> folder =
      makeTemporaryFolder(replacementFolder(*path), DOWNLOAD_FOLDER_PREFIX);
  if (!folder) {
    showFailureAlert(dialogs_, folder.failure().detail);
    completion(std::nullopt);
    return;
  }
  fs::path written = *folder / path->filename();
  staged_[written] = {*path, TemporaryInUse(*folder)};
  completion(written);
}

void Downloads::finished(const fs::path& written) {
  auto it = staged_.find(written);
  if (it == staged_.end())
    return;
  platform::Result<void> moved = moveFileAtomically(written, it->second.chosen);
  discard(written);
  if (!moved)
    showFailureAlert(dialogs_, moved.failure().detail);
}

void Downloads::failed(const platform::DownloadError& error) {
  if (error.destination)
    discard(*error.destination);
  reportDownloadFailure(dialogs_, error);
}

void Downloads::discard(const fs::path& written) {
  auto it = staged_.find(written);
  if (it == staged_.end())
    return;
  staged_.erase(it);
  // The folder was made for this download alone; whatever the engine left
  // in it (a partial file) goes with it.
  std::error_code ignored;
  fs::remove_all(written.parent_path(), ignored);
}

void Downloads::saveOwnAddress(const std::string& url, const std::string& suggestedFilename) {
  std::weak_ptr<Downloads> weakSelf = weak_from_this();
  line_->join([weakSelf, url, suggestedFilename] {
    if (std::shared_ptr<Downloads> self = weakSelf.lock())
      self->writeOwnAddress(url, suggestedFilename);
  });
}

void Downloads::writeOwnAddress(const std::string& url, const std::string& suggestedFilename) {
  std::optional<fs::path> path = chooseSaveDestination(dialogs_, env_, suggestedFilename);
  if (!path || path->empty())
    return;
  platform::SchemeRequest request;
  request.url = url;
  platform::SchemeResponse response;
  if (fetch_)
    response = fetch_(request);
  if (!response.ok) {
    showFailureAlert(dialogs_, response.errorDescription);
    return;
  }
  platform::Result<void> written = writeFileAtomically(*path, response.data);
  if (!written)
    showFailureAlert(dialogs_, written.failure().detail);
}
