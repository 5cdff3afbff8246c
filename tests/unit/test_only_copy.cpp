#include "app/OnlyCopy.h"

#include "support/Fakes.h"
#include "support/ScriptedDialogs.h"
#include "system/Install.h"
#include "system/Leftovers.h"
#include "system/UserTexts.h"
#include "test_install_roots.h"
#include "test_reopen_queues.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using roots::Machine;

namespace {

struct Start {
  std::optional<int> status;
  std::string said;
  int handedOver = 0;
  std::vector<fakes::Alert> alerts;
  // What the start keeps while it runs, when it is the one copy.
  std::unique_ptr<ReopenListener> listener;
};

// The running copy's main loop: idle unless told otherwise.
reopen::ImmediateQueue idleLoop;
int shownForOthers = 0;

Start start(const platform::Environment& env, InstanceLock& lock, bool ballOnly,
            bool firstCopy = true, platform::MainQueue& loop = idleLoop) {
  std::vector<std::string> arguments{"Tessaloom"};
  if (ballOnly)
    arguments.push_back("--ball-only");
  fakes::TestApplication app(arguments);
  app.firstCopy = firstCopy;
  // The hand-over to the registered copy.
  app.loop = [] { return 7; };
  std::ostringstream err;
  fakes::ScriptedDialogs dialogs;
  Reopening reopening{loop, [] { ++shownForOthers; }, 300ms, nullptr};
  Start result;
  result.status = settleOtherCopies(app, dialogs, env, lock, reopening, err);
  result.said = err.str();
  result.handedOver = app.runs;
  result.alerts = dialogs.alerts;
  result.listener = std::move(reopening.listener);
  return result;
}

} // namespace

TEST(OnlyCopy, OneCopyRunsAndClearsWhatKilledCopiesLeft) {
  Machine machine(TestSystem::Linux);
  const platform::Environment& env = machine.env;
  const fs::path settings = env.configDirectory / "Tessaloom";
  const fs::path autostart = env.configDirectory / "autostart";
  const fs::path launchers = env.dataDirectory / "applications";
  const fs::path data = env.dataDirectory / "Dovrelist";
  const fs::path copies = data / "copies";
  for (const fs::path& folder : {settings, autostart, launchers, data, copies}) {
    fs::create_directories(folder);
    writeFile(folder / ".tessaloom-AbC123.tessaloom-tmp", "half");
    writeFile(folder / ".tessaloom-AbC12.tessaloom-tmp", "look-alike");
  }
  const fs::path stage = env.applicationsDirectory / ".Tessaloom.Ab12Cd";
  fs::create_directories(stage / "new");
  writeFile(stage / "new" / "tessaloom", "half a copy");

  std::optional<InstanceLock> first(std::in_place);
  Start started = start(env, *first, false);
  EXPECT_FALSE(started.status);
  EXPECT_EQ(started.said, "");
  EXPECT_TRUE(first->held());
  EXPECT_TRUE(fs::is_regular_file(env.dataDirectory / "Tessaloom" / "instance.lock"));
  for (const fs::path& folder : {settings, autostart, launchers, data, copies}) {
    EXPECT_FALSE(fs::exists(folder / ".tessaloom-AbC123.tessaloom-tmp")) << folder;
    EXPECT_TRUE(fs::exists(folder / ".tessaloom-AbC12.tessaloom-tmp")) << folder;
  }
  EXPECT_FALSE(fs::exists(stage));

  // While it runs, a second start has it show its main window and ends, and
  // clears nothing: the running copy may be writing. A ball-only start asks
  // nothing.
  ASSERT_TRUE(started.listener);
  writeFile(autostart / ".tessaloom-Busy12.tessaloom-tmp", "being written");
  shownForOthers = 0;
  for (bool ballOnly : {false, true}) {
    InstanceLock second;
    Start handed = start(env, second, ballOnly);
    EXPECT_EQ(handed.status, std::optional<int>(0));
    EXPECT_EQ(handed.said, "");
    EXPECT_TRUE(handed.alerts.empty());
    EXPECT_EQ(handed.handedOver, 0);
    EXPECT_FALSE(second.held());
    EXPECT_FALSE(handed.listener);
    EXPECT_EQ(shownForOthers, 1);
  }
  EXPECT_TRUE(fs::exists(autostart / ".tessaloom-Busy12.tessaloom-tmp"));

  // A running copy that does not answer (stopped, hung) is given up on
  // after the wait: the start says so where the user sees it.
  {
    started.listener.reset();
    reopen::HeldQueue stopped;
    auto stuck =
        ReopenListener::listen(*onlyCopySocketPath(env), *first, stopped, [] { ++shownForOthers; });
    ASSERT_TRUE(stuck);
    InstanceLock second;
    const auto before = std::chrono::steady_clock::now();
    Start refused = start(env, second, false);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 1500ms);
    EXPECT_EQ(refused.status, std::optional<int>(1));
    EXPECT_EQ(refused.said, "Dovrelist 已在运行。\n");
    EXPECT_EQ(refused.alerts,
              (std::vector<fakes::Alert>{{ALREADY_RUNNING_MESSAGE, NOT_ANSWERING_TEXT}}));
    Start login = start(env, second, true);
    EXPECT_EQ(login.status, std::optional<int>(0));
    EXPECT_EQ(login.said, "");
    EXPECT_TRUE(login.alerts.empty());
    stopped.runAll();
    EXPECT_EQ(shownForOthers, 1);
  }

  // A copy the window system knows takes a plain start over; a ball-only
  // start just ends. Neither takes the lock.
  {
    InstanceLock other;
    Start handed = start(env, other, false, false);
    EXPECT_EQ(handed.status, std::optional<int>(7));
    EXPECT_EQ(handed.handedOver, 1);
    Start login = start(env, other, true, false);
    EXPECT_EQ(login.status, std::optional<int>(0));
    EXPECT_EQ(login.handedOver, 0);
    EXPECT_EQ(handed.said + login.said, "");
    EXPECT_FALSE(other.held());
  }

  // Once the first copy is gone, the next start runs.
  first.reset();
  InstanceLock next;
  EXPECT_FALSE(start(env, next, true).status);
  EXPECT_TRUE(next.held());
  EXPECT_FALSE(fs::exists(autostart / ".tessaloom-Busy12.tessaloom-tmp"));
}

