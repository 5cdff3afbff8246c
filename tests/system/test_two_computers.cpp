// Two computers keeping in step through one folder their sync engine carries:
// two throw-away HOMEs on this one machine, each its own computer with its
// own defaults, and one shared folder. Each run of the app is a process of
// its own, one after another, driven through the shipped page's own forms
// and buttons. The test plays the sync engine where one has to lag (a file
// not carried yet) or leaves a conflict copy, once while the app runs.

#include "ChildRuns.h"
#include "RealPageScripts.h"
#include "support/SystemHarness.h"

#include "ball/BallView.h"
#include "system/DataFolder.h"
#include "system/SyncFolder.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr const char* CHILD_FLAG = "--two-computers-child";
// Where a child keeps its computer's defaults between runs, as the app's
// own settings file does.
constexpr const char* DEFAULTS_FILE = "defaults.json";

// More of the page: its sync section, grading on 今天, deleting, and what
// it shows once it has settled.
const char* SYNC_HELPERS = R"js(
const ready = async () => {
  await view('settings');
  await until(() => document.getElementById('set-sync'), 'the sync section');
};
const chooseFolder = async () => {
  await ready();
  document.querySelector('[data-key=sync-choose]').click();
  await until(() => document.getElementById('sync-folder')?.textContent === SHARED, 'the chosen folder shown');
};
const task = (title) => [...document.querySelectorAll('main li.task')].find((li) => li.querySelector('.task-title strong')?.textContent === title);
const gradedShown = (li) => /已批 (\d+) \//.exec(li?.querySelector('.task-meta')?.textContent ?? '')?.[1];
const plusOne = async (title, times) => {
  await view('today');
  for (let i = 0; i < times; i++) {
    const li = await until(() => task(title), title + ' on 今天');
    const was = gradedShown(li);
    li.querySelector('[data-key$="-p1"]').click();
    await until(() => gradedShown(task(title)) !== was, 'the +1 shown');
  }
};
const deleteClass = async (name) => {
  await view('classes');
  const card = [...document.querySelectorAll('main .class-card')].find((c) => c.querySelector('strong').textContent === name);
  card.querySelector('[data-key^=cdel-]').click();
  const ok = await until(() => [...document.querySelectorAll('dialog[open] button')].find((b) => b.textContent === '删除'), 'the confirmation');
  ok.click();
  await until(() => !classNames().includes(name), 'the class gone');
};
const shown = async () => {
  await view('classes');
  const classes = classNames().sort();
  await view('assignments');
  const graded = {};
  for (const tr of document.querySelectorAll('main tr')) {
    const title = tr.querySelector('td.title-cell strong');
    if (title) graded[title.textContent] = tr.querySelector('td.progress-cell').textContent.trim();
  }
  return { classes, graded };
};
// What is shown once it is what is expected, or after 15 s what it is then.
const settled = async (expected) => {
  const end = Date.now() + 15000;
  for (;;) {
    const now = await shown();
    if (JSON.stringify(now) === JSON.stringify(expected) || Date.now() > end) return now;
    await new Promise((r) => setTimeout(r, 100));
  }
};
const others = () => [...document.querySelectorAll('ul.computers li .grow')].map((e) => e.textContent);
)js";

struct Computer {
  TempDir home;
  std::string name;
};

ChildOutcome runChild(const json& plan) {
  return runSelf({CHILD_FLAG, plan.dump()});
}

std::string readText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

json readJson(const fs::path& file) {
  return json::parse(readText(file), nullptr, false);
}

// One run of the app on this computer: `script` runs in the page once it
// has started (with SHARED, the folder's path, defined); its value comes
// back. With `choose`, the folder panel answers with the shared folder.
// With `drop`, the script's value is a text that arrives in the folder under
// that name while the app runs, and `after` runs next: the value is then
// {first, after}.
std::optional<json> runOn(const Computer& computer, const fs::path& shared,
                          const std::string& script, bool choose = false,
                          const std::string& drop = "", const std::string& after = "") {
  auto started = std::chrono::steady_clock::now();
  ChildOutcome run = runChild({{"home", computer.home.path().string()},
                               {"shared", shared.string()},
                               {"name", computer.name},
                               {"choose", choose},
                               {"script", script},
                               {"drop", drop},
                               {"after", after}});
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::fprintf(stderr, "[%s] run took %.1f s\n", computer.name.c_str(), seconds);
  json value = json::parse(run.out, nullptr, false);
  if (run.status != 0 || !value.is_object() || !value.contains("value")) {
    ADD_FAILURE() << computer.name << ": status " << run.status << "\n"
                  << run.out << "\n"
                  << run.err;
    return std::nullopt;
  }
  return value["value"];
}

