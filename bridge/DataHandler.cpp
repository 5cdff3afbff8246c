#include "bridge/DataHandler.h"

#include "bridge/LaunchHandler.h"
#include "system/PanelLine.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <thread>
#include <utility>

using nlohmann::json;

namespace {

std::optional<std::string> stringMember(const json& body, const char* key) {
  auto found = body.find(key);
  if (found == body.end() || !found->is_string())
    return std::nullopt;
  return found->get<std::string>();
}

const char* reasonWord(CopyReason reason) {
  switch (reason) {
  case CopyReason::Daily:
    return "daily";
  case CopyReason::BeforeImport:
    return "import";
  case CopyReason::BeforeRestore:
    return "restore";
  case CopyReason::BeforeUpgrade:
    return "upgrade";
  }
  return "daily";
}

json failed(const platform::Failure& failure) {
  return {{"ok", false}, {"error", failure.detail}};
}

template <class T> json replyFor(const platform::Result<T>& result, json reply) {
  return result ? reply : failed(result.failure());
}

} // namespace

std::optional<DataCommand> dataCommandFromBody(const json& body) {
  if (!body.is_object())
    return std::nullopt;
  std::optional<std::string> cmd = stringMember(body, "cmd");
  std::optional<std::string> cb = stringMember(body, "cb");
  if (!cmd || !cb)
    return std::nullopt;
  return DataCommand{std::move(*cmd), std::move(*cb), stringMember(body, "text"),
                     stringMember(body, "name"), stringMember(body, "reason")};
}

json runDataCommand(const DataCommand& command, DataFolder& folder,
                    platform::Workspace& workspace) {
  const std::string& cmd = command.cmd;
  if (cmd == "read") {
    platform::Result<DataFolder::Read> read = folder.read();
    if (!read)
      return failed(read.failure());
    json reply{{"ok", true}, {"text", read->text ? json(*read->text) : json(nullptr)}};
    if (read->setAside)
      reply["setAside"] = *read->setAside;
    return reply;
  }
  if (cmd == "write" && command.text)
    return replyFor(folder.write(*command.text), {{"ok", true}});
  if (cmd == "setAside") {
    platform::Result<std::string> aside = folder.setAside();
    return aside ? json{{"ok", true}, {"name", *aside}} : failed(aside.failure());
  }
  if (cmd == "copies") {
    json list = json::array();
    for (const DataCopy& copy : folder.copies())
      list.push_back({{"name", copy.name},
                      {"reason", reasonWord(copy.reason)},
                      {"date", copy.date},
                      {"time", copy.time}});
    return {{"ok", true}, {"copies", std::move(list)}};
  }
  if ((cmd == "readCopy" || cmd == "restore") && command.name) {
    platform::Result<std::string> text = cmd == "restore"
                                             ? folder.restore(*command.name, command.text)
                                             : folder.readCopy(*command.name);
    return text ? json{{"ok", true}, {"text", *text}} : failed(text.failure());
  }
  if (cmd == "keep" && (command.reason == "import" || command.reason == "upgrade"))
    return replyFor(folder.keepCopy(command.reason == "import" ? CopyReason::BeforeImport
                                                               : CopyReason::BeforeUpgrade,
                                    command.text),
                    {{"ok", true}});
  if (cmd == "reveal") {
    std::optional<std::filesystem::path> path =
        command.name ? folder.copyPath(*command.name) : std::optional(folder.file());
    if (!path)
      return {{"ok", false}, {"error", "unknown copy"}};
    workspace.revealFile(*path);
    return {{"ok", true}};
  }
  return {{"ok", false}, {"error", "unknown cmd"}};
}

namespace {

// Runs the step and forgets it, so that it never runs twice.
void runOnce(std::function<void()>& step) {
  if (std::function<void()> run = std::exchange(step, nullptr))
    run();
}

json failedSync(const platform::Failure& failure) {
  json reply = failed(failure);
  // Where the folder is not there (a USB stick unplugged, a share offline),
  // it is worth asking again later.
  switch (failure.code) {
  case ENOENT:
  case ESTALE:
  case ENODEV:
  case ENXIO:
    reply["missing"] = true;
    break;
  default:
    break;
  }
  return reply;
}

json unsetReply() {
  return {{"ok", false}, {"unset", true}, {"error", "no sync folder chosen"}};
}

json fileEntry(const SyncFile& file) {
  json entry{{"name", file.name},
             {"computer", file.computer},
             {"size", file.size},
             {"modified", file.modified}};
  if (file.placeholder)
    entry["pending"] = true;
  return entry;
}

} // namespace