TEST(OnlyCopy, TheSocketGoesWhereItsPathFits) {
  Machine machine(TestSystem::Linux);
  platform::Environment env = machine.env;
  const fs::path beside = env.dataDirectory / "Tessaloom" / "reopen" / "reopen.sock";
  EXPECT_EQ(onlyCopySocketPath(env), std::optional<fs::path>(beside));
  env.runtimeDirectory = machine.dir.path() / "run";
  EXPECT_EQ(onlyCopySocketPath(env),
            std::optional<fs::path>(env.runtimeDirectory / "Tessaloom" / "reopen.sock"));
  // Too long for a socket's address: beside the lock, else the temporary
  // folder, else none.
  env.runtimeDirectory = machine.dir.path() / std::string(110, 'r');
  EXPECT_EQ(onlyCopySocketPath(env), std::optional<fs::path>(beside));
  env.dataDirectory = machine.dir.path() / std::string(110, 'd');
  EXPECT_EQ(onlyCopySocketPath(env), std::nullopt);
  env.temporaryDirectory = "/tmp";
  const std::optional<fs::path> temporary = onlyCopySocketPath(env);
  ASSERT_TRUE(temporary);
  EXPECT_EQ(temporary->parent_path(), "/tmp/Tessaloom-" + std::to_string(::geteuid()));

  // A first copy listens there, and a second start is answered.
  env = machine.env;
  env.runtimeDirectory = machine.dir.path() / std::string(110, 'r');
  InstanceLock first, second;
  Start running = start(env, first, false);
  ASSERT_TRUE(running.listener);
  EXPECT_EQ(start(env, second, false).status, std::optional<int>(0));
}

TEST(OnlyCopy, ALockThatCannotBeTakenKeepsEveryStartOffTheData) {
  Machine machine(TestSystem::Linux);
  const platform::Environment& env = machine.env;
  const fs::path lockFile = env.dataDirectory / "Tessaloom" / "instance.lock";
  const fs::path settings = env.configDirectory / "Tessaloom";
  const fs::path target = env.homeDirectory / "made-by-a-link";
  struct Case {
    std::string what;
    std::function<void()> make;
    std::string cause;
  };
  const std::vector<Case> cases{
      {"a FIFO", [&] { ASSERT_EQ(::mkfifo(lockFile.c_str(), 0600), 0); }, LOCK_IS_OTHER_KIND_CAUSE},
      {"a folder",
       [&] {
         fs::create_directories(lockFile);
         writeFile(lockFile / "inside", "kept");
       },
       LOCK_IS_FOLDER_CAUSE},
      {"a dangling link", [&] { fs::create_symlink(target, lockFile); }, LOCK_IS_LINK_CAUSE},
  };
  for (const Case& blocked : cases) {
    SCOPED_TRACE(blocked.what);
    fs::create_directories(lockFile.parent_path());
    fs::create_directories(settings);
    blocked.make();
    // What a killed write left: only the copy that holds the lock clears it.
    writeFile(settings / ".tessaloom-Kill12.tessaloom-tmp", "half");
    const std::string message = lockUnavailableMessage(lockFile.string(), blocked.cause, true);
    for (bool ballOnly : {false, true}) {
      InstanceLock lock;
      Start refused = start(env, lock, ballOnly);
      EXPECT_EQ(refused.status, std::optional<int>(1));
      EXPECT_EQ(refused.said, LOCK_UNAVAILABLE_TITLE + "：" + message + "\n");
      EXPECT_EQ(refused.alerts, (std::vector<fakes::Alert>{{LOCK_UNAVAILABLE_TITLE, message}}));
      EXPECT_FALSE(lock.held());
    }
    EXPECT_TRUE(fs::exists(settings / ".tessaloom-Kill12.tessaloom-tmp"));
    // What stands there is left for the user to remove, as the text says.
    const fs::file_status status = fs::symlink_status(lockFile);
    EXPECT_NE(status.type(), fs::file_type::regular);
    EXPECT_NE(status.type(), fs::file_type::not_found);
    EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
    if (fs::is_directory(status)) {
      EXPECT_EQ(readFile(lockFile / "inside"), "kept");
    }
    fs::remove_all(lockFile);
  }

  // Once it is gone, the next start runs.
  InstanceLock lock;
  Start runs = start(env, lock, false);
  EXPECT_FALSE(runs.status);
  EXPECT_TRUE(runs.alerts.empty());
  EXPECT_TRUE(lock.held());
}
