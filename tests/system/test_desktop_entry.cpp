// The desktop entries as the session reads them: GIO loads the autostart and
// launcher entries the app wrote and starts what they name. No window is
// needed, only GIO.

#include "support/TempDir.h"
#include "system/Autostart.h"
#include "system/Install.h"

#include <gio/gdesktopappinfo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

// Loads the entry as the session does and starts it; the error when either fails.
std::string launchEntry(const fs::path& entry) {
  GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(entry.c_str());
  if (!info)
    return "GIO could not load " + entry.string() + ":\n" + readFile(entry);
  GError* error = nullptr;
  std::string failure;
  if (!g_app_info_launch(G_APP_INFO(info), nullptr, nullptr, &error)) {
    failure = std::string("launch failed: ") + (error ? error->message : "?");
    g_clear_error(&error);
  }
  g_object_unref(info);
  return failure;
}

std::string waitForLines(const fs::path& file, std::size_t lines) {
  std::string text;
  for (int i = 0; i < 500; ++i) {
    text = readFile(file);
    if (std::size_t(std::count(text.begin(), text.end(), '\n')) >= lines)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return text;
}

} // namespace

TEST(DesktopEntries, APathWithPercentIsStartedByTheSession) {
  TempDir dir;
  const fs::path root = dir.path() / "100% a";
  const fs::path marker = dir.path() / "started";
  platform::Environment env;
  env.homeDirectory = root / "home";
  env.configDirectory = env.homeDirectory / ".config";
  env.dataDirectory = env.homeDirectory / ".local" / "share";
  env.applicationsDirectory = env.homeDirectory / "Applications";
  env.bundlePath = root / "build" / "Tessaloom";
  env.executablePath = env.bundlePath / "Tessaloom";
  fs::create_directories(env.bundlePath);
  fs::create_directories(env.homeDirectory);
  // Stands in for the app: says from where and with what it was started.
  writeFile(env.executablePath,
            "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" >>'" + marker.string() + "'\n");
  fs::permissions(env.executablePath, fs::perms::owner_all);

  ASSERT_TRUE(hlvnSetAutostart(env, true));
  ASSERT_EQ(launchEntry(autostartItemPath(env)), "");
  EXPECT_EQ(waitForLines(marker, 2), env.executablePath.string() + "\n--ball-only\n");

  ASSERT_TRUE(hlvnInstallToApplications(env).ok);
  ASSERT_EQ(launchEntry(launcherEntryPath(env)), "");
  const fs::path copy = env.applicationsDirectory / "Tessaloom" / "Tessaloom";
  EXPECT_EQ(waitForLines(marker, 3),
            env.executablePath.string() + "\n--ball-only\n" + copy.string() + "\n");
}
