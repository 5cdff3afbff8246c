#include "web/Downloads.h"

#include "system/AtomicFile.h"
#include "system/Leftovers.h"
#include "system/OwnAddress.h"
#include "system/SaveDestination.h"
#include "system/UserTexts.h"
#include "web/Navigation.h"

#include <cerrno>
#include <optional>
#include <system_error>
#include <utility>

namespace fs = std::filesystem;

DownloadEnd judgeDownloadEnd(std::optional<std::uint64_t> announced, std::uint64_t received) {
  if (!announced || received > *announced)
    return DownloadEnd::Unmarked;
  return received == *announced ? DownloadEnd::Whole : DownloadEnd::CutShort;
}

bool DownloadPanelLimit::isQuiet(Clock::time_point now) const {
  return quietUntil_ && now < *quietUntil_;
}

bool DownloadPanelLimit::admit(Clock::time_point now) {
  if (isQuiet(now))
    return false;
  while (!shown_.empty() && now - shown_.front() >= WINDOW)
    shown_.pop_front();
  if (shown_.size() >= PANELS_PER_WINDOW) {
    beQuiet(now);
    return false;
  }
  shown_.push_back(now);
  return true;
}

void DownloadPanelLimit::answered(bool cancelled, Clock::time_point now) {
  cancelsInARow_ = cancelled ? cancelsInARow_ + 1 : 0;
  if (cancelsInARow_ >= CANCELS_IN_A_ROW)
    beQuiet(now);
}

void DownloadPanelLimit::beQuiet(Clock::time_point now) {
  quietUntil_ = now + QUIET;
  // What comes after the quiet starts afresh.
  shown_.clear();
  cancelsInARow_ = 0;
}

bool shouldAlertDownloadFailure(const platform::DownloadError& error) {
  return !error.cancelled;
}

Downloads::Downloads(platform::Dialogs& dialogs, platform::Workspace& workspace,
                     const platform::Environment& env, Fetch fetch, std::shared_ptr<PanelLine> line,
                     Now now)
    : dialogs_(dialogs), workspace_(workspace), env_(env), fetch_(std::move(fetch)),
      line_(std::move(line)),
      now_(now ? std::move(now) : Now([] { return DownloadPanelLimit::Clock::now(); })) {}

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
  // Nothing to wait in the line for.
  if (limit_.isQuiet(now_())) {
    completion(std::nullopt);
    return;
  }
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
  std::optional<fs::path> path = askWhere(suggestedFilename);
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

std::optional<fs::path> Downloads::askWhere(const std::string& suggestedFilename) {
  if (!limit_.admit(now_()))
    return std::nullopt;
  std::optional<fs::path> path = chooseSaveDestination(dialogs_, env_, suggestedFilename);
  limit_.answered(!path, now_());
  return path;
}

void Downloads::finished(const fs::path& written, std::optional<std::uint64_t> announcedLength) {
  auto it = staged_.find(written);
  if (it == staged_.end())
    return;
  const fs::path chosen = it->second.chosen;
  std::error_code error;
  const std::uintmax_t received = fs::file_size(written, error);
  platform::Result<void> replaced =
      error ? platform::Result<void>(platform::Failure::of(error))
            : replace(written, chosen, judgeDownloadEnd(announcedLength, received));
  discard(written);
  if (!replaced)
    alertInTurn(replaced.failure().detail);
}

platform::Result<void> Downloads::replace(const fs::path& written, const fs::path& chosen,
                                          DownloadEnd end) {
  if (end == DownloadEnd::CutShort)
    return platform::Failure{ECONNRESET, DOWNLOAD_CUT_SHORT_TEXT};
  std::error_code error;
  const fs::file_status previous = fs::status(chosen, error);
  if (end == DownloadEnd::Whole || !fs::is_regular_file(previous))
    return moveFileAtomically(written, chosen);
  // Nothing tells this download from one cut off: the previous file stays
  // where the user can get it back. A link's target is what gets replaced,
  // so that is what goes; its bits go to the new file as they would have.
  const fs::path target = fs::canonical(chosen, error);
  if (error)
    return platform::Failure{error.value(),
                             previousNotTrashedMessage(platform::Failure::of(error).detail)};
  if (platform::Result<void> trashed = workspace_.moveToTrash(target); !trashed)
    return platform::Failure{trashed.failure().code,
                             previousNotTrashedMessage(trashed.failure().detail)};
  platform::Result<void> moved = moveFileAtomically(written, target);
  if (!moved)
    return platform::Failure{moved.failure().code, previousInTrashMessage(moved.failure().detail)};
  fs::permissions(target, previous.permissions(), error);
  return moved;
}

void Downloads::failed(const platform::DownloadError& error) {
  if (error.destination)
    discard(*error.destination);
  if (shouldAlertDownloadFailure(error))
    alertInTurn(error.localizedDescription);
}

void Downloads::alertInTurn(const std::string& description) {
  // The dialogs outlive every Downloads; the alert is shown even if this
  // one is gone by its turn.
  platform::Dialogs* dialogs = &dialogs_;
  line_->joinAlert([dialogs, description] { showFailureAlert(*dialogs, description); });
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
  if (limit_.isQuiet(now_()))
    return;
  std::weak_ptr<Downloads> weakSelf = weak_from_this();
  line_->join([weakSelf, url, suggestedFilename] {
    if (std::shared_ptr<Downloads> self = weakSelf.lock())
      self->writeOwnAddress(url, suggestedFilename);
  });
}

void Downloads::writeOwnAddress(const std::string& url, const std::string& suggestedFilename) {
  std::optional<fs::path> path = askWhere(suggestedFilename);
  if (!path || path->empty())
    return;
  platform::SchemeRequest request;
  request.url = url;
  platform::SchemeResponse response;
  if (fetch_)
    response = fetch_(request);
  // The scheme's words are for the engine, in English; the user is told in
  // the alert's own language.
  if (!response.ok) {
    showFailureAlert(dialogs_, OWN_FILE_UNREADABLE_TEXT);
    return;
  }
  platform::Result<void> written = writeFileAtomically(*path, response.data);
  if (!written)
    showFailureAlert(dialogs_, written.failure().detail);
}
