#include "bridge/DataHandler.h"
#include "system/PanelLine.h"
#include "system/SyncFolder.h"

#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "unit/test_ball_fakes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const std::string OWN = "aaaaaaaaaaaaaaaa";
const std::string OTHER = "bbbbbbbbbbbbbbbb0123";

class SyncWebView : public platform::WebView {
public:
  std::mutex mutex;
  std::vector<std::string> scripts;
  void loadRequest(const std::string&, double) override {}
  void reload() override {}
  void evaluateJavaScript(const std::string& script) override {
    std::lock_guard<std::mutex> guard(mutex);
    scripts.push_back(script);
  }
  std::string currentURL() override { return "halvane://local/index.html"; }
  void readTitle(std::function<void(std::string)> done) override { done(""); }
  void setDelegate(platform::WebViewDelegate*) override {}
  void setAllowsBackForwardNavigationGestures(bool) override {}
  void setZoom(double) override {}
};

// The main queue, safe to post to from the threads the handler starts.
class LockedQueue : public platform::MainQueue {
public:
  void post(std::function<void()> work) override {
    std::lock_guard<std::mutex> guard(mutex_);
    pending_.push_back(std::move(work));
    posted_.notify_all();
  }
  void postAfter(std::chrono::milliseconds, std::function<void()> work) override {
    std::lock_guard<std::mutex> guard(mutex_);
    delayed_.push_back(std::move(work));
  }
  // How long settle waits for work from other threads.
  std::chrono::milliseconds patience{0};
  // Runs what is posted until nothing more comes within patience.
  void settle() {
    for (;;) {
      std::unique_lock<std::mutex> lock(mutex_);
      if (pending_.empty() && !posted_.wait_for(lock, patience, [&] { return !pending_.empty(); }))
        return;
      std::function<void()> work = std::move(pending_.front());
      pending_.pop_front();
      lock.unlock();
      work();
    }
  }
  // Lets the delayed work's time come.
  void passTime() {
    std::vector<std::function<void()>> due;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      due.swap(delayed_);
    }
    for (auto& work : due)
      post(std::move(work));
    settle();
  }
  std::size_t waiting() {
    std::lock_guard<std::mutex> guard(mutex_);
    return pending_.size();
  }

private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> pending_;
  std::vector<std::function<void()>> delayed_;
};

class CountingMonitor : public platform::FolderMonitor {};

struct SyncRig {
  TempDir dir;
  fs::path chosen = dir.path() / "Dropbox";
  fakes::MemoryDefaults defaults;
  fakes::ScriptedDialogs dialogs;
  fakes::RecordingWorkspace workspace;
  LockedQueue queue;
  std::shared_ptr<PanelLine> line = std::make_shared<PanelLine>(queue);
  std::shared_ptr<SyncWebView> view = std::make_shared<SyncWebView>();
  std::vector<fs::path> watched;
  std::function<void()> changed;
  std::shared_ptr<DataHandler> handler;
  int nextCb = 0;

  explicit SyncRig(SyncServices services = {}) {
    fs::create_directories(chosen);
    defaults.values["computerId"] = OWN;
    services.defaults = &defaults;
    services.panelLine = line;
    services.dialogs = &dialogs;
    services.systemName = [] { return std::string("teacher-laptop"); };
    services.watchFolder = [this](const fs::path& folder, std::function<void()> call) {
      watched.push_back(folder);
      changed = std::move(call);
      return std::make_unique<CountingMonitor>();
    };
    if (!services.runAside)
      services.runAside = [](std::function<void()> work) { work(); };
    handler =
        std::make_shared<DataHandler>(queue, workspace, dir.path() / "data", std::move(services));
    handler->webView = view;
  }

