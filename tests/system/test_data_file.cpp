// The teacher's data from the shipped page, across ends of the app: changes
// made through the page's forms are in the data file after a quit and come
// back from it without the web engine's storage; and a change survives the
// process killed half a second after it, while the file may still be a
// second behind. Each run of the app is a process of its own, the data
// folder and the engine's folder in one HOME, as on the teacher's machine.

#include "ChildRuns.h"
#include "RealPageScripts.h"
#include "support/SystemHarness.h"

#include "ball/BallView.h"
#include "system/DataFolder.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* CHILD_FLAG = "--datafile-child=";

ChildOutcome runChild(const std::string& mode, const fs::path& home, const std::string& arg) {
  return runSelf({CHILD_FLAG + mode, home.string(), arg});
}

fs::path dataHome(const fs::path& home) {
  return home / ".local" / "share";
}

// The web engine's folder, emptied but for the one-copy lock, which a
// teacher clearing the engine's data would not be able to tell apart.
void removeEngineData(const fs::path& home) {
  fs::path engine = dataHome(home) / "Tessaloom";
  ASSERT_TRUE(fs::is_directory(engine)) << engine;
  for (const fs::directory_entry& entry : fs::directory_iterator(engine))
    if (entry.path().filename() != "instance.lock")
      fs::remove_all(entry.path());
}

std::string readText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The names of the classes in a stored text of the data; [] for none.
nlohmann::json classNamesIn(const std::string& text) {
  nlohmann::json data = nlohmann::json::parse(text, nullptr, false);
  nlohmann::json names = nlohmann::json::array();
  if (data.is_object() && data.contains("classes") && data["classes"].is_array())
    for (const nlohmann::json& c : data["classes"])
      if (c.is_object() && c.contains("name"))
        names.push_back(c["name"]);
  return names;
}

// Where the data is before a start reads (and rewrites) it.
struct Stores {
  nlohmann::json engineClasses;
  nlohmann::json fileClasses;
};

Stores storesOf(const fs::path& home) {
  ChildOutcome engine = runChild("engine", home, "");
  EXPECT_EQ(engine.status, 0) << engine.err;
  nlohmann::json stored = nlohmann::json::parse(engine.out, nullptr, false);
  return {classNamesIn(stored.is_string() ? stored.get<std::string>() : ""),
          classNamesIn(readText(dataHome(home) / "Dovrelist" / DataFolder::FILE_NAME))};
}

// What the next start shows: the classes and the assignments' titles.
nlohmann::json shownAfterStart(const fs::path& home) {
  ChildOutcome shown = runChild("show", home, "");
  EXPECT_EQ(shown.status, 0) << shown.err;
  nlohmann::json value = nlohmann::json::parse(shown.out, nullptr, false);
  if (value.is_discarded() || !value.is_object()) {
    ADD_FAILURE() << "no report from the start: " << shown.out << "\n" << shown.err;
    return {};
  }
  return value;
}

TEST(DataFile, ChangesMadeInThePageAreInTheFileAfterAQuitWithoutTheEnginesStorage) {
  TempDir home;
  ChildOutcome made = runChild("quit", home.path(), "");
  ASSERT_TRUE(made.started) << made.err;
  ASSERT_EQ(made.status, 0) << made.out << "\n" << made.err;
  ASSERT_TRUE(fs::exists(dataHome(home.path()) / "Dovrelist" / DataFolder::FILE_NAME));

  removeEngineData(home.path());
  nlohmann::json shown = shownAfterStart(home.path());
  EXPECT_EQ(shown["classes"], nlohmann::json::array({"三年二班", "四年一班"}));
  EXPECT_EQ(shown["titles"], nlohmann::json::array({"周记"}));
}

TEST(DataFile, EachChangeSurvivesTheProcessKilledHalfASecondAfterIt) {
  TempDir home;
  const std::vector<std::string> names{"一班", "二班", "三班"};
  for (const std::string& name : names) {
    ChildOutcome run = runChild("kill", home.path(), name);
    ASSERT_TRUE(run.started) << run.err;
    ASSERT_TRUE(run.killed) << "status " << run.status << "\n" << run.out << "\n" << run.err;
    ASSERT_EQ(run.out, "changed\n") << run.err;
  }
  Stores stores = storesOf(home.path());
  nlohmann::json shown = shownAfterStart(home.path());
  EXPECT_EQ(shown["classes"], nlohmann::json(names))
      << "the engine's storage had " << stores.engineClasses << ", the file " << stores.fileClasses;
}

} // namespace

