#include "web/Navigation.h"

#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fs = std::filesystem;

TEST(Navigation, ShowsWhatTheViewCanShowAndDownloadsTheRest) {
  EXPECT_EQ(responsePolicy(true), platform::ResponsePolicy::Allow);
  EXPECT_EQ(responsePolicy(false), platform::ResponsePolicy::Download);
}

TEST(Navigation, OnlyWebAndMailAddressesLeaveTheApplication) {
  for (std::string url :
       {"http://example.com/", "https://example.com/a?b=c#d", "HTTPS://EXAMPLE.COM", "hTTp://x",
        "mailto:teacher@example.com", "MailTo:a@b.c", "https:"})
    EXPECT_TRUE(mayOpenExternally(url)) << url;
  for (std::string url : {"file:///etc/passwd",
                          "FILE:///Users/me",
                          "halvane://local/index.html",
                          "data:text/html,<script>alert(1)</script>",
                          "javascript:alert(1)",
                          "JavaScript:void(0)",
                          "blob:halvane://local/1234",
                          "ftp://example.com/",
                          "smb://server/share",
                          "tel:123",
                          "x-apple-helpviewer://",
                          "httpx://example.com",
                          "https.evil:x",
                          "http+x://y",
                          "",
                          ":",
                          "http",
                          "//example.com/",
                          "/etc/passwd",
                          " http://example.com",
                          "java\nscript:alert(1)",
                          "ht\ttp://x",
                          "1http://x",
                          "http ://x"})
    EXPECT_FALSE(mayOpenExternally(url)) << url;
}

TEST(Navigation, NewWindowRequestsOpenAllowedAddressesOnce) {
  fakes::RecordingWorkspace workspace;
  openExternally(workspace, std::nullopt);
  openExternally(workspace, std::string("javascript:alert(1)"));
  openExternally(workspace, std::string("file:///etc/passwd"));
  openExternally(workspace, std::string("https://example.com/help"));
  EXPECT_EQ(workspace.openedURLs, std::vector<std::string>{"https://example.com/help"});
}

TEST(Navigation, TheWindowTitleFollowsThePageOrFallsBackToTheAppTitle) {
  EXPECT_EQ(windowTitle("Plan"), "Plan");
  EXPECT_EQ(windowTitle("计划 · Dovrelist"), "计划 · Dovrelist");
  EXPECT_EQ(windowTitle(""), "Dovrelist");
}

TEST(Navigation, AFailedDownloadAlertsButACancelledOneDoesNot) {
  fakes::ScriptedDialogs dialogs;
  EXPECT_TRUE(shouldAlertDownloadFailure({"The network connection was lost.", false}));
  EXPECT_FALSE(shouldAlertDownloadFailure({"cancelled", true}));
  reportDownloadFailure(dialogs, {"Load request cancelled", true});
  EXPECT_TRUE(dialogs.alerts.empty());
  reportDownloadFailure(dialogs, {"The network connection was lost.", false});
  EXPECT_EQ(dialogs.alerts,
            (std::vector<fakes::Alert>{{"导出失败", "The network connection was lost."}}));
}

namespace {

struct DestinationCall {
  std::optional<fs::path> path;
  bool replaceExisting;
};

std::vector<DestinationCall> choose(fakes::ScriptedDialogs& dialogs,
                                    const platform::Environment& env,
                                    const std::string& suggested) {
  std::vector<DestinationCall> calls;
  chooseDownloadDestination(dialogs, env, suggested,
                            [&](std::optional<fs::path> path, bool replace) {
                              calls.push_back({std::move(path), replace});
                            });
  return calls;
}

} // namespace

TEST(Navigation, ADownloadAsksWhereOnDownloadsAndAnswersOnce) {
  TempDir dir;
  platform::Environment env;
  env.downloadsDirectory = dir.path();
  fakes::ScriptedDialogs dialogs;

  dialogs.saveAnswers.push_back(std::nullopt);
  std::vector<DestinationCall> cancelled = choose(dialogs, env, "archive.zip");
  ASSERT_EQ(cancelled.size(), 1u);
  EXPECT_EQ(cancelled[0].path, std::nullopt);
  EXPECT_FALSE(cancelled[0].replaceExisting);
  ASSERT_EQ(dialogs.savePanels.size(), 1u);
  EXPECT_EQ(dialogs.savePanels[0].nameFieldValue, "archive.zip");
  EXPECT_EQ(dialogs.savePanels[0].directory, dir.path());
  EXPECT_TRUE(dialogs.savePanels[0].canCreateDirectories);

  fs::path fresh = dir.path() / "new.zip";
  dialogs.saveAnswers.push_back(fresh);
  std::vector<DestinationCall> chosen = choose(dialogs, env, "sub/../new.zip");
  ASSERT_EQ(chosen.size(), 1u);
  EXPECT_EQ(chosen[0].path, fresh);
  EXPECT_FALSE(chosen[0].replaceExisting);
  EXPECT_EQ(dialogs.savePanels[1].nameFieldValue, "sub_.._new.zip");
}

TEST(Navigation, ADownloadOverAnExistingFileReplacesIt) {
  TempDir dir;
  platform::Environment env;
  env.downloadsDirectory = dir.path();
  fakes::ScriptedDialogs dialogs;
  writeFile(dir.path() / "old.zip", "old");
  fs::create_symlink(dir.path() / "gone.zip", dir.path() / "dangling.zip");
  dialogs.saveAnswers = {dir.path() / "old.zip", dir.path() / "dangling.zip"};

  std::vector<DestinationCall> existing = choose(dialogs, env, "old.zip");
  ASSERT_EQ(existing.size(), 1u);
  EXPECT_TRUE(existing[0].replaceExisting);
  std::vector<DestinationCall> link = choose(dialogs, env, "dangling.zip");
  ASSERT_EQ(link.size(), 1u);
  EXPECT_TRUE(link[0].replaceExisting);
}

TEST(Navigation, AFileFieldGetsAPanelShapedByItsParameters) {
  for (bool multiple : {false, true}) {
    for (bool folders : {false, true}) {
      fakes::ScriptedDialogs dialogs;
      const std::vector<fs::path> answer{"/tmp/a.csv", "/tmp/b.csv"};
      dialogs.openAnswers.push_back(answer);
      int calls = 0;
      std::optional<std::vector<fs::path>> got;
      chooseUploadFiles(dialogs, {multiple, folders}, [&](auto files) {
        ++calls;
        got = std::move(files);
      });
      ASSERT_EQ(dialogs.openPanels.size(), 1u);
      EXPECT_TRUE(dialogs.openPanels[0].canChooseFiles);
      EXPECT_EQ(dialogs.openPanels[0].allowsMultipleSelection, multiple);
      EXPECT_EQ(dialogs.openPanels[0].canChooseDirectories, folders);
      EXPECT_EQ(calls, 1);
      EXPECT_EQ(got, answer);
    }
  }

  fakes::ScriptedDialogs dialogs;
  int calls = 0;
  std::optional<std::vector<fs::path>> got = std::vector<fs::path>{"stale"};
  chooseUploadFiles(dialogs, {}, [&](auto files) {
    ++calls;
    got = std::move(files);
  });
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(got, std::nullopt);
}