std::string idOf(const Computer& computer) {
  json defaults = readJson(computer.home.path() / DEFAULTS_FILE);
  return defaults.is_object() ? defaults.value(std::string(COMPUTER_ID_KEY), "") : "";
}

fs::path syncFileOf(const fs::path& shared, const Computer& computer) {
  return syncSubfolder(shared) / ownSyncFileName(idOf(computer));
}

json expectShown(std::initializer_list<const char*> classes, const std::string& graded) {
  json names = json::array();
  for (const char* c : classes)
    names.push_back(c);
  return {{"classes", names}, {"graded", {{"周记", graded}}}};
}

TEST(TwoComputers, EditsGradingDeletionsAndAConflictCopyMeetOnBothThroughOneFolder) {
  Computer a{{}, "电脑A"};
  Computer b{{}, "电脑B"};
  TempDir shared;

  // Each on its own before there is a folder.
  ASSERT_TRUE(runOn(a, shared.path(),
                    "await ready(); await addClass('甲班'); await addAssignment('周记'); "
                    "return shown();"));
  ASSERT_TRUE(runOn(b, shared.path(), "await ready(); await addClass('乙班'); return shown();"));
  // One machine, two computers: each HOME has its own id.
  const std::string idA = idOf(a), idB = idOf(b);
  EXPECT_TRUE(isComputerId(idA)) << idA;
  EXPECT_TRUE(isComputerId(idB)) << idB;
  ASSERT_NE(idA, idB);

  // The folder chosen on both: B takes in what A had.
  std::optional<json> chosenA =
      runOn(a, shared.path(), "await chooseFolder(); return shown();", true);
  ASSERT_TRUE(chosenA);
  EXPECT_EQ(*chosenA, expectShown({"甲班"}, "0 / 40"));
  std::optional<json> chosenB =
      runOn(b, shared.path(),
            "await chooseFolder();"
            "const merged = await settled({classes: ['乙班', '甲班'], graded: {'周记': '0 / 40'}});"
            "await ready(); await until(() => others().length, 'the other computer listed');"
            "const listed = others();"
            // B grades two before it has seen A's grading.
            "await plusOne('周记', 2);"
            "return {merged, listed, after: await shown()};",
            true);
  ASSERT_TRUE(chosenB);
  EXPECT_EQ((*chosenB)["merged"], expectShown({"乙班", "甲班"}, "0 / 40"));
  EXPECT_EQ((*chosenB)["listed"], json::array({"电脑A"}));
  EXPECT_EQ((*chosenB)["after"], expectShown({"乙班", "甲班"}, "2 / 40"));
  std::set<std::string> files;
  for (const fs::directory_entry& e : fs::directory_iterator(syncSubfolder(shared.path())))
    files.insert(e.path().filename().string());
  EXPECT_EQ(files, (std::set<std::string>{ownSyncFileName(idA), ownSyncFileName(idB)}));

  // The sync engine has not carried B's file to A yet: A grades three of
  // the same assignment on the same day without knowing of B's two.
  const fs::path fileB = syncFileOf(shared.path(), b);
  const fs::path heldBack = shared.path() / "held-back.json";
  fs::rename(fileB, heldBack);
  std::optional<json> gradedA =
      runOn(a, shared.path(), "await ready(); await plusOne('周记', 3); return shown();");
  fs::rename(heldBack, fileB);
  ASSERT_TRUE(gradedA);
  EXPECT_EQ(*gradedA, expectShown({"甲班"}, "3 / 40"));
  // A's file as it was then: a later conflict copy starts from it.
  const std::string olderA = readText(syncFileOf(shared.path(), a));

  // Now each takes in the other's: both classes on both, and the grading adds up.
  std::optional<json> mergedA = runOn(
      a, shared.path(),
      "await ready(); return settled({classes: ['乙班', '甲班'], graded: {'周记': '5 / 40'}});");
  ASSERT_TRUE(mergedA);
  EXPECT_EQ(*mergedA, expectShown({"乙班", "甲班"}, "5 / 40"));
  std::optional<json> deletedB =
      runOn(b, shared.path(),
            "await ready();"
            "const merged = await settled({classes: ['乙班', '甲班'], graded: {'周记': '5 / 40'}});"
            // A deletion on one, of what the other made.
            "await deleteClass('甲班');"
            "return {merged, after: await shown()};");
  ASSERT_TRUE(deletedB);
  EXPECT_EQ((*deletedB)["merged"], expectShown({"乙班", "甲班"}, "5 / 40"));
  EXPECT_EQ((*deletedB)["after"], expectShown({"乙班"}, "5 / 40"));

  // A sees the deletion; its page also makes the conflict copy: A's older
  // file with a class added on it, stamped as A stamps its changes.
  const std::string makeConflict =
      "const OLDER = " + json(olderA).dump() + "; const ID_A = " + json(idA).dump() + ";" +
      "await ready();"
      "const seen = await settled({classes: ['乙班'], graded: {'周记': '5 / 40'}});"
      "const { parseBackup, backupText } = await import('halvane://local/store.js');"
      "const { Clock, Stamper } = await import('halvane://local/stamps.js');"
      "const { saveClass } = await import('halvane://local/model.js');"
      "const { localISO } = await import('halvane://local/dates.js');"
      "const older = parseBackup(OLDER);"
      "if (!older.ok) throw new Error(older.problems.join(' '));"
      "const d = older.data; const today = localISO(new Date());"
      "const stamper = new Stamper(new Clock(ID_A)); stamper.take(d, today);"
      "saveClass(d, {name: '丙班', color: '#8a5cb8', size: 30});"
      "if (!stamper.stamp(d, today)) throw new Error('nothing stamped');"
      "return {seen, drop: backupText({...d, computer: {id: ID_A, name: '电脑A'}})};";
  // It arrives in the folder while A runs, as a sync engine leaves one
  // where two writes met: A takes in what its own conflict copy alone holds.
  std::optional<json> seenA =
      runOn(a, shared.path(), makeConflict, false,
            idA + ".dovrelist (电脑A's conflicted copy 2026-12-09).json",
            "return settled({classes: ['丙班', '乙班'], graded: {'周记': '5 / 40'}});");
  ASSERT_TRUE(seenA);
  EXPECT_EQ((*seenA)["first"]["seen"], expectShown({"乙班"}, "5 / 40"));
  EXPECT_EQ((*seenA)["after"], expectShown({"丙班", "乙班"}, "5 / 40"));

  // And B, at its start, with A's file (which holds 丙班 now) not carried
  // yet: what only the conflict copy holds, and the deletion holding
  // against its older state of 甲班.
  const fs::path fileA = syncFileOf(shared.path(), a);
  fs::rename(fileA, heldBack);
  std::optional<json> conflictB = runOn(
      b, shared.path(),
      "await ready(); return settled({classes: ['丙班', '乙班'], graded: {'周记': '5 / 40'}});");
  fs::rename(heldBack, fileA);
  ASSERT_TRUE(conflictB);
  EXPECT_EQ(*conflictB, expectShown({"丙班", "乙班"}, "5 / 40"));
}

