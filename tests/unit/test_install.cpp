#include "system/Install.h"
#include "system/UserTexts.h"

#include "system/Autostart.h"
#include "system/Leftovers.h"
#include "test_install_roots.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#if defined(__linux__)
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#endif

namespace fs = std::filesystem;
using roots::Machine;
using roots::snapshot;

namespace {

const std::string messageStart = "复制到应用程序文件夹失败（";
const std::string messageEnd = "）。可以手动把 App 拖进「应用程序」再点一次开机自启。";

void expectFailureMessage(const InstallResult& result) {
  EXPECT_FALSE(result.ok);
  ASSERT_TRUE(result.error.has_value());
  EXPECT_TRUE(result.error->starts_with(messageStart)) << *result.error;
  EXPECT_TRUE(result.error->ends_with(messageEnd)) << *result.error;
  // The failing step's own description sits between the two.
  EXPECT_GT(result.error->size(), messageStart.size() + messageEnd.size());
}

bool isExecutable(const fs::path& path) {
  return (fs::status(path).permissions() & fs::perms::owner_exec) != fs::perms::none;
}

class InstallOnBoth : public testing::TestWithParam<TestSystem> {};

INSTANTIATE_TEST_SUITE_P(Systems, InstallOnBoth,
                         testing::Values(TestSystem::Mac, TestSystem::Linux), [](const auto& info) {
                           return info.param == TestSystem::Mac ? "Mac" : "Linux";
                         });

} // namespace

TEST(InstallPlace, InstalledMeansUnderTheApplicationsFolder) {
  platform::Environment mac;
  useMacWays(mac); // its Applications folder: /Applications
  for (const char* path : {"/Applications/X.app", "/Applications/Tools/X.app", "/Applications"}) {
    mac.bundlePath = path;
    EXPECT_TRUE(isInstalledInApplications(mac)) << path;
    // Answered from the path alone: none of these exists here.
    InstallResult result = hlvnInstallToApplications(mac);
    EXPECT_TRUE(result.ok) << path;
    EXPECT_FALSE(result.error.has_value());
  }
  for (const char* path : {"/ApplicationsX/X.app", "/Users/a/Applications/X.app", "/X.app"}) {
    mac.bundlePath = path;
    EXPECT_FALSE(isInstalledInApplications(mac)) << path;
  }

  platform::Environment linux;
  linux.homeDirectory = "/home/ada";
  EXPECT_EQ(applicationsFolder(linux), "/home/ada/Applications");
  linux.bundlePath = "/home/ada/Applications/Tessaloom";
  EXPECT_TRUE(isInstalledInApplications(linux));
  linux.bundlePath = "/home/ada/ApplicationsOld/Tessaloom";
  EXPECT_FALSE(isInstalledInApplications(linux));
  linux.applicationsDirectory = "/home/ada/Apps/";
  linux.bundlePath = "/home/ada/Apps/Tessaloom";
  EXPECT_TRUE(isInstalledInApplications(linux));
}

TEST_P(InstallOnBoth, AlreadyInstalledTouchesNothing) {
  Machine machine(GetParam());
  fs::path apps = machine.env.applicationsDirectory;
  for (fs::path inside : {apps / "Tessaloom", apps / "Tools" / "Tessaloom"}) {
    platform::Environment env = machine.env;
    fs::create_directories(inside.parent_path());
    fs::copy(env.bundlePath, inside, fs::copy_options::recursive);
    env.bundlePath = inside;
    env.executablePath = inside / env.executablePath.lexically_relative(machine.env.bundlePath);
    auto before = snapshot(machine.dir.path());
    InstallResult result = hlvnInstallToApplications(env);
    EXPECT_TRUE(result.ok);
    EXPECT_FALSE(result.error.has_value());
    EXPECT_EQ(snapshot(machine.dir.path()), before) << inside;
  }
}

TEST_P(InstallOnBoth, CopiesTheWholeAppUnderItsOwnName) {
  Machine machine(GetParam());
  const fs::path& app = machine.env.bundlePath;
  fs::create_directories(app / "lib");
  writeFile(app / "lib" / "libcore.so.1", "code");
  fs::create_symlink("libcore.so.1", app / "lib" / "libcore.so");
  auto source = snapshot(app);

  InstallResult result = hlvnInstallToApplications(machine.env);
  ASSERT_TRUE(result.ok) << result.error.value_or("");
  EXPECT_FALSE(result.error.has_value());

  fs::path copy = machine.env.applicationsDirectory / app.filename();
  EXPECT_EQ(snapshot(copy), source);
  EXPECT_TRUE(fs::is_symlink(copy / "lib" / "libcore.so"));
  EXPECT_TRUE(isExecutable(copy / machine.env.executablePath.lexically_relative(app)));
  EXPECT_EQ(snapshot(app), source);
  // Nothing but the copy is left in the Applications folder.
  EXPECT_EQ(roots::entryCount(machine.env.applicationsDirectory), 1u);
  // The running app is still where it was started from.
  EXPECT_FALSE(isInstalledInApplications(machine.env));
}