struct DataHandler::Outbox {
  std::mutex mutex;
  // Nothing once the handler is gone: a late result goes nowhere.
  platform::MainQueue* queue = nullptr;
  std::weak_ptr<DataHandler> handler;
};

DataHandler::DataHandler(platform::MainQueue& queue, platform::Workspace& workspace,
                         std::filesystem::path folder, SyncServices sync)
    : ChannelHandler(queue), mainQueue_(queue), workspace_(workspace), folder_(std::move(folder)),
      sync_(std::move(sync)), outbox_(std::make_shared<Outbox>()) {
  outbox_->queue = &queue;
}

DataHandler::~DataHandler() {
  std::lock_guard<std::mutex> guard(outbox_->mutex);
  outbox_->queue = nullptr;
}

void DataHandler::act(DataCommand command) {
  if (!showsAppPage(webView))
    return;
  if (command.cmd == "flushed") {
    if (std::shared_ptr<std::function<void()>> done = std::exchange(flushed_, nullptr))
      runOnce(*done);
    return;
  }
  if (actOnSync(command))
    return;
  json result = runDataCommand(command, folder_, workspace_);
  later([script = launchReplyScript(command.cb, result)](DataHandler& handler) {
    replyInAppPage(handler.webView, script);
  });
}

void DataHandler::flushPage(std::chrono::milliseconds wait, std::function<void()> done) {
  std::shared_ptr<platform::WebView> view = webView.lock();
  if (!view || !showsAppPage(webView)) {
    done();
    return;
  }
  // The same step for the page's answer and for the wait running out,
  // whichever comes first.
  auto once = std::make_shared<std::function<void()>>(std::move(done));
  flushed_ = once;
  view->evaluateJavaScript(std::string(FLUSH_SCRIPT));
  mainQueue_.postAfter(wait, [once] { runOnce(*once); });
}

void DataHandler::reply(const std::string& cb, const json& result) {
  later([script = launchReplyScript(cb, result)](DataHandler& handler) {
    replyInAppPage(handler.webView, script);
  });
}

bool DataHandler::actOnSync(const DataCommand& command) {
  const std::string& cmd = command.cmd;
  if (!sync_.defaults)
    return false;
  if (cmd == "computer") {
    reply(command.cb, computerReply());
  } else if (cmd == "setName" && command.name) {
    sync_.defaults->setString(std::string(COMPUTER_NAME_KEY), cleanComputerName(*command.name));
    reply(command.cb, {{"ok", true}, {"name", computerName(*sync_.defaults, sync_.systemName)}});
  } else if (cmd == "chooseFolder") {
    chooseFolder(command.cb);
  } else if (cmd == "forgetFolder") {
    sync_.defaults->setString(std::string(SYNC_FOLDER_KEY), "");
    monitor_.reset();
    watched_.reset();
    listing_.clear();
    listedFolder_.reset();
    reply(command.cb, {{"ok", true}});
  } else if (cmd == "syncList") {
    listFolder(command.cb);
  } else if (cmd == "syncRead" && command.name) {
    readFile(command.cb, *command.name);
  } else if (cmd == "syncWrite" && command.text) {
    writeOwnFile(command.cb, *command.text);
  } else {
    return false;
  }
  return true;
}

std::optional<std::filesystem::path> DataHandler::syncFolder() {
  std::optional<std::string> kept = sync_.defaults->stringForKey(std::string(SYNC_FOLDER_KEY));
  if (!kept || kept->empty())
    return std::nullopt;
  return std::filesystem::path(*kept);
}

const std::string& DataHandler::ownId() {
  if (id_.empty())
    id_ = computerId(*sync_.defaults, sync_.machineIdentity);
  return id_;
}

json DataHandler::computerReply() {
  std::optional<std::filesystem::path> folder = syncFolder();
  return {{"ok", true},
          {"id", ownId()},
          {"name", computerName(*sync_.defaults, sync_.systemName)},
          {"folder", folder ? json(displayText(folder->string())) : json(nullptr)}};
}