  void send(const json& body) {
    platform::ScriptMessage message;
    message.body = body;
    message.fromMainFrame = true;
    message.senderScheme = "halvane";
    handler->didReceiveScriptMessage(message);
  }
  // Sends the command and gives its reply, once it has come.
  json run(json body) {
    const std::string cb = std::to_string(++nextCb);
    body["cb"] = cb;
    send(body);
    queue.settle();
    return replyTo(cb);
  }
  json replyTo(const std::string& cb) {
    const std::string head = "window.__hlvnApply && window.__hlvnApply(" + cb + ", ";
    std::lock_guard<std::mutex> guard(view->mutex);
    json found;
    for (const std::string& script : view->scripts)
      if (script.starts_with(head)) {
        if (!found.is_null())
          return "answered twice";
        found = json::parse(script.substr(head.size(), script.size() - head.size() - 2));
      }
    return found;
  }
  int changesTold() {
    std::lock_guard<std::mutex> guard(view->mutex);
    return static_cast<int>(
        std::count(view->scripts.begin(), view->scripts.end(), SYNC_CHANGED_SCRIPT));
  }
  void choose() {
    dialogs.openAnswers.push_back(std::vector<fs::path>{chosen});
    ASSERT_EQ(run({{"cmd", "chooseFolder"}}), json({{"ok", true}, {"folder", chosen.string()}}));
  }
  fs::path folder() const { return chosen / "Dovrelist"; }
};

std::vector<std::string> listedNames(const json& reply) {
  std::vector<std::string> names;
  for (const json& file : reply.value("files", json::array()))
    names.push_back(file["name"]);
  return names;
}

// Every entry and what a regular one holds, links as links.
std::map<std::string, std::string> contentsOf(const fs::path& folder) {
  std::map<std::string, std::string> contents;
  for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
    std::string what = e.is_symlink()        ? "link:" + fs::read_symlink(e.path()).string()
                       : e.is_regular_file() ? readFile(e.path())
                       : e.is_directory()    ? "folder"
                                             : "other";
    contents[e.path().filename().string()] = what;
  }
  return contents;
}

} // namespace

TEST(SyncFolder, EachComputersFileAndWhatSyncEnginesMakeOfItAreKnownAndNothingElse) {
  const std::string id = "0123456789abcdefghij";
  for (std::string tail :
       std::vector<std::string>{".dovrelist.json", ".dovrelist (conflicted copy 2026-12-09).json",
                                ".dovrelist (Li Ming's conflicted copy 2026-12-09).json",
                                ".dovrelist.sync-conflict-20261209-101010-ABCDEF.json",
                                ".dovrelist 2.json", ".dovrelist (1).json"})
    EXPECT_EQ(syncFileComputer(id + tail), id) << tail;
  for (const std::string& name : std::vector<std::string>{
           id + ".dovrelist.json.tmp", id + ".dovrelistx.json", id + ".dovrelist.JSON",
           id + ".dovrelist (1.json", id + ".dovrelist 02.json", id + ".dovrelist 2a.json",
           id + ".dovrelist (copy).json", id + ".dovrelist (conflicted copy (2)).json",
           id + ".dovrelist.sync-conflict-2026129-101010-ABCDEF.json",
           id + ".dovrelist.sync-conflict-20261209-101010-.json", id + ".other.json",
           id + ".dovrelist/x.json", "." + id + ".dovrelist.json", "dovrelist.json",
           "0123456789ABCDEFGHIJ.dovrelist.json", "0123456789abcde.dovrelist.json",
           std::string(33, 'a') + ".dovrelist.json", id + ".dovrelist \xff.json",
           syncTemporaryPrefix(id) + "Ab12Cd.tessaloom-tmp"})
    EXPECT_FALSE(syncFileComputer(name)) << name;
  EXPECT_TRUE(isComputerId(newComputerId()));
}