TEST_P(InstallOnBoth, AnOlderCopyIsReplaced) {
  Machine machine(GetParam());
  fs::path copy = machine.env.applicationsDirectory / machine.env.bundlePath.filename();
  fs::create_directories(copy / "old-only");
  writeFile(copy / "old-only" / "stale.txt", "old");
  writeFile(copy / "version", "1");
  writeFile(machine.env.bundlePath / "version", "2");

  ASSERT_TRUE(hlvnInstallToApplications(machine.env).ok);
  EXPECT_EQ(snapshot(copy), snapshot(machine.env.bundlePath));
  EXPECT_EQ(readFile(copy / "version"), "2");
  EXPECT_EQ(roots::entryCount(machine.env.applicationsDirectory), 1u);
}

TEST_P(InstallOnBoth, AFailedCopyKeepsThePreviousCopyAndLeavesNoTemporary) {
  Machine machine(GetParam());
  fs::path apps = machine.env.applicationsDirectory;
  fs::path copy = apps / machine.env.bundlePath.filename();
  fs::create_directories(apps);
  fs::copy(machine.env.bundlePath, copy, fs::copy_options::recursive);
  writeFile(copy / "version", "1");
  auto previous = snapshot(copy);

  // Something no copy can take, whoever runs it: a named pipe.
  writeFile(machine.env.bundlePath / "version", "2");
  ASSERT_EQ(::mkfifo((machine.env.bundlePath / "zz-pipe").c_str(), 0644), 0);

  expectFailureMessage(hlvnInstallToApplications(machine.env));
  EXPECT_EQ(snapshot(copy), previous);
  EXPECT_EQ(roots::entryCount(apps), 1u);
  EXPECT_FALSE(fs::exists(launcherEntryPath(machine.env)));

  // Without a previous copy, nothing at all is left behind.
  fs::remove_all(copy);
  expectFailureMessage(hlvnInstallToApplications(machine.env));
  EXPECT_EQ(roots::entryCount(apps), 0u);
}

TEST_P(InstallOnBoth, AnApplicationsFolderThatCannotBeMadeFails) {
  Machine machine(GetParam());
  fs::path apps = machine.env.applicationsDirectory;
  fs::create_directories(apps.parent_path());
  writeFile(apps, "a file");
  expectFailureMessage(hlvnInstallToApplications(machine.env));
  EXPECT_EQ(readFile(apps), "a file");
}

TEST_P(InstallOnBoth, TheAutostartItemIsRewrittenOnlyWhenItExisted) {
  Machine machine(GetParam());
  ASSERT_TRUE(hlvnInstallToApplications(machine.env).ok);
  EXPECT_FALSE(hlvnAutostartEnabled(machine.env));

  fs::path item = autostartItemPath(machine.env);
  fs::create_directories(item.parent_path());
  writeFile(item, "stale");
  ASSERT_TRUE(hlvnInstallToApplications(machine.env).ok);
  // The copy, not the running app: that may be a download or a translocated
  // copy that is gone by the next login.
  platform::Environment installed = machine.env;
  installed.bundlePath = machine.env.applicationsDirectory / machine.env.bundlePath.filename();
  installed.executablePath =
      installed.bundlePath / machine.env.executablePath.lexically_relative(machine.env.bundlePath);
  ASSERT_TRUE(autostartItemText(installed));
  EXPECT_EQ(readFile(item), *autostartItemText(installed));
  EXPECT_NE(autostartItemText(installed), autostartItemText(machine.env));

  // An item the system holds back moves too: once allowed, it starts the copy.
  machine.env.loginItemApproval = [](const fs::path&) {
    return platform::LoginItemApproval::NotEnabled;
  };
  writeFile(item, "stale");
  ASSERT_TRUE(hlvnInstallToApplications(machine.env).ok);
  EXPECT_EQ(readFile(item), *autostartItemText(installed));
}