void DataHandler::aside(std::function<Step()> job) {
  std::shared_ptr<Outbox> outbox = outbox_;
  {
    std::lock_guard<std::mutex> guard(outbox->mutex);
    outbox->handler = weak_from_this();
  }
  // Holds nothing of the handler's: the thread may outlive it.
  auto run = [outbox, job = std::move(job)] {
    Step step = job();
    std::lock_guard<std::mutex> guard(outbox->mutex);
    if (!outbox->queue)
      return;
    outbox->queue->post([handler = outbox->handler, step = std::move(step)] {
      if (std::shared_ptr<DataHandler> self = handler.lock())
        step(*self);
    });
  };
  if (sync_.runAside)
    sync_.runAside(std::move(run));
  else
    std::thread(std::move(run)).detach();
}

void DataHandler::chooseFolder(const std::string& cb) {
  std::weak_ptr<DataHandler> weak = weak_from_this();
  auto cancelled = [weak, cb] {
    if (std::shared_ptr<DataHandler> self = weak.lock())
      self->reply(cb, {{"ok", true}, {"cancelled", true}});
  };
  if (!sync_.panelLine || !sync_.dialogs) {
    cancelled();
    return;
  }
  sync_.panelLine->join(
      [weak, cb, cancelled] {
        std::shared_ptr<DataHandler> self = weak.lock();
        if (!self)
          return;
        platform::OpenPanelOptions options;
        options.canChooseFiles = false;
        options.canChooseDirectories = true;
        options.allowsMultipleSelection = false;
        std::optional<std::vector<std::filesystem::path>> chosen =
            self->sync_.dialogs->runOpenPanel(options);
        if (!chosen || chosen->empty()) {
          cancelled();
          return;
        }
        const std::filesystem::path folder = chosen->front();
        if (platform::Result<void> made = makeSyncSubfolder(folder); !made) {
          self->reply(cb, failedSync(made.failure()));
          return;
        }
        self->sync_.defaults->setString(std::string(SYNC_FOLDER_KEY), folder.string());
        self->listing_.clear();
        self->listedFolder_.reset();
        self->watch(folder, std::nullopt);
        self->reply(cb, {{"ok", true}, {"folder", displayText(folder.string())}});
        self->later([](DataHandler& handler) {
          replyInAppPage(handler.webView, std::string(SYNC_CHANGED_SCRIPT));
        });
      },
      cancelled);
}

void DataHandler::listFolder(const std::string& cb) {
  if (!syncFolder()) {
    reply(cb, unsetReply());
    return;
  }
  if (listOut_) {
    listWaiting_.push_back(cb);
    return;
  }
  startList({cb});
}

void DataHandler::startList(std::vector<std::string> callbacks) {
  std::optional<std::filesystem::path> folder = syncFolder();
  if (!folder) {
    for (const std::string& cb : callbacks)
      reply(cb, unsetReply());
    return;
  }
  listOut_ = true;
  listCallbacks_ = std::move(callbacks);
  aside([folder = *folder]() -> Step {
    platform::Result<SyncListing> listing = listSyncFolder(folder);
    return [folder, listing = std::move(listing)](DataHandler& handler) {
      handler.listed(folder, listing);
    };
  });
}

void DataHandler::listed(const std::filesystem::path& folder,
                         const platform::Result<SyncListing>& listing) {
  listOut_ = false;
  const bool current = syncFolder() == folder;
  json result;
  if (listing) {
    json files = json::array();
    for (const SyncFile& file : listing->files)
      files.push_back(fileEntry(file));
    result = {{"ok", true}, {"files", std::move(files)}};
    if (current) {
      listing_ = listing->files;
      listedFolder_ = folder;
      // iCloud Drive fetches them by itself once asked; a later round reads them.
      for (const SyncFile& file : listing_)
        if (file.placeholder)
          (void)workspace_.startDownloading(syncSubfolder(folder) / *file.placeholder);
      watch(folder, listing->folder);
    }
  } else {
    result = failedSync(listing.failure());
    if (current) {
      listing_.clear();
      listedFolder_.reset();
      // Watched again once it is back.
      monitor_.reset();
      watched_.reset();
    }
  }
  for (const std::string& cb : listCallbacks_)
    reply(cb, result);
  listCallbacks_.clear();
  if (!listWaiting_.empty())
    startList(std::exchange(listWaiting_, {}));
}

void DataHandler::watch(const std::filesystem::path& folder,
                        std::optional<platform::FileIdentity> identity) {
  if (!sync_.watchFolder)
    return;
  const std::filesystem::path watched = syncSubfolder(folder);
  if (!identity)
    identity = platform::fileIdentity(watched);
  // The same folder is still watched; one made anew (a stick back in) is
  // watched anew.
  if (monitor_ && identity && watched_ == identity)
    return;
  std::weak_ptr<DataHandler> weak = weak_from_this();
  monitor_ = sync_.watchFolder(watched, [weak] {
    if (std::shared_ptr<DataHandler> self = weak.lock())
      self->folderChanged();
  });
  watched_ = monitor_ ? identity : std::nullopt;
}

