#pragma once

#include "platform/platform.h"
#include "system/PanelLine.h"

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>

// What the app does when the process that runs its page ends (a crash, the
// system reclaiming memory, the engine's own API): it loads the page again,
// so the window never sits on a dead frame. A page that keeps dying is not
// reloaded forever: past a few automatic reloads in a short time the user
// is asked whether to try again or quit.

// The address to load once the page's process has ended: the page it was
// showing when that is one of the app's own addresses, otherwise the start
// page (a foreign page is not worth bringing back in the app's window).
std::string addressAfterPageProcessEnd(const std::string& currentURL);

// Must be owned by a std::shared_ptr: the question waits its turn in the
// panel line, and a recovery that is gone by then asks nothing.
class PageRecovery : public std::enable_shared_from_this<PageRecovery> {
public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  // At most this many automatic reloads within RELOAD_WINDOW.
  static constexpr int MAX_AUTOMATIC_RELOADS = 3;
  static constexpr std::chrono::seconds RELOAD_WINDOW{60};

  PageRecovery(platform::Dialogs& dialogs, std::shared_ptr<PanelLine> line,
               std::function<void()> quit, Clock now = &std::chrono::steady_clock::now);

  // The page's process ended while the view showed `shownURL` (read when the
  // engine reported the end: by a later turn some engines have forgotten
  // where the page had moved within its document). A reload happens at
  // once, even while a panel is up; the question waits its turn in the line.
  void processEnded(const std::shared_ptr<platform::WebView>& view, const std::string& shownURL);

private:
  void ask(const std::weak_ptr<platform::WebView>& view, const std::string& shownURL);
  static void reload(platform::WebView& view, const std::string& shownURL);

  platform::Dialogs& dialogs_;
  std::shared_ptr<PanelLine> line_;
  std::function<void()> quit_;
  Clock now_;
  // When the automatic reloads of the current window of time were made.
  std::deque<std::chrono::steady_clock::time_point> reloads_;
  // The alert is up or waiting: what the user answers decides, nothing else.
  bool asking_ = false;
};