TEST_P(InstallOnBoth, ADestinationThatIsTheRunningAppIsAlreadyThere) {
  Machine machine(GetParam());
  platform::Environment env = machine.env;
  // The Applications folder is a link to the folder the app runs from.
  env.applicationsDirectory = machine.dir.path() / "LinkedApplications";
  fs::create_symlink(env.bundlePath.parent_path(), env.applicationsDirectory);
  auto before = snapshot(machine.dir.path());
  InstallResult result = hlvnInstallToApplications(env);
  EXPECT_TRUE(result.ok) << result.error.value_or("");
  EXPECT_EQ(snapshot(machine.dir.path()), before);

  // The destination itself is a link to the running app.
  env = machine.env;
  fs::create_directories(env.applicationsDirectory);
  fs::create_symlink(env.bundlePath, env.applicationsDirectory / env.bundlePath.filename());
  before = snapshot(machine.dir.path());
  EXPECT_TRUE(hlvnInstallToApplications(env).ok);
  EXPECT_EQ(snapshot(machine.dir.path()), before);
}

TEST_P(InstallOnBoth, RefusesDestinationsThatCannotHoldTheApp) {
  Machine machine(GetParam());
  platform::Environment env = machine.env;
  // Each refusal says which it is.
  for (fs::path bundle : {fs::path("/"), fs::path(""), fs::path("."), fs::path("..")}) {
    env.bundlePath = bundle;
    EXPECT_EQ(hlvnInstallToApplications(env).error,
              installFailureMessage(INSTALL_NO_APP_FOLDER_REASON))
        << bundle;
  }
  EXPECT_FALSE(fs::exists(env.applicationsDirectory));

  // An Applications folder inside the app would copy the app into itself.
  env = machine.env;
  env.applicationsDirectory = env.bundlePath / "Applications";
  auto before = snapshot(machine.dir.path());
  EXPECT_EQ(hlvnInstallToApplications(env).error,
            installFailureMessage(INSTALL_INTO_ITSELF_REASON));
  EXPECT_EQ(snapshot(machine.dir.path()), before);
}

TEST(InstallLinux, WritesALauncherEntryForTheCopy) {
  Machine machine(TestSystem::Linux, "Tessa loom");
  ASSERT_TRUE(hlvnInstallToApplications(machine.env).ok);
  fs::path copy = machine.env.homeDirectory / "Applications" / "Tessa loom";
  EXPECT_EQ(launcherEntryPath(machine.env),
            machine.env.homeDirectory /
                ".local/share/applications/org.tessaloom.Tessaloom.desktop");
  EXPECT_EQ(readFile(launcherEntryPath(machine.env)), "[Desktop Entry]\n"
                                                      "Type=Application\n"
                                                      "Name=Dovrelist\n"
                                                      "Exec=\"" +
                                                          (copy / "tessaloom").string() +
                                                          "\"\n"
                                                          "Icon=" +
                                                          (copy / "Tessaloom.png").string() + "\n");
}

TEST(InstallLinux, AnExecutableOutsideTheAppFolderIsRefused) {
  Machine machine(TestSystem::Linux);
  platform::Environment env = machine.env;
  env.executablePath = machine.dir.path() / "elsewhere" / "tessaloom";
  roots::writeExecutable(env.executablePath, "#!/bin/sh\n");
  EXPECT_EQ(hlvnInstallToApplications(env).error,
            installFailureMessage(INSTALL_PROGRAM_OUTSIDE_APP_REASON));
  EXPECT_FALSE(fs::exists(env.applicationsDirectory));
  EXPECT_FALSE(fs::exists(launcherEntryPath(env)));
}

#if defined(__linux__)
namespace {

// Runs `body` in a child process whose own mount namespace has a 1 MiB
// tmpfs at `folder`; the text the child wrote, or "SKIP: ..." where the
// system lets no process here mount one.
std::string inSmallVolume(const fs::path& folder, const std::function<std::string()>& body) {
  int channel[2];
  if (::pipe(channel) != 0)
    return "SKIP: no pipe";
  pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    auto reply = [&](const std::string& text) {
      ssize_t ignored = ::write(channel[1], text.data(), text.size());
      (void)ignored;
      ::_exit(0);
    };
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWNS) != 0) {
      // Without privileges: a user namespace of one's own may mount.
      if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
        reply("SKIP: no mount namespace: " + std::string(std::strerror(errno)));
      writeFile("/proc/self/setgroups", "deny");
      writeFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
      writeFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=1m") != 0)
      reply("SKIP: cannot mount a small tmpfs: " + std::string(std::strerror(errno)));
    reply(body());
  }
  ::close(channel[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) != 0;) {
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      break;
    text.append(buffer, std::size_t(n));
  }
  ::close(channel[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return text;
}

} // namespace