TEST(SyncChannel, OnlyListedNamesAreReadOnlyTheOwnFileIsWrittenAndNothingThereIsDeletedOrMoved) {
  SyncRig rig;
  EXPECT_EQ(rig.run({{"cmd", "syncList"}})["unset"], true);
  EXPECT_EQ(rig.run({{"cmd", "syncWrite"}, {"text", "x"}})["unset"], true);
  rig.choose();
  // A folder panel for one folder, and the page hears of the new folder.
  ASSERT_EQ(rig.dialogs.openPanels.size(), 1u);
  EXPECT_TRUE(rig.dialogs.openPanels[0].canChooseDirectories);
  EXPECT_FALSE(rig.dialogs.openPanels[0].canChooseFiles);
  EXPECT_FALSE(rig.dialogs.openPanels[0].allowsMultipleSelection);
  EXPECT_EQ(rig.changesTold(), 1);
  EXPECT_EQ(rig.defaults.values["syncFolder"], rig.chosen.string());
  ASSERT_TRUE(fs::is_directory(rig.folder()));
  rig.dialogs.openAnswers.push_back(std::nullopt);
  EXPECT_EQ(rig.run({{"cmd", "chooseFolder"}}), json({{"ok", true}, {"cancelled", true}}));

  const fs::path d = rig.folder();
  writeFile(d / (OTHER + ".dovrelist.json"), "{\"theirs\":1}");
  writeFile(d / (OTHER + ".dovrelist (conflicted copy 2026-12-09).json"), "{\"theirs\":0");
  writeFile(d / ("cccccccccccccccc.dovrelist.json"), "{\"bad\":\"\xff\xfe\"}");
  writeFile(rig.dir.path() / "outside.json", "outside");
  writeFile(d / "dovrelist.json", "the data file's name");
  writeFile(d / "notes.txt", "notes");
  writeFile(d / (syncTemporaryPrefix(OTHER) + "Ab12Cd.tessaloom-tmp"), "their temporary");
  fs::create_symlink(rig.dir.path() / "outside.json", d / "dddddddddddddddd.dovrelist.json");
  ASSERT_EQ(::mkfifo((d / "eeeeeeeeeeeeeeee.dovrelist.json").c_str(), 0600), 0);
  fs::create_directory(d / "ffffffffffffffff.dovrelist.json");
  writeFile(d / ".gggggggggggggggg.dovrelist.json.icloud", "placeholder");
  const std::map<std::string, std::string> before = contentsOf(d);

  json list = rig.run({{"cmd", "syncList"}});
  ASSERT_EQ(list["ok"], true) << list;
  EXPECT_EQ(listedNames(list),
            (std::vector<std::string>{OTHER + ".dovrelist (conflicted copy 2026-12-09).json",
                                      OTHER + ".dovrelist.json", "cccccccccccccccc.dovrelist.json",
                                      "gggggggggggggggg.dovrelist.json"}));
  EXPECT_EQ(list["files"][1]["computer"], OTHER);
  EXPECT_EQ(list["files"][1]["size"], 12);
  EXPECT_GT(list["files"][1]["modified"].get<std::int64_t>(), 1'600'000'000'000);
  EXPECT_EQ(list["files"][3]["pending"], true);
  EXPECT_EQ(rig.workspace.downloadsStarted,
            std::vector<fs::path>{d / ".gggggggggggggggg.dovrelist.json.icloud"});

  EXPECT_EQ(rig.run({{"cmd", "syncRead"}, {"name", OTHER + ".dovrelist.json"}}),
            json({{"ok", true}, {"text", "{\"theirs\":1}"}}));
  // A partial file is the page's to skip; text that is not UTF-8 is refused.
  EXPECT_EQ(rig.run({{"cmd", "syncRead"},
                     {"name", OTHER + ".dovrelist (conflicted copy 2026-12-09).json"}})["text"],
            "{\"theirs\":0");
  EXPECT_EQ(rig.run({{"cmd", "syncRead"}, {"name", "cccccccccccccccc.dovrelist.json"}})["ok"],
            false);
  for (const std::string& name :
       {std::string("../outside.json"), std::string("dovrelist.json"), std::string("notes.txt"),
        std::string("dddddddddddddddd.dovrelist.json"),
        std::string("eeeeeeeeeeeeeeee.dovrelist.json"), "../Dovrelist/" + OTHER + ".dovrelist.json",
        (d / (OTHER + ".dovrelist.json")).string(), std::string("ffffffffffffffff.dovrelist.json")})
    EXPECT_EQ(rig.run({{"cmd", "syncRead"}, {"name", name}})["ok"], false) << name;
  // A listed name that has become a link since is not read through.
  fs::rename(d / (OTHER + ".dovrelist.json"), rig.dir.path() / "moved.json");
  fs::create_symlink(rig.dir.path() / "outside.json", d / (OTHER + ".dovrelist.json"));
  EXPECT_EQ(rig.run({{"cmd", "syncRead"}, {"name", OTHER + ".dovrelist.json"}})["ok"], false);
  fs::remove(d / (OTHER + ".dovrelist.json"));
  fs::rename(rig.dir.path() / "moved.json", d / (OTHER + ".dovrelist.json"));

  // The write is this computer's own file, whole; a link in its place is
  // replaced, not written through.
  fs::create_symlink(rig.dir.path() / "outside.json", d / (OWN + ".dovrelist.json"));
  EXPECT_EQ(rig.run({{"cmd", "syncWrite"}, {"text", "{\"mine\":2}"}}), json({{"ok", true}}));
  EXPECT_EQ(readFile(rig.dir.path() / "outside.json"), "outside");
  std::map<std::string, std::string> after = contentsOf(d);
  EXPECT_EQ(after[OWN + ".dovrelist.json"], "{\"mine\":2}");
  after.erase(OWN + ".dovrelist.json");
  EXPECT_EQ(after, before);
  // Its own file is listed too, for the page to read back.
  json again = rig.run({{"cmd", "syncList"}});
  EXPECT_EQ(again["files"][0]["name"], OWN + ".dovrelist.json");
  EXPECT_EQ(again["files"][0]["computer"], OWN);

  // Forgetting the folder deletes nothing; nothing is read or written after.
  EXPECT_EQ(rig.run({{"cmd", "forgetFolder"}}), json({{"ok", true}}));
  EXPECT_EQ(rig.run({{"cmd", "syncRead"}, {"name", OTHER + ".dovrelist.json"}})["unset"], true);
  EXPECT_EQ(rig.run({{"cmd", "computer"}})["folder"], nullptr);
  after = contentsOf(d);
  EXPECT_EQ(after.size(), before.size() + 1);
}

