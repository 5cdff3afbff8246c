#include "system/Autostart.h"

#include "system/DesktopEntry.h"
#include "system/PropertyList.h"
#include "test_install_roots.h"

#include <gtest/gtest.h>

#include <fstream>

#include <csignal>
#include <sys/resource.h>

namespace fs = std::filesystem;
using roots::Machine;

namespace {

std::string expectedPlist(const std::string& escapedProgram) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
         "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
         "<plist version=\"1.0\">\n"
         "<dict>\n"
         "\t<key>AssociatedBundleIdentifiers</key>\n"
         "\t<array>\n"
         "\t\t<string>org.tessaloom.Tessaloom</string>\n"
         "\t</array>\n"
         "\t<key>Label</key>\n"
         "\t<string>org.tessaloom.Tessaloom</string>\n"
         "\t<key>ProgramArguments</key>\n"
         "\t<array>\n"
         "\t\t<string>" +
         escapedProgram +
         "</string>\n"
         "\t\t<string>--ball-only</string>\n"
         "\t</array>\n"
         "\t<key>RunAtLoad</key>\n"
         "\t<true/>\n"
         "</dict>\n"
         "</plist>\n";
}

// Writes to regular files fail beyond a few bytes while it lives, as on a
// full disk; root is not exempt.
class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previousHandler_);
  }

private:
  rlimit saved_{};
  void (*previousHandler_)(int) = nullptr;
};

class AutostartOnBoth : public testing::TestWithParam<TestSystem> {};

INSTANTIATE_TEST_SUITE_P(Systems, AutostartOnBoth,
                         testing::Values(TestSystem::Mac, TestSystem::Linux), [](const auto& info) {
                           return info.param == TestSystem::Mac ? "Mac" : "Linux";
                         });

} // namespace

TEST(AutostartPaths, AgentUnderLaunchAgentsAndEntryUnderXdgAutostart) {
  platform::Environment mac;
  mac.homeDirectory = "/Users/ada";
  useMacWays(mac);
  EXPECT_EQ(autostartItemPath(mac),
            "/Users/ada/Library/LaunchAgents/org.tessaloom.Tessaloom.plist");

  platform::Environment linux;
  linux.homeDirectory = "/home/ada";
  linux.configDirectory = "/home/ada/cfg";
  EXPECT_EQ(autostartItemPath(linux), "/home/ada/cfg/autostart/org.tessaloom.Tessaloom.desktop");
  // No usable $XDG_CONFIG_HOME: the XDG Base Directory default.
  linux.configDirectory = "";
  EXPECT_EQ(autostartItemPath(linux),
            "/home/ada/.config/autostart/org.tessaloom.Tessaloom.desktop");
  linux.configDirectory = "relative/cfg";
  EXPECT_EQ(autostartItemPath(linux),
            "/home/ada/.config/autostart/org.tessaloom.Tessaloom.desktop");
}

TEST(AutostartText, PropertyListIsWhatFoundationWrites) {
  EXPECT_EQ(launchAgentPropertyList("org.tessaloom.Tessaloom",
                                    {"/Users/x/R&D <new>/T.app/Contents/MacOS/T", "--ball-only"}),
            expectedPlist("/Users/x/R&amp;D &lt;new&gt;/T.app/Contents/MacOS/T"));
  // Quotes and apostrophes stay as they are, as Foundation leaves them.
  EXPECT_EQ(plistEscaped("a\"b'c&&"), "a\"b'c&amp;&amp;");
  EXPECT_EQ(launchAgentPropertyList("org.tessaloom.Tessaloom", {"/bad\xff", "--ball-only"}),
            std::nullopt);
}

TEST(AutostartText, MacAgentNamesTheExecutableInsideTheBundle) {
  Machine machine(TestSystem::Mac, "R&D <x>.app");
  ASSERT_TRUE(hlvnSetAutostart(machine.env, true));
  std::string program = machine.env.executablePath.string();
  std::string escaped = plistEscaped(program);
  ASSERT_NE(escaped, program); // the path really needed escaping
  EXPECT_EQ(readFile(autostartItemPath(machine.env)), expectedPlist(escaped));
}

