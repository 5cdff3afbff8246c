#pragma once

#include "bridge/ChannelHandler.h"
#include "platform/platform.h"
#include "system/DataFolder.h"
#include "system/SyncFolder.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class PanelLine;

// The page's data channel, "hlvnData": an object naming a command and a
// callback token, with the data as one text where a command carries it. The
// command runs at once against the data folder; its result goes back later,
// on the main queue, as a call of the page's __hlvnApply(token, result), as
// the launch channel answers.
//
//   read                    {ok, text (null: no file), setAside?}
//   write     text          {ok}
//   setAside                {ok, name}: the page found the file unreadable
//   copies                  {ok, copies: [{name, reason, date, time}]}
//   readCopy  name          {ok, text}
//   keep      reason text?  {ok}: "import" or "upgrade", before that step;
//                           a copy of the text, else of the file
//   restore   name text?    {ok, text}: the text (else the file) kept first
//   reveal    name?         {ok}: the copy, or the file, in the file manager
//
// The sync folder, which the teacher's own sync engine carries between their
// computers (system/SyncFolder.h):
//
//   computer                {ok, id, name, folder (null: none chosen)}
//   setName   name          {ok, name}: "" is the system's name again
//   chooseFolder            {ok, folder} | {ok, cancelled: true}
//   forgetFolder            {ok}: nothing anywhere is deleted
//   syncList                {ok, files: [{name, computer, size, modified,
//                           pending?}]}; {ok: false, unset: true, error} with
//                           no folder chosen, {ok: false, missing: true,
//                           error} while it is not there
//   syncRead  name          {ok, text}: a name the last syncList gave;
//                           {ok: false, busy: true, error} while a read is
//                           out, {ok: false, timeout: true, error} after
//                           SyncServices::readTimeout
//   syncWrite text          {ok}: this computer's own file only
//
// syncList, syncRead and syncWrite run off the main thread; their replies
// come on the main queue like every other. When the folder's content
// changes (and after a folder is chosen) the page's
// window.__hlvnSyncChanged() is called, a burst of changes once.
//
// A failure is {ok: false, error}, the system's words for it. A name is only
// ever matched against what the folder lists, never used as a path.

struct DataCommand {
  std::string cmd;
  // JavaScript source text, pasted verbatim as the first argument.
  std::string cb;
  // The members a command reads, where they are strings.
  std::optional<std::string> text;
  std::optional<std::string> name;
  std::optional<std::string> reason;
};

// An object with string "cmd" and "cb"; anything else is nothing.
std::optional<DataCommand> dataCommandFromBody(const nlohmann::json& body);

// Carries the command out in the folder and gives the reply object.
nlohmann::json runDataCommand(const DataCommand& command, DataFolder& folder,
                              platform::Workspace& workspace);

// What the sync commands need of the system.
struct SyncServices {
  platform::Defaults* defaults = nullptr;
  // The folder panel waits its turn in the line, and runs through dialogs.
  std::shared_ptr<PanelLine> panelLine;
  platform::Dialogs* dialogs = nullptr;
  std::string machineIdentity;
  std::function<std::string()> systemName;
  std::function<std::unique_ptr<platform::FolderMonitor>(const std::filesystem::path&,
                                                         std::function<void()>)>
      watchFolder;
  SyncFileReader reader = &platform::readRegularFile;
  // How long a read may take before its reply gives up on it.
  std::chrono::milliseconds readTimeout{10'000};
  // How long changes are gathered before the page hears of them.
  std::chrono::milliseconds changeDelay{1'000};
  // Runs the work on a thread of its own that is never waited for; a
  // detached std::thread where none is given.
  std::function<void(std::function<void()>)> runAside;
};

inline constexpr std::string_view FLUSH_SCRIPT = "window.__hlvnFlush && window.__hlvnFlush()";

inline constexpr std::string_view SYNC_CHANGED_SCRIPT =
    "window.__hlvnSyncChanged && window.__hlvnSyncChanged();";

// Receives the commands on "hlvnData" (its sender admitted by the channel's
// gate) and acts only while the main frame shows an app page; every other
// message, and every malformed one, is dropped without a reply.
class DataHandler : public ChannelHandler<DataHandler, DataCommand> {
public:
  static constexpr const ChannelEntry& CHANNEL = DATA_CHANNEL;

  DataHandler(platform::MainQueue& queue, platform::Workspace& workspace,
              std::filesystem::path folder, SyncServices sync);
  ~DataHandler() override;

  // Where replies are evaluated; never kept alive by the handler.
  std::weak_ptr<platform::WebView> webView;

  // Asks the page to write what it has not yet written (FLUSH_SCRIPT), and
  // runs `done` once the page says "flushed", or after `wait`, or at once
  // where no app page is shown. Before the app quits.
  void flushPage(std::chrono::milliseconds wait, std::function<void()> done);

private:
  friend class ChannelHandler<DataHandler, DataCommand>;
  std::optional<DataCommand> read(const nlohmann::json& body) const {
    return dataCommandFromBody(body);
  }
  void act(DataCommand command);

  // The sync commands; false for any other.
  bool actOnSync(const DataCommand& command);
  void reply(const std::string& cb, const nlohmann::json& result);
  std::optional<std::filesystem::path> syncFolder();
  const std::string& ownId();
  nlohmann::json computerReply();
  void chooseFolder(const std::string& cb);
  void listFolder(const std::string& cb);
  void readFile(const std::string& cb, const std::string& name);
  void writeOwnFile(const std::string& cb, std::string text);
  void startList(std::vector<std::string> callbacks);
  void startWrite(std::vector<std::string> callbacks, std::string text);
  void listed(const std::filesystem::path& folder, const platform::Result<SyncListing>& listing);
  void watch(const std::filesystem::path& folder, std::optional<platform::FileIdentity> identity);
  void folderChanged();
  // Posts work from any thread to the main queue, for as long as the
  // handler lives; the handler itself is reached only if it still does.
  using Step = std::function<void(DataHandler&)>;
  void aside(std::function<Step()> job);

  platform::MainQueue& mainQueue_;
  platform::Workspace& workspace_;
  DataFolder folder_;
  // Waiting for the page's "flushed"; run once.
  std::shared_ptr<std::function<void()>> flushed_;
  SyncServices sync_;
  std::string id_;
  // Shared with the threads that may outlive the handler.
  struct Outbox;
  std::shared_ptr<Outbox> outbox_;
  // The last listing, of which folder, and what syncRead may name.
  std::optional<std::filesystem::path> listedFolder_;
  std::vector<SyncFile> listing_;
  // The listing under way with the callbacks it answers, and the callbacks
  // that came meanwhile, which the next one answers.
  bool listOut_ = false;
  std::vector<std::string> listCallbacks_;
  std::vector<std::string> listWaiting_;
  // The folders a read is out in: one at a time in each.
  std::vector<std::filesystem::path> readsOut_;
  // The write under way, and the newest text waiting for it with every
  // callback it answers.
  bool writeOut_ = false;
  std::optional<std::string> nextText_;
  std::vector<std::string> nextCallbacks_;
  std::unique_ptr<platform::FolderMonitor> monitor_;
  std::optional<platform::FileIdentity> watched_;
  bool changePending_ = false;
};
