#pragma once

#include "platform/platform.h"
#include "system/Leftovers.h"
#include "system/PanelLine.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

// Where downloads go, and the one rule for replacing a file with one. The
// user picks the place in a save panel on the Downloads folder, which has
// already had them confirm replacing a file there. The new bytes take that
// file's place in one step once they are whole (a link's target is replaced,
// the file's permission bits kept), so a download that fails or is cancelled
// leaves the previous file exactly as it was. A download that the engine calls
// finished may still have been cut off: one shorter than its response
// announced is refused; one that announced no length, which nothing can tell
// from a whole one, moves the previous file to the Trash first.

// How the end of a download the engine calls finished stands against the
// length its response announced: all of it arrived, less (cut off), or there
// is no telling (no length announced, or more arrived than it said).
enum class DownloadEnd { Whole, CutShort, Unmarked };
DownloadEnd judgeDownloadEnd(std::optional<std::uint64_t> announced, std::uint64_t received);

// How many save panels the engine's downloads may bring up. The panel line
// bounds a burst; a frame that keeps starting downloads would still keep the
// user in panels, with the window blocked. After CANCELS_IN_A_ROW panels
// cancelled in a row, or past PANELS_PER_WINDOW panels within WINDOW, every
// download is cancelled without a panel for QUIET. The page's own exports
// (SaveHandler) are not counted: only the app's top page can ask for them.
class DownloadPanelLimit {
public:
  using Clock = std::chrono::steady_clock;
  static constexpr int CANCELS_IN_A_ROW = 2;
  static constexpr std::size_t PANELS_PER_WINDOW = 4;
  static constexpr std::chrono::seconds WINDOW{60};
  static constexpr std::chrono::seconds QUIET{60};

  // Whether downloads are being cancelled without a panel now.
  bool isQuiet(Clock::time_point now) const;
  // Asked just before a panel would show: true, and it counts, when it may;
  // false when it may not, which starts the quiet if it was the one too many.
  bool admit(Clock::time_point now);
  // The user answered the panel that admit let show.
  void answered(bool cancelled, Clock::time_point now);

private:
  void beQuiet(Clock::time_point now);

  std::deque<Clock::time_point> shown_;
  int cancelsInARow_ = 0;
  std::optional<Clock::time_point> quietUntil_;
};

// A download the user or the app cancelled is no failure to report.
bool shouldAlertDownloadFailure(const platform::DownloadError& error);

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
  // The time the panel limit goes by; empty for the steady clock.
  using Now = std::function<DownloadPanelLimit::Clock::time_point()>;

  Downloads(platform::Dialogs& dialogs, platform::Workspace& workspace,
            const platform::Environment& env, Fetch fetch, std::shared_ptr<PanelLine> line,
            Now now = {});

  // The response policy (responsePolicy); a response of the app's own
  // scheme that the view cannot show is dropped by the engine and saved by
  // the app instead (saveOwnAddress).
  platform::ResponsePolicy decideResponse(const platform::NavigationResponse& response);
  // A download the engine started: one of the app's own scheme is stopped
  // and saved by the app, as above; the engine goes on with any other.
  platform::DownloadPolicy decideDownload(const platform::DownloadRequest& request);

  // Asks where a download goes on its turn in the line (chooseDestination);
  // a full line, or the panel limit, cancels the download at once, without a
  // word.
  void decideDestination(const std::string& suggestedFilename,
                         platform::WebViewDelegate::DestinationCompletion completion);
  // The panel step of a download the engine carries out: asks where it
  // goes, with the suggested name cleaned like a saved file's, and tells the
  // engine to write into a fresh folder beside that place, where nothing is
  // to be replaced. Cancelling the panel, or a place where nothing can be
  // made, cancels the download (the latter with the failure alert), as does
  // the panel limit, without a panel. Answers exactly once.
  void chooseDestination(const std::string& suggestedFilename,
                         const platform::WebViewDelegate::DestinationCompletion& completion);
  // The engine says it wrote the whole file where it was told, of which the
  // response announced announcedLength bytes, if it said. Whole, it replaces
  // the chosen file; cut short, it goes and the failure alerts, the chosen
  // file untouched. Of no telling, the chosen file goes to the Trash before
  // the new one takes its place; where it cannot, the new one goes instead,
  // with the failure alert. A failure to replace alerts.
  void finished(const std::filesystem::path& written, std::optional<std::uint64_t> announcedLength);
  // The engine gave up: what it wrote goes, and the failure alerts unless it
  // was a cancellation.
  void failed(const platform::DownloadError& error);

  // An address of the app's own scheme, which the engine cannot download:
  // on its turn in the line, asks where, then writes what the scheme answers
  // for the address there. Cancelling does nothing at all; a failure
  // alerts; a full line drops it without a word. Any frame can start one as
  // it can any download, so the panel limit counts it and drops it alike.
  void saveOwnAddress(const std::string& url, const std::string& suggestedFilename);

private:
  void writeOwnAddress(const std::string& url, const std::string& suggestedFilename);
  void discard(const std::filesystem::path& written);
  // The failure alert, in its turn in the panel line: the engine's reports
  // come while a panel may be up.
  void alertInTurn(const std::string& description);
  // Asks the user where a download goes, within the panel limit.
  std::optional<std::filesystem::path> askWhere(const std::string& suggestedFilename);
  // Replaces the chosen file with the written one, as finished() says.
  platform::Result<void> replace(const std::filesystem::path& written,
                                 const std::filesystem::path& chosen, DownloadEnd end);

  platform::Dialogs& dialogs_;
  platform::Workspace& workspace_;
  const platform::Environment& env_;
  Fetch fetch_;
  std::shared_ptr<PanelLine> line_;
  Now now_;
  DownloadPanelLimit limit_;
  struct Staged {
    // The file that the download replaces when done.
    std::filesystem::path chosen;
    // Its folder is not a leftover while the engine writes into it.
    TemporaryInUse folder;
  };
  // Where the engine is writing.
  std::map<std::filesystem::path, Staged> staged_;
};