void DataHandler::folderChanged() {
  if (changePending_)
    return;
  changePending_ = true;
  std::weak_ptr<DataHandler> weak = weak_from_this();
  mainQueue_.postAfter(sync_.changeDelay, [weak] {
    if (std::shared_ptr<DataHandler> self = weak.lock()) {
      self->changePending_ = false;
      replyInAppPage(self->webView, std::string(SYNC_CHANGED_SCRIPT));
    }
  });
}

namespace {

// One read and whether its reply has gone: by its result or by giving up.
struct ReadRound {
  std::string cb;
  bool answered = false;
};

} // namespace

void DataHandler::readFile(const std::string& cb, const std::string& name) {
  std::optional<std::filesystem::path> folder = syncFolder();
  if (!folder) {
    reply(cb, unsetReply());
    return;
  }
  // Only a name the last listing of this folder gave; never a path.
  auto listed = std::find_if(listing_.begin(), listing_.end(),
                             [&](const SyncFile& file) { return file.name == name; });
  if (listedFolder_ != folder || listed == listing_.end()) {
    reply(cb, {{"ok", false}, {"error", "unknown file"}});
    return;
  }
  if (std::find(readsOut_.begin(), readsOut_.end(), *folder) != readsOut_.end()) {
    reply(cb, {{"ok", false}, {"busy", true}, {"error", platform::describeError(EBUSY)}});
    return;
  }
  readsOut_.push_back(*folder);
  auto round = std::make_shared<ReadRound>(ReadRound{cb, false});
  aside([folder = *folder, file = *listed, reader = sync_.reader, round]() -> Step {
    platform::Result<std::string> text = readSyncFile(folder, file, reader);
    json result = text ? json{{"ok", true}, {"text", *text}} : failedSync(text.failure());
    return [folder, round, result = std::move(result)](DataHandler& handler) {
      // The folder is free for the next read only once this one has come back.
      auto out = std::find(handler.readsOut_.begin(), handler.readsOut_.end(), folder);
      if (out != handler.readsOut_.end())
        handler.readsOut_.erase(out);
      if (!round->answered) {
        round->answered = true;
        handler.reply(round->cb, result);
      }
    };
  });
  // A read that hangs (a share gone quiet) cannot be stopped: its thread is
  // left, and the page hears now that this round has none.
  std::weak_ptr<DataHandler> weak = weak_from_this();
  mainQueue_.postAfter(sync_.readTimeout, [weak, round] {
    std::shared_ptr<DataHandler> self = weak.lock();
    if (!self || round->answered)
      return;
    round->answered = true;
    self->reply(round->cb,
                {{"ok", false}, {"timeout", true}, {"error", platform::describeError(ETIMEDOUT)}});
  });
}

void DataHandler::writeOwnFile(const std::string& cb, std::string text) {
  if (!syncFolder()) {
    reply(cb, unsetReply());
    return;
  }
  // One write at a time, so that an older text never lands after a newer
  // one; what comes meanwhile waits, the newest text only.
  if (writeOut_) {
    nextText_ = std::move(text);
    nextCallbacks_.push_back(cb);
    return;
  }
  startWrite({cb}, std::move(text));
}

void DataHandler::startWrite(std::vector<std::string> callbacks, std::string text) {
  std::optional<std::filesystem::path> folder = syncFolder();
  if (!folder) {
    for (const std::string& cb : callbacks)
      reply(cb, unsetReply());
    return;
  }
  writeOut_ = true;
  aside([folder = *folder, id = ownId(), text = std::move(text),
         callbacks = std::move(callbacks)]() -> Step {
    platform::Result<void> written = writeOwnSyncFile(folder, id, text);
    json result = written ? json{{"ok", true}} : failedSync(written.failure());
    return [callbacks, result = std::move(result)](DataHandler& handler) {
      handler.writeOut_ = false;
      for (const std::string& cb : callbacks)
        handler.reply(cb, result);
      if (handler.nextText_) {
        std::string next = std::move(*handler.nextText_);
        handler.nextText_.reset();
        handler.startWrite(std::exchange(handler.nextCallbacks_, {}), std::move(next));
      }
    };
  });
}
