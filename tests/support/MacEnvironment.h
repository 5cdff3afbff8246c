#pragma once

// The Mac's ways as the Mac backend gives them (platform/mac/MacPlatform.mm),
// so the portable rules can be held to what they do on a Mac here too.

#include "platform/Environment.h"

enum class TestSystem { Mac, Linux };

// Gives env the Mac's places for its home, and its kind. An Applications
// folder already given stays.
inline void useMacWays(platform::Environment& env) {
  env.kind = "mac";
  env.applicationSupportDirectory = env.homeDirectory / "Library" / "Application Support";
  if (env.applicationsDirectory.empty())
    env.applicationsDirectory = "/Applications";
  env.keepsDefaultsItself = true;
  env.loginItemFormat = platform::LoginItemFormat::LaunchAgent;
  env.listsAppsByLauncherEntry = false;
  env.translocatesDownloadedApps = true;
  env.guardsAppsAgainstChanges = true;
}