TEST(InstallLinux, AFullDiskIsReportedInTheSystemsWords) {
  Machine machine(TestSystem::Linux);
  const fs::path apps = machine.env.applicationsDirectory;
  fs::create_directories(apps);
  // Four times what the volume holds, written in more than one piece.
  writeFile(machine.env.bundlePath / "resources" / "big.bin", std::string(4 << 20, 'x'));
  std::string got = inSmallVolume(apps, [&] {
    InstallResult result = hlvnInstallToApplications(machine.env);
    if (result.ok)
      return std::string("ok");
    // Nothing of the failed copy is left on the full volume.
    return result.error.value_or("no message") + "|left " + std::to_string(roots::entryCount(apps));
  });
  if (got.starts_with("SKIP: "))
    GTEST_SKIP() << got;
  EXPECT_EQ(got, installFailureMessage(platform::describeError(ENOSPC)) + "|left 0");
}
#endif

TEST_P(InstallOnBoth, AKilledInstallsStagesGoAndAStrandedCopyGoesBack) {
  Machine machine(GetParam());
  const fs::path apps = machine.env.applicationsDirectory;
  const std::string name = machine.env.bundlePath.filename().string();
  const fs::path copy = apps / name;
  // Killed while copying: a half copy in a stage beside the installed one.
  fs::create_directories(copy);
  writeFile(copy / "version", "1");
  fs::create_directories(apps / ("." + name + ".Ab12Cd") / "new");
  writeFile(apps / ("." + name + ".Ab12Cd") / "new" / "version", "half");
  // Look-alikes, and another app's stage.
  fs::create_directories(apps / ("." + name + ".Ab12C") / "new");
  fs::create_directories(apps / (name + ".Ab12Cd") / "new");
  fs::create_directories(apps / ".Other.app.Ab12Cd" / "new");
  const auto others = [&] {
    auto all = snapshot(apps);
    std::erase_if(all, [&](const auto& item) { return item.first.starts_with(name + "/"); });
    all.erase(name);
    return all;
  };

  removeInstallLeftovers(machine.env);
  EXPECT_FALSE(fs::exists(apps / ("." + name + ".Ab12Cd")));
  EXPECT_EQ(readFile(copy / "version"), "1");
  const auto untouched = others();
  EXPECT_EQ(untouched.size(), 6u);

  // Killed between the swap's two renames: the installed copy is only in
  // the stage, and comes back.
  const fs::path stranded = apps / ("." + name + ".Zz99Yy");
  fs::create_directories(stranded / "new");
  fs::rename(copy, stranded / "old");
  removeInstallLeftovers(machine.env);
  EXPECT_FALSE(fs::exists(stranded));
  EXPECT_EQ(readFile(copy / "version"), "1");
  EXPECT_EQ(others(), untouched);
}

TEST_P(InstallOnBoth, OnlyAStageTheAppMadeGivesBackACopy) {
  Machine machine(GetParam());
  const fs::path apps = machine.env.applicationsDirectory;
  const std::string name = machine.env.bundlePath.filename().string();
  const fs::path copy = apps / name;
  fs::create_directories(apps);
  // The user's folders of a stage's name, with an "old" inside: beside
  // something else, as a link, or another user's. None is the app's.
  const fs::path beside = apps / ("." + name + ".usr123");
  fs::create_directories(beside / "old");
  writeFile(beside / "old" / "version", "theirs");
  writeFile(beside / "notes.txt", "mine");
  fs::create_directories(apps / "elsewhere");
  fs::create_directories(apps / ("." + name + ".usr456"));
  fs::create_symlink(apps / "elsewhere", apps / ("." + name + ".usr456") / "old");
  if (::geteuid() == 0) {
    const fs::path theirs = apps / ("." + name + ".usr789");
    fs::create_directories(theirs / "old");
    ASSERT_EQ(::chown(theirs.c_str(), 4321, 4321), 0);
  }
  const auto before = snapshot(apps);

  removeInstallLeftovers(machine.env);
  EXPECT_EQ(snapshot(apps), before);
  EXPECT_FALSE(fs::exists(fs::symlink_status(copy)));

  // A stage this version made and was killed in goes, its copy back in place.
  platform::Result<fs::path> stage = makeTemporaryFolder(apps, installStagePrefix(name));
  ASSERT_TRUE(stage);
  fs::create_directories(*stage / "old");
  writeFile(*stage / "old" / "version", "1");
  removeInstallLeftovers(machine.env);
  EXPECT_FALSE(fs::exists(*stage));
  EXPECT_EQ(readFile(copy / "version"), "1");
}