// Both running at once, each from nothing: once each has chosen the folder,
// what each does appears on the other while both run, through the folder's
// change reports.
TEST(TwoComputers, BothRunningSeeEachOthersChangesWhileTheyRun) {
  Computer a{{}, "电脑A"};
  Computer b{{}, "电脑B"};
  TempDir shared;
  auto meanwhile = [&](Computer& c, const char* mine, const char* theirs) {
    return std::async(std::launch::async, [&c, &shared, mine, theirs] {
      return runOn(
          c, shared.path(),
          std::string("await chooseFolder();"
                      // Both have looked at the folder before either changes anything.
                      "await ready(); await until(() => others().length, 'the other listed');"
                      "await view('classes'); await addClass('") +
              mine + "'); await until(() => classNames().includes('" + theirs +
              "'), 'the class made on the other'); return classNames().sort();",
          true);
    });
  };
  std::future<std::optional<json>> onA = meanwhile(a, "丁班", "戊班");
  std::future<std::optional<json>> onB = meanwhile(b, "戊班", "丁班");
  std::optional<json> sawA = onA.get(), sawB = onB.get();
  ASSERT_TRUE(sawA && sawB);
  EXPECT_EQ(*sawA, json::array({"丁班", "戊班"}));
  EXPECT_EQ(*sawB, json::array({"丁班", "戊班"}));
}