TEST(SyncChannel, AFolderThatGoesAwayIsMissingUntilItComesBackAndChangesAreToldOnce) {
  SyncRig rig;
  rig.choose();
  ASSERT_EQ(rig.run({{"cmd", "syncList"}})["ok"], true);
  ASSERT_EQ(rig.watched, (std::vector<fs::path>{rig.folder()}));
  // A burst of changes is told once, after the delay.
  rig.changed();
  rig.changed();
  rig.queue.passTime();
  EXPECT_EQ(rig.changesTold(), 2);

  // The stick is unplugged: nothing is made in the folder's place.
  const fs::path away = rig.dir.path() / "away";
  fs::rename(rig.chosen, away);
  json missing = rig.run({{"cmd", "syncList"}});
  EXPECT_EQ(missing["ok"], false);
  EXPECT_EQ(missing["missing"], true);
  EXPECT_TRUE(missing["error"].is_string());
  EXPECT_EQ(rig.run({{"cmd", "syncWrite"}, {"text", "mine"}})["missing"], true);
  EXPECT_FALSE(fs::exists(rig.chosen));
  // A share's mount point left bare is no place to write either.
  fs::create_directory(rig.chosen);
  EXPECT_EQ(rig.run({{"cmd", "syncList"}})["missing"], true);
  EXPECT_EQ(rig.run({{"cmd", "syncWrite"}, {"text", "mine"}})["missing"], true);
  EXPECT_TRUE(fs::is_empty(rig.chosen));
  fs::remove(rig.chosen);
  // Back again: listed, and watched anew.
  fs::rename(away, rig.chosen);
  EXPECT_EQ(rig.run({{"cmd", "syncList"}}), json({{"ok", true}, {"files", json::array()}}));
  EXPECT_EQ(rig.watched.size(), 2u);
  EXPECT_EQ(rig.run({{"cmd", "syncWrite"}, {"text", "mine"}}), json({{"ok", true}}));
  EXPECT_EQ(readFile(rig.folder() / (OWN + ".dovrelist.json")), "mine");
}

