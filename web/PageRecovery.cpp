#include "web/PageRecovery.h"

#include "identity/identity.h"
#include "system/OwnAddress.h"
#include "system/UserTexts.h"
#include "web/Navigation.h"

#include <optional>
#include <utility>

std::string addressAfterPageProcessEnd(const std::string& currentURL) {
  return isOwnAddress(currentURL) ? currentURL : std::string(HOME_URL);
}

PageRecovery::PageRecovery(platform::Dialogs& dialogs, std::shared_ptr<PanelLine> line,
                           std::function<void()> quit, Clock now)
    : dialogs_(dialogs), line_(std::move(line)), quit_(std::move(quit)), now_(std::move(now)) {}

void PageRecovery::processEnded(const std::shared_ptr<platform::WebView>& view,
                                const std::string& shownURL) {
  if (asking_ || !view)
    return;
  std::chrono::steady_clock::time_point now = now_();
  while (!reloads_.empty() && now - reloads_.front() >= RELOAD_WINDOW)
    reloads_.pop_front();
  if (int(reloads_.size()) < MAX_AUTOMATIC_RELOADS) {
    reloads_.push_back(now);
    reload(*view, shownURL);
    return;
  }
  asking_ = true;
  std::weak_ptr<PageRecovery> weakSelf = weak_from_this();
  std::weak_ptr<platform::WebView> weakView = view;
  line_->joinAlert([weakSelf, weakView, shownURL] {
    if (std::shared_ptr<PageRecovery> self = weakSelf.lock())
      self->ask(weakView, shownURL);
  });
}

void PageRecovery::ask(const std::weak_ptr<platform::WebView>& weakView,
                       const std::string& shownURL) {
  platform::AlertButton answer = dialogs_.runAlertWithButtons(
      PAGE_STOPPED_TITLE, PAGE_STOPPED_MESSAGE, RELOAD_TEXT, QUIT_APP_TEXT);
  asking_ = false;
  if (answer == platform::AlertButton::Second) {
    if (quit_)
      quit_();
    return;
  }
  // The user's reload starts a new window of time.
  reloads_.clear();
  if (std::shared_ptr<platform::WebView> view = weakView.lock())
    reload(*view, shownURL);
}

void PageRecovery::reload(platform::WebView& view, const std::string& shownURL) {
  view.loadRequest(addressAfterPageProcessEnd(shownURL), PAGE_LOAD_TIMEOUT_SECONDS);
}