// The stamps the page holds, and those of a stored text of its data.
json stampsIn(const std::string& text) {
  json data = json::parse(text, nullptr, false);
  return data.is_object() && data.contains("stamps") ? data["stamps"] : json();
}

} // namespace

int runTwoComputersChild(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) != CHILD_FLAG)
    return -1;
  const json plan = json::parse(argv[2], nullptr, false);
  if (!plan.is_object())
    return 2;
  const fs::path home = plan["home"].get<std::string>();
  const fs::path shared = plan["shared"].get<std::string>();
  const std::string name = plan["name"];
  systest::prepareProcess(home);
  // Kept on purpose: the child's own run must not take the folders with it.
  auto* app = new systest::SystemApp;
  platform::Environment& env = app->platform.env;
  env.homeDirectory = home;
  env.dataDirectory = home / ".local" / "share";
  // One machine for both, as the system tells it.
  env.machineIdentity = systest::realPlatform().environment().machineIdentity;
  env.computerName = [name] { return name; };
  std::map<std::string, std::string>& defaults = app->platform.defaultsStore.values;
  if (json kept = readJson(home / DEFAULTS_FILE); kept.is_object())
    defaults = kept.get<std::map<std::string, std::string>>();
  if (plan["choose"] == true)
    app->platform.dialogsScript.openAnswers.push_back(std::vector<fs::path>{shared});
  app->addResourcesFrom(TESSALOOM_RESOURCES_DIR);
  app->launch();
  // A count no page posts: the first count comes once the page has settled
  // which data it starts from.
  app->delegate().ball().setCount(-1);
  if (!app->waitForLoads(1) ||
      !systest::spinUntil([&] { return app->delegate().ball().count() != -1; })) {
    std::fprintf(stderr, "the page did not start\n");
    return 3;
  }
  systest::ScriptResult r = app->evaluate(std::string(REAL_PAGE_HELPERS) + SYNC_HELPERS +
                                              "const SHARED = " + json(shared.string()).dump() +
                                              ";\n" + plan["script"].get<std::string>(),
                                          45);
  if (!r.ok) {
    std::fprintf(stderr, "%s: %s\n", name.c_str(), r.error.c_str());
    return 4;
  }
  json value = r.value;
  if (const std::string drop = plan["drop"]; !drop.empty()) {
    if (!value.is_object() || !value["drop"].is_string()) {
      std::fprintf(stderr, "%s: nothing to drop\n", name.c_str());
      return 4;
    }
    // Written beside it and renamed into place, as sync engines do.
    const fs::path arriving = shared / ".arriving";
    std::ofstream(arriving, std::ios::binary) << value["drop"].get<std::string>();
    fs::rename(arriving, syncSubfolder(shared) / drop);
    value.erase("drop");
    systest::ScriptResult next = app->evaluate(
        std::string(REAL_PAGE_HELPERS) + SYNC_HELPERS + plan["after"].get<std::string>(), 45);
    if (!next.ok) {
      std::fprintf(stderr, "%s: %s\n", name.c_str(), next.error.c_str());
      return 4;
    }
    value = {{"first", value}, {"after", next.value}};
  }
  // Leaving stores what is not yet stored, as a quit does; the run ends
  // once both files hold what the page holds.
  systest::ScriptResult left = app->evaluate(
      "window.dispatchEvent(new Event('pagehide')); return localStorage.getItem('dovrelist');");
  if (!left.ok || !left.value.is_string()) {
    std::fprintf(stderr, "%s: no data stored: %s\n", name.c_str(), left.error.c_str());
    return 5;
  }
  const json stamps = stampsIn(left.value.get<std::string>());
  const fs::path dataFile = dataFolderPath(env) / DataFolder::FILE_NAME;
  auto folder = defaults.find(std::string(SYNC_FOLDER_KEY));
  const bool syncing = folder != defaults.end() && !folder->second.empty();
  const fs::path syncFile =
      syncSubfolder(shared) / ownSyncFileName(defaults[std::string(COMPUTER_ID_KEY)]);
  if (!systest::spinUntil([&] {
        return stampsIn(readText(dataFile)) == stamps &&
               (!syncing || stampsIn(readText(syncFile)) == stamps);
      })) {
    std::fprintf(stderr, "%s: the files did not catch up with the page\n", name.c_str());
    return 6;
  }
  std::ofstream(home / DEFAULTS_FILE) << json(defaults).dump();
  std::fputs(json{{"value", value}}.dump().c_str(), stdout);
  delete app;
  return 0;
}