TEST(AutostartText, ExecArgumentsAreQuotedAsDesktopEntriesRequire) {
  EXPECT_EQ(desktopExecArgument("/opt/Tessaloom/tessaloom"), "/opt/Tessaloom/tessaloom");
  EXPECT_EQ(desktopExecArgument("/home/u/My Apps/t"), "\"/home/u/My Apps/t\"");
  EXPECT_EQ(desktopExecArgument("/a'b"), "\"/a'b\"");
  EXPECT_EQ(desktopExecArgument("/x\"y`z$w\\v"), "\"/x\\\"y\\`z\\$w\\\\v\"");
  EXPECT_EQ(desktopExecArgument("/100%/t"), "/100%%/t");
  EXPECT_EQ(desktopExecArgument("/a b%"), "\"/a b%%\"");
  EXPECT_EQ(desktopExecArgument(""), "\"\"");

  // The file's string escapes go over the quoting: one backslash in the
  // path is four in the file.
  EXPECT_EQ(desktopExecValue({"/x\\y", "--ball-only"}), "\"/x\\\\\\\\y\" --ball-only");
  EXPECT_EQ(desktopExecValue({"/a\nb"}), "\"/a\\nb\"");
  EXPECT_EQ(desktopExecValue({"/a\tb"}), "\"/a\\tb\"");
  EXPECT_EQ(desktopExecValue({"/a\rb"}), "\"/a\\rb\"");
  EXPECT_EQ(desktopExecValue({"/Bücher/t"}), "/Bücher/t");
  EXPECT_EQ(desktopExecValue({"/a\x01"}), std::nullopt);
  EXPECT_EQ(desktopExecValue({"/a\x7f"}), std::nullopt);
  EXPECT_EQ(desktopExecValue({"/bad\xc3("}), std::nullopt);
}

TEST(AutostartText, LinuxEntryStartsThisInstallationWithBallOnly) {
  Machine machine(TestSystem::Linux, "Tessa loom");
  ASSERT_TRUE(hlvnSetAutostart(machine.env, true));
  EXPECT_EQ(readFile(autostartItemPath(machine.env)), "[Desktop Entry]\n"
                                                      "Type=Application\n"
                                                      "Name=Dovrelist\n"
                                                      "Exec=\"" +
                                                          machine.env.executablePath.string() +
                                                          "\" --ball-only\n"
                                                          "Icon=" +
                                                          machine.env.bundlePath.string() +
                                                          "/Tessaloom.png\n"
                                                          "X-GNOME-Autostart-enabled=true\n");
}

TEST_P(AutostartOnBoth, OffWithNothingThereSucceedsAndMakesTheFolder) {
  Machine machine(GetParam());
  fs::path item = autostartItemPath(machine.env);
  ASSERT_FALSE(fs::exists(item.parent_path()));
  EXPECT_TRUE(hlvnSetAutostart(machine.env, false));
  EXPECT_TRUE(fs::is_directory(item.parent_path()));
  EXPECT_FALSE(hlvnAutostartEnabled(machine.env));
}

TEST_P(AutostartOnBoth, OnTwiceLeavesOneFileAndOffRemovesIt) {
  Machine machine(GetParam());
  fs::path item = autostartItemPath(machine.env);
  ASSERT_TRUE(hlvnSetAutostart(machine.env, true));
  std::string first = readFile(item);
  ASSERT_TRUE(hlvnSetAutostart(machine.env, true));
  EXPECT_EQ(readFile(item), first);
  EXPECT_EQ(first, autostartItemText(machine.env));
  EXPECT_NE(first.find(machine.env.executablePath.string()), std::string::npos);
  EXPECT_EQ(roots::entryCount(item.parent_path()), 1u);
  EXPECT_TRUE(hlvnAutostartEnabled(machine.env));

  EXPECT_TRUE(hlvnSetAutostart(machine.env, false));
  EXPECT_FALSE(fs::exists(fs::symlink_status(item)));
  EXPECT_FALSE(hlvnAutostartEnabled(machine.env));
}

