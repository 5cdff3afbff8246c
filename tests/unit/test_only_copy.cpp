#include "app/OnlyCopy.h"

#include "system/Install.h"
#include "test_install_roots.h"

#include <gtest/gtest.h>

#include <sstream>

namespace fs = std::filesystem;
using roots::Machine;

namespace {

// Only what settling other copies asks of the application.
class StartingApplication final : public platform::Application {
public:
  StartingApplication(std::vector<std::string> arguments, bool firstCopy)
      : arguments_(std::move(arguments)), firstCopy_(firstCopy) {}
  std::vector<std::string> arguments() override { return arguments_; }
  void setDelegate(platform::ApplicationDelegate*) override {}
  bool registerFirstCopy() override { return firstCopy_; }
  // The hand-over to the registered copy.
  int run() override {
    ++runs;
    return 7;
  }
  void setActivationPolicyRegular() override {}
  void activateIgnoringOtherApps() override {}
  void terminate() override {}
  void setMainMenu(const platform::MenuBar&) override {}
  void setIconFile(const fs::path&) override {}
  int runs = 0;

private:
  std::vector<std::string> arguments_;
  bool firstCopy_;
};

struct Start {
  std::optional<int> status;
  std::string said;
  int handedOver = 0;
};

Start start(const platform::Environment& env, InstanceLock& lock, bool ballOnly,
            bool firstCopy = true) {
  std::vector<std::string> arguments{"Tessaloom"};
  if (ballOnly)
    arguments.push_back("--ball-only");
  StartingApplication app(arguments, firstCopy);
  std::ostringstream err;
  Start result;
  result.status = settleOtherCopies(app, env, lock, err);
  result.said = err.str();
  result.handedOver = app.runs;
  return result;
}

} // namespace

TEST(OnlyCopy, OneCopyRunsAndClearsWhatKilledCopiesLeft) {
  Machine machine(platform::SystemKind::Linux);
  const platform::Environment& env = machine.env;
  const fs::path settings = env.configDirectory / "Tessaloom";
  const fs::path autostart = env.configDirectory / "autostart";
  const fs::path launchers = env.dataDirectory / "applications";
  for (const fs::path& folder : {settings, autostart, launchers}) {
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
  for (const fs::path& folder : {settings, autostart, launchers}) {
    EXPECT_FALSE(fs::exists(folder / ".tessaloom-AbC123.tessaloom-tmp")) << folder;
    EXPECT_TRUE(fs::exists(folder / ".tessaloom-AbC12.tessaloom-tmp")) << folder;
  }
  EXPECT_FALSE(fs::exists(stage));

  // While it runs, a second start ends, and clears nothing: the running copy
  // may be writing.
  writeFile(autostart / ".tessaloom-Busy12.tessaloom-tmp", "being written");
  for (bool ballOnly : {false, true}) {
    InstanceLock second;
    Start refused = start(env, second, ballOnly);
    ASSERT_TRUE(refused.status);
    EXPECT_EQ(*refused.status, ballOnly ? 0 : 1);
    EXPECT_EQ(refused.said, ballOnly ? "" : "Dovrelist 已在运行。\n");
    EXPECT_EQ(refused.handedOver, 0);
    EXPECT_FALSE(second.held());
  }
  EXPECT_TRUE(fs::exists(autostart / ".tessaloom-Busy12.tessaloom-tmp"));

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
