#include "web/PageRecovery.h"

#include "identity/identity.h"
#include "system/UserTexts.h"
#include "web/Navigation.h"

#include <optional>
#include <utility>

namespace {

// As long as the start page is given.
constexpr double LOAD_TIMEOUT_SECONDS = 60.0;

} // namespace

std::string addressAfterPageProcessEnd(const std::string& currentURL) {
  return isOwnAddress(currentURL) ? currentURL : std::string(HOME_URL);
}

PageRecovery::PageRecovery(platform::Dialogs& dialogs, std::function<void()> quit, Clock now)
    : dialogs_(dialogs), quit_(std::move(quit)), now_(std::move(now)) {}

void PageRecovery::processEnded(platform::WebView& view, const std::string& shownURL) {
  if (asking_)
    return;
  std::chrono::steady_clock::time_point now = now_();
  while (!reloads_.empty() && now - reloads_.front() >= RELOAD_WINDOW)
    reloads_.pop_front();
  if (int(reloads_.size()) < MAX_AUTOMATIC_RELOADS) {
    reloads_.push_back(now);
    reload(view, shownURL);
    return;
  }

  asking_ = true;
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
  reload(view, shownURL);
}

void PageRecovery::reload(platform::WebView& view, const std::string& shownURL) {
  view.loadRequest(addressAfterPageProcessEnd(shownURL), LOAD_TIMEOUT_SECONDS);
}