TEST(SyncChannel, AReadThatHangsIsGivenUpAfterTheTimeoutAndItsLateResultTouchesNothing) {
  std::mutex mutex;
  std::condition_variable released;
  bool release = false;
  std::atomic<int> finished{0};
  SyncServices services;
  services.reader = [&](const fs::path& path, std::size_t max,
                        const std::function<bool(const platform::FileIdentity&)>& accept) {
    std::unique_lock<std::mutex> lock(mutex);
    released.wait(lock, [&] { return release; });
    return platform::readRegularFile(path, max, accept);
  };
  // Real threads, never waited for by the handler.
  services.runAside = [&](std::function<void()> work) {
    std::thread([&finished, work = std::move(work)] {
      work();
      ++finished;
    }).detach();
  };
  auto rig = std::make_unique<SyncRig>(std::move(services));
  rig->queue.patience = std::chrono::milliseconds(300);
  rig->choose();
  writeFile(rig->folder() / (OTHER + ".dovrelist.json"), "theirs");
  ASSERT_EQ(rig->run({{"cmd", "syncList"}})["ok"], true);
  const json read{{"cmd", "syncRead"}, {"name", OTHER + ".dovrelist.json"}};
  auto withCb = [&](const char* cb) {
    json body = read;
    body["cb"] = cb;
    return body;
  };

  rig->send(withCb("100"));
  EXPECT_EQ(rig->run(read)["busy"], true);
  EXPECT_TRUE(rig->replyTo("100").is_null());
  rig->queue.passTime();
  json gaveUp = rig->replyTo("100");
  EXPECT_EQ(gaveUp["ok"], false);
  EXPECT_EQ(gaveUp["timeout"], true);
  // The read that comes back late answers nothing again, and frees the folder.
  {
    std::lock_guard<std::mutex> guard(mutex);
    release = true;
  }
  released.notify_all();
  rig->queue.settle();
  EXPECT_EQ(rig->replyTo("100"), gaveUp);
  EXPECT_EQ(rig->run(read), json({{"ok", true}, {"text", "theirs"}}));

  // Stuck again, and the handler goes before it comes back.
  {
    std::lock_guard<std::mutex> guard(mutex);
    release = false;
  }
  const int before = finished;
  rig->send(withCb("200"));
  rig->queue.passTime();
  EXPECT_EQ(rig->replyTo("200")["timeout"], true);
  rig->handler.reset();
  {
    std::lock_guard<std::mutex> guard(mutex);
    release = true;
  }
  released.notify_all();
  while (finished == before)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(rig->queue.waiting(), 0u);
}

TEST(SyncComputer, ACopiedProfileGetsANewIdAndTheNameIsTrimmedAndBounded) {
  fakes::MemoryDefaults defaults;
  const std::string first = computerId(defaults, "machine-one");
  EXPECT_TRUE(isComputerId(first)) << first;
  EXPECT_EQ(computerId(defaults, "machine-one"), first);
  // The same profile on another machine.
  const std::string second = computerId(defaults, "machine-two");
  EXPECT_TRUE(isComputerId(second));
  EXPECT_NE(second, first);
  EXPECT_EQ(computerId(defaults, "machine-two"), second);
  // A machine that tells nothing keeps what it has.
  EXPECT_EQ(computerId(defaults, ""), second);
  EXPECT_EQ(defaults.values["computerId"], second);
  EXPECT_EQ(defaults.values["computerMachine"].find("machine"), std::string::npos);

  SyncRig rig;
  json computer = rig.run({{"cmd", "computer"}});
  EXPECT_EQ(computer,
            json({{"ok", true}, {"id", OWN}, {"name", "teacher-laptop"}, {"folder", nullptr}}));
  EXPECT_EQ(rig.run({{"cmd", "setName"}, {"name", " \t 三年级 电脑\n "}}),
            json({{"ok", true}, {"name", "三年级 电脑"}}));
  EXPECT_EQ(rig.defaults.values["computerName"], "三年级 电脑");
  std::string long_name;
  for (int i = 0; i < 50; ++i)
    long_name += "字";
  const std::string bounded = rig.run({{"cmd", "setName"}, {"name", long_name}})["name"];
  EXPECT_EQ(bounded, long_name.substr(0, 40 * 3));
  EXPECT_EQ(rig.run({{"cmd", "setName"}, {"name", "\xE3\x80\x80 "}}),
            json({{"ok", true}, {"name", "teacher-laptop"}}));
  EXPECT_EQ(rig.run({{"cmd", "computer"}})["name"], "teacher-laptop");
}