TEST_P(AutostartOnBoth, APlainFileWhereTheFolderGoesFailsBothWays) {
  Machine machine(GetParam());
  fs::path folder = autostartItemPath(machine.env).parent_path();
  fs::create_directories(folder.parent_path());
  writeFile(folder, "not a folder");
  EXPECT_FALSE(hlvnSetAutostart(machine.env, true));
  EXPECT_FALSE(hlvnSetAutostart(machine.env, false));
  EXPECT_EQ(readFile(folder), "not a folder");
  EXPECT_FALSE(hlvnAutostartEnabled(machine.env));
  // The cause goes with the failure: the step, the folder, the system's word.
  for (bool on : {true, false}) {
    platform::Result<AutostartChange> change = changeAutostart(machine.env, on);
    ASSERT_FALSE(change);
    EXPECT_EQ(change.failure().step, "create the folder");
    EXPECT_EQ(change.failure().path, folder);
    EXPECT_NE(change.failure().code, 0);
    EXPECT_EQ(change.failure().detail, platform::describeError(change.failure().code));
  }
}

TEST_P(AutostartOnBoth, AnyItemAtThePathIsOnAndOffRemovesExactlyIt) {
  Machine machine(GetParam());
  fs::path item = autostartItemPath(machine.env);
  fs::create_directories(item.parent_path());

  writeFile(item, "written by someone else");
  EXPECT_TRUE(hlvnAutostartEnabled(machine.env));
  EXPECT_TRUE(hlvnSetAutostart(machine.env, false));
  EXPECT_FALSE(hlvnAutostartEnabled(machine.env));

  // A dangling link is an item too, and off clears it.
  fs::create_symlink(machine.dir.path() / "gone", item);
  EXPECT_TRUE(hlvnAutostartEnabled(machine.env));
  EXPECT_TRUE(hlvnSetAutostart(machine.env, false));
  EXPECT_FALSE(fs::exists(fs::symlink_status(item)));

  // A link to a real file: the link goes, the file it names stays.
  fs::path elsewhere = machine.dir.path() / "keep.txt";
  writeFile(elsewhere, "mine");
  fs::create_symlink(elsewhere, item);
  EXPECT_TRUE(hlvnSetAutostart(machine.env, false));
  EXPECT_FALSE(fs::exists(fs::symlink_status(item)));
  EXPECT_EQ(readFile(elsewhere), "mine");

  fs::create_directories(item / "inside");
  EXPECT_TRUE(hlvnAutostartEnabled(machine.env));
  EXPECT_TRUE(hlvnSetAutostart(machine.env, false));
  EXPECT_FALSE(hlvnAutostartEnabled(machine.env));
}

TEST_P(AutostartOnBoth, AFailedWriteKeepsThePreviousItem) {
  Machine machine(GetParam());
  fs::path item = autostartItemPath(machine.env);
  fs::create_directories(item.parent_path());
  writeFile(item, "previous");
  bool ok;
  {
    FileSizeLimit limit(8);
    ok = hlvnSetAutostart(machine.env, true);
  }
  EXPECT_FALSE(ok);
  EXPECT_EQ(readFile(item), "previous");
  EXPECT_EQ(roots::entryCount(item.parent_path()), 1u); // no temporary left
}

TEST_P(AutostartOnBoth, NothingIsWrittenThatCouldNeverRun) {
  Machine machine(GetParam());
  fs::path item = autostartItemPath(machine.env);
  platform::Environment env = machine.env;

  env.executablePath = env.bundlePath; // the app folder, not a program
  EXPECT_FALSE(hlvnSetAutostart(env, true));
  env.executablePath = machine.dir.path() / "missing";
  EXPECT_FALSE(hlvnSetAutostart(env, true));
  env.executablePath = machine.dir.path() / "plain";
  writeFile(env.executablePath, "data");
  EXPECT_FALSE(hlvnSetAutostart(env, true));
  env.executablePath = "tessaloom";
  EXPECT_FALSE(hlvnSetAutostart(env, true));
  env.executablePath = "";
  EXPECT_FALSE(hlvnSetAutostart(env, true));
  EXPECT_FALSE(fs::exists(fs::symlink_status(item)));

  // A path the file cannot carry, where the disk can hold its name at all
  // (APFS refuses a name that is not UTF-8).
  env = machine.env;
  env.executablePath = machine.dir.path() / "bad\xff";
  if (std::ofstream(env.executablePath)) {
    roots::writeExecutable(env.executablePath, "#!/bin/sh\n");
    EXPECT_FALSE(hlvnSetAutostart(env, true));
    EXPECT_FALSE(fs::exists(fs::symlink_status(item)));
  }
}