int runDataFileChild(int argc, char** argv) {
  if (argc != 4 || std::string(argv[1]).rfind(CHILD_FLAG, 0) != 0)
    return -1;
  const std::string mode = std::string(argv[1]).substr(std::string(CHILD_FLAG).size());
  const fs::path home = argv[2];
  const std::string arg = argv[3];
  systest::prepareProcess(home);
  // Kept on purpose: the child's own run must not take the folders with it.
  auto* app = new systest::SystemApp;
  if (mode == "engine") {
    // A page of the same origin that reads the engine's storage as it is.
    app->addResource("index.html", "<!doctype html><meta charset=utf-8><title>Engine</title>");
    app->launch();
    systest::ScriptResult r;
    if (app->waitForLoads(1))
      r = app->evaluate("return localStorage.getItem('dovrelist');");
    if (!r.ok) {
      std::fprintf(stderr, "engine: %s\n", r.error.c_str());
      return 2;
    }
    std::fputs(r.value.dump().c_str(), stdout);
    return 0;
  }
  // The data folder where the app keeps it in this HOME, beside the engine's
  // folder, rather than under the harness's throw-away root.
  app->platform.env.homeDirectory = home;
  app->platform.env.dataDirectory = dataHome(home);
  app->addResourcesFrom(TESSALOOM_RESOURCES_DIR);
  const fs::path dataFolder = dataFolderPath(app->platform.env);
  // Each write replaces the file by a new one.
  auto fileIdentity = [&] {
    struct stat info {};
    return ::lstat((dataFolder / DataFolder::FILE_NAME).c_str(), &info) == 0 ? info.st_ino
                                                                             : ino_t(0);
  };
  const ino_t before = fileIdentity();
  app->launch();
  // A count no page posts: the first count comes once the page has settled
  // which data it starts from.
  app->delegate().ball().setCount(-1);
  if (!app->waitForLoads(1) ||
      !systest::spinUntil([&] { return app->delegate().ball().count() != -1; })) {
    std::fprintf(stderr, "the page did not start\n");
    return 2;
  }
  auto run = [&](const std::string& body) {
    systest::ScriptResult r = app->evaluate(std::string(REAL_PAGE_HELPERS) + body, 40);
    if (!r.ok)
      std::fprintf(stderr, "%s: %s\n", mode.c_str(), r.error.c_str());
    return r;
  };
  // The changes come right after the start's own write of the engine's
  // data, so that the next write has to wait its turn. A start that takes
  // the file's data writes nothing: the kill then comes without the wait.
  const bool written =
      systest::spinUntil([&] { return fileIdentity() != before; }, mode == "kill" ? 3 : 20);
  if (mode == "quit" && !written) {
    std::fprintf(stderr, "the start wrote no data file\n");
    return 2;
  }
  if (mode == "quit") {
    if (!run("await addClass('三年二班'); await addClass('四年一班'); await addAssignment('周记');")
             .ok)
      return 3;
    // Quit right after the last change, which the file would follow only
    // a second later: the quit waits for the page to write it.
    const int quits = app->platform.app.terminateCalls;
    app->platform.app.terminate();
    if (!systest::spinUntil([&] { return app->platform.app.terminateCalls != quits; }, 10)) {
      std::fprintf(stderr, "the quit never came\n");
      return 4;
    }
    std::string text = readText(dataFolder / DataFolder::FILE_NAME);
    if (text.find("四年一班") == std::string::npos || text.find("周记") == std::string::npos) {
      std::fprintf(stderr, "the changes did not reach the data file before the quit\n");
      return 4;
    }
    // Quitting as the application does once its loop has returned: the
    // delegate, and with it the window and the page, go; the process ends.
    delete app;
    return 0;
  }
  if (mode == "kill") {
    const std::string literal = nlohmann::json(arg).dump();
    if (!run("await addClass(" + literal + ");").ok)
      return 3;
    // The file may be a second behind now; the engine's storage is not.
    std::fputs("changed\n", stdout);
    std::fflush(stdout);
    systest::spinFor(0.5);
    ::kill(::getpid(), SIGKILL);
    return 4;
  }
  if (mode == "show") {
    systest::ScriptResult r = run("await view('classes'); const classes = classNames();"
                                  "await view('assignments'); return {classes, titles: titles()};");
    if (!r.ok)
      return 3;
    std::fputs(r.value.dump().c_str(), stdout);
    return 0;
  }
  return 5;
}
