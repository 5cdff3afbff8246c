#include "system/UserTexts.h"
#include "web/Downloads.h"
#include "web/Navigation.h"
#include "web/SchemeHandler.h"

#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "test_asking_fixture.h"
#include "test_ball_fakes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

TEST_F(AskingTheUser, AnAppAddressTheViewCannotShowIsSavedByTheAppAnyOtherByTheEngine) {
  std::vector<std::string> fetched;
  auto downloads = std::make_shared<Downloads>(
      dialogs, workspace, env,
      [&fetched](const platform::SchemeRequest& request) {
        fetched.push_back(request.url.value_or(""));
        platform::SchemeResponse response;
        response.ok = true;
        response.mimeType = "application/zip";
        response.data = std::string("PK\x03\x04\0zip", 8);
        return response;
      },
      line);
  using platform::DownloadPolicy;
  using platform::ResponsePolicy;

  // What the view can show is shown, whoever serves it; what it cannot show
  // from elsewhere is the engine's to download.
  EXPECT_EQ(downloads->decideResponse({"halvane://local/index.html", true, "index.html"}),
            ResponsePolicy::Allow);
  EXPECT_EQ(downloads->decideResponse({"https://example.org/a.zip", true, "a.zip"}),
            ResponsePolicy::Allow);
  EXPECT_EQ(downloads->decideResponse({"https://example.org/a.zip", false, "a.zip"}),
            ResponsePolicy::Download);
  EXPECT_EQ(downloads->decideResponse({"data:application/zip,PK", false, "download"}),
            ResponsePolicy::Download);
  EXPECT_EQ(downloads->decideDownload({"https://example.org/b.zip", "b.zip"}),
            DownloadPolicy::Allow);
  EXPECT_EQ(downloads->decideDownload({"blob:halvane://local/1234", "1234"}),
            DownloadPolicy::Allow);
  EXPECT_TRUE(queue.pending.empty());

  // An app address never reaches the engine's download: it is dropped there
  // and saved through the panel on a later turn, from what the scheme serves.
  dialogs.saveAnswers = {dir.path() / "mine.zip", dir.path() / "named.zip"};
  EXPECT_EQ(downloads->decideResponse({"HALVANE://local/archive.zip", false, "archive.zip"}),
            ResponsePolicy::Ignore);
  EXPECT_EQ(downloads->decideDownload({"halvane://local/archive.zip?x=1", "archive.zip"}),
            DownloadPolicy::Cancel);
  EXPECT_TRUE(dialogs.savePanels.empty());
  queue.runAll();
  ASSERT_EQ(dialogs.savePanels.size(), 2u);
  EXPECT_EQ(dialogs.savePanels[0].nameFieldValue, "archive.zip");
  EXPECT_EQ(dialogs.savePanels[0].directory, dir.path());
  EXPECT_EQ(fetched, (std::vector<std::string>{"HALVANE://local/archive.zip",
                                               "halvane://local/archive.zip?x=1"}));
  EXPECT_EQ(readFile(dir.path() / "mine.zip"), std::string("PK\x03\x04\0zip", 8));
  EXPECT_EQ(readFile(dir.path() / "named.zip"), std::string("PK\x03\x04\0zip", 8));
  EXPECT_TRUE(dialogs.alerts.empty());
}

TEST_F(AskingTheUser, AnAppAddressTheSchemeCannotServeIsToldInTheAlertsLanguage) {
  // A resource folder without the page: every address of the app fails.
  TempDir resources;
  auto scheme = std::make_shared<SchemeHandler>(resources.path());
  auto downloads = std::make_shared<Downloads>(
      dialogs, workspace, env,
      [scheme](const platform::SchemeRequest& request) { return scheme->start(request); }, line);
  dialogs.saveAnswers = {dir.path() / "gone.zip"};
  EXPECT_EQ(downloads->decideDownload({"halvane://local/gone.zip", "gone.zip"}),
            platform::DownloadPolicy::Cancel);
  queue.runAll();
  EXPECT_EQ(dialogs.alerts,
            (std::vector<fakes::Alert>{{FAILURE_ALERT_TEXT, OWN_FILE_UNREADABLE_TEXT}}));
  EXPECT_FALSE(fs::exists(dir.path() / "gone.zip"));
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

TEST(Navigation, TheMainFrameKeepsToTheAppsPagesAndNoFrameReachesFilesOrOtherPrograms) {
  using platform::NavigationActionPolicy;
  using platform::NavigationFrame;
  constexpr NavigationFrame MAIN = NavigationFrame::Main, SUB = NavigationFrame::Sub,
                            UNKNOWN = NavigationFrame::Unknown;
  constexpr NavigationActionPolicy ALLOW = NavigationActionPolicy::Allow,
                                   DOWNLOAD = NavigationActionPolicy::Download,
                                   CANCEL = NavigationActionPolicy::Cancel;
  struct Row {
    std::string url;
    NavigationFrame frame;
    bool download;
    NavigationActionPolicy policy;
    bool opened;
  };
  const std::vector<Row> rows{
      // What the app serves, and what a page makes of its own, loads anywhere.
      {"halvane://local/index.html", MAIN, false, ALLOW, false},
      {"HALVANE://local/plan.html", SUB, false, ALLOW, false},
      {"about:blank", MAIN, false, ALLOW, false},
      {"About:srcdoc", SUB, false, ALLOW, false},
      {"blob:halvane://local/1234", MAIN, false, ALLOW, false},
      {"data:text/html,<p>x", UNKNOWN, false, ALLOW, false},
      {"halvane://local/archive.zip", MAIN, true, DOWNLOAD, false},
      {"blob:halvane://local/1234", SUB, true, DOWNLOAD, false},
      // A web page loads in a frame, and where the frame is not told; in the
      // main frame it goes to the browser, as does mail.
      {"https://example.org/a", SUB, false, ALLOW, false},
      {"HTTP://example.org/a", UNKNOWN, false, ALLOW, false},
      {"https://example.org/a", MAIN, false, CANCEL, true},
      {"Http://example.org/b", MAIN, false, CANCEL, true},
      {"mailto:grader@example.org", MAIN, false, CANCEL, true},
      {"https://example.org/a.zip", SUB, true, DOWNLOAD, false},
      {"https://example.org/a.zip", MAIN, true, DOWNLOAD, false},
      // Mail from a frame, or where the frame is not told, goes nowhere.
      {"mailto:grader@example.org", SUB, false, CANCEL, false},
      {"MAILTO:grader@example.org", UNKNOWN, false, CANCEL, false},
      // Files, other programs and what is no address at all: stopped
      // everywhere, download or not.
      {"file:///Users/me/Desktop/plan.html", MAIN, false, CANCEL, false},
      {"FILE:///etc/passwd", SUB, false, CANCEL, false},
      {"file:///etc/passwd", UNKNOWN, true, CANCEL, false},
      {"x-made-up-app:open?doc=1", MAIN, false, CANCEL, false},
      {"zoommtg://zoom.us/join", SUB, false, CANCEL, false},
      {"ftp://example.org/", MAIN, false, CANCEL, false},
      {"javascript:alert(1)", MAIN, false, CANCEL, false},
      {"smb://server/share", UNKNOWN, true, CANCEL, false},
      {"", MAIN, false, CANCEL, false},
      {"//example.org/", SUB, false, CANCEL, false},
      {" https://example.org/", MAIN, false, CANCEL, false},
      {"httpx://example.org/", MAIN, false, CANCEL, false},
  };
  for (const Row& row : rows) {
    fakes::RecordingWorkspace workspace;
    EXPECT_EQ(decideNavigationAction(workspace, {row.url, row.frame, row.download}), row.policy)
        << row.url;
    EXPECT_EQ(workspace.openedURLs,
              row.opened ? std::vector<std::string>{row.url} : std::vector<std::string>{})
        << row.url;
  }
}

TEST(Navigation, TheWindowTitleFollowsThePageOrFallsBackToTheAppTitle) {
  EXPECT_EQ(windowTitle("Plan"), "Plan");
  EXPECT_EQ(windowTitle("计划 · Dovrelist"), "计划 · Dovrelist");
  EXPECT_EQ(windowTitle(""), "Dovrelist");
}

TEST(Navigation, AFailedDownloadAlertsButACancelledOneDoesNot) {
  EXPECT_TRUE(
      shouldAlertDownloadFailure({"The network connection was lost.", false, std::nullopt}));
  EXPECT_FALSE(shouldAlertDownloadFailure({"cancelled", true, std::nullopt}));
}

namespace {

std::vector<std::optional<fs::path>> choose(Downloads& downloads, const std::string& suggested) {
  std::vector<std::optional<fs::path>> calls;
  downloads.chooseDestination(
      suggested, [&](std::optional<fs::path> path) { calls.push_back(std::move(path)); });
  return calls;
}

} // namespace

TEST_F(AskingTheUser, ADownloadAsksWhereOnDownloadsAndAnswersOnce) {
  Downloads downloads(dialogs, workspace, env, nullptr, line);

  dialogs.saveAnswers.push_back(std::nullopt);
  std::vector<std::optional<fs::path>> cancelled = choose(downloads, "archive.zip");
  ASSERT_EQ(cancelled.size(), 1u);
  EXPECT_EQ(cancelled[0], std::nullopt);
  ASSERT_EQ(dialogs.savePanels.size(), 1u);
  EXPECT_EQ(dialogs.savePanels[0].nameFieldValue, "archive.zip");
  EXPECT_EQ(dialogs.savePanels[0].directory, dir.path());
  EXPECT_TRUE(dialogs.savePanels[0].canCreateDirectories);

  // The engine writes beside the chosen file, into a place of its own; the
  // chosen file appears only once the download is whole.
  fs::path fresh = dir.path() / "new.zip";
  dialogs.saveAnswers.push_back(fresh);
  std::vector<std::optional<fs::path>> chosen = choose(downloads, "sub/../new.zip");
  ASSERT_EQ(chosen.size(), 1u);
  ASSERT_TRUE(chosen[0]);
  EXPECT_EQ(dialogs.savePanels[1].nameFieldValue, "sub_.._new.zip");
  const fs::path staged = *chosen[0];
  EXPECT_EQ(staged.filename(), "new.zip");
  EXPECT_EQ(staged.parent_path().parent_path(), dir.path());
  EXPECT_FALSE(fs::exists(fs::symlink_status(staged)));
  writeFile(staged, "the new archive");
  EXPECT_FALSE(fs::exists(fresh));
  downloads.finished(staged, 15);
  EXPECT_EQ(readFile(fresh), "the new archive");
  EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"new.zip"});
  EXPECT_TRUE(dialogs.alerts.empty());
}

TEST_F(AskingTheUser, ADownloadReplacesAnExistingFileOnlyOnceItIsWhole) {
  Downloads downloads(dialogs, workspace, env, nullptr, line);
  writeFile(dir.path() / "old.zip", "old");
  fs::permissions(dir.path() / "old.zip", fs::perms(0640));
  fs::create_symlink(dir.path() / "gone.zip", dir.path() / "dangling.zip");
  dialogs.saveAnswers = {dir.path() / "old.zip", dir.path() / "old.zip",
                         dir.path() / "dangling.zip"};

  // A download that fails half-way leaves the previous file as it was.
  std::vector<std::optional<fs::path>> failing = choose(downloads, "old.zip");
  ASSERT_EQ(failing.size(), 1u);
  ASSERT_TRUE(failing[0]);
  writeFile(*failing[0], "half");
  downloads.failed({"The network connection was lost.", false, *failing[0]});
  // The alert waits its turn in the panel line.
  EXPECT_TRUE(dialogs.alerts.empty());
  queue.runAll();
  EXPECT_EQ(readFile(dir.path() / "old.zip"), "old");
  EXPECT_EQ(dialogs.alerts,
            (std::vector<fakes::Alert>{{"导出失败", "The network connection was lost."}}));

  std::vector<std::optional<fs::path>> existing = choose(downloads, "old.zip");
  ASSERT_EQ(existing.size(), 1u);
  ASSERT_TRUE(existing[0]);
  writeFile(*existing[0], "new");
  downloads.finished(*existing[0], 3);
  EXPECT_EQ(readFile(dir.path() / "old.zip"), "new");
  EXPECT_EQ(fs::status(dir.path() / "old.zip").permissions(), fs::perms(0640));

  // A link, even a dangling one, is something there that the panel asked
  // about: what it points to is replaced, as with a saved file.
  std::vector<std::optional<fs::path>> link = choose(downloads, "dangling.zip");
  ASSERT_EQ(link.size(), 1u);
  ASSERT_TRUE(link[0]);
  writeFile(*link[0], "linked");
  downloads.finished(*link[0], 6);
  EXPECT_TRUE(fs::is_symlink(dir.path() / "dangling.zip"));
  EXPECT_EQ(readFile(dir.path() / "gone.zip"), "linked");

  EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"dangling.zip", "gone.zip", "old.zip"}));
  EXPECT_EQ(dialogs.alerts.size(), 1u);
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

TEST_F(AskingTheUser, ADownloadThatMayHaveBeenCutOffNeverCostsThePreviousFile) {
  const fs::path trash = dir.path() / "trash";
  fs::create_directory(trash);
  workspace.trash = [&trash](const fs::path& file) {
    fs::rename(file, trash / file.filename());
    return platform::Result<void>();
  };
  // Each panel a minute after the last, within the limit on panels.
  Downloads downloads(dialogs, workspace, env, nullptr, line,
                      [t = DownloadPanelLimit::Clock::time_point{}]() mutable {
                        return t += std::chrono::seconds(61);
                      });
  const fs::path mine = dir.path() / "mine.bin";
  // Writes `bytes` as the engine would, and reports it finished.
  auto download = [&](const std::string& bytes, std::optional<std::uint64_t> announced) {
    dialogs.saveAnswers.push_back(mine);
    std::vector<std::optional<fs::path>> told = choose(downloads, "mine.bin");
    ASSERT_EQ(told.size(), 1u);
    ASSERT_TRUE(told[0]);
    writeFile(*told[0], bytes);
    downloads.finished(*told[0], announced);
    queue.runAll();
  };
  writeFile(mine, "the previous file");
  fs::permissions(mine, fs::perms(0640));

  // Fewer bytes than announced: refused, with the reason, the file as it was.
  download("1000 of 5000", 5000);
  EXPECT_EQ(readFile(mine), "the previous file");
  EXPECT_EQ(dialogs.alerts, (std::vector<fakes::Alert>{{"导出失败", DOWNLOAD_CUT_SHORT_TEXT}}));
  EXPECT_TRUE(workspace.trashedFiles.empty());
  EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"mine.bin", "trash"}));

  // No length announced: the previous file goes to the Trash first, and the
  // new one keeps its bits.
  download("unannounced", std::nullopt);
  EXPECT_EQ(readFile(mine), "unannounced");
  EXPECT_EQ(fs::status(mine).permissions(), fs::perms(0640));
  EXPECT_EQ(workspace.trashedFiles, std::vector<fs::path>{mine});
  EXPECT_EQ(readFile(trash / "mine.bin"), "the previous file");
  // Nor where more arrived than the length said.
  fs::remove(trash / "mine.bin");
  download("longer than said", 4);
  EXPECT_EQ(readFile(mine), "longer than said");
  EXPECT_EQ(readFile(trash / "mine.bin"), "unannounced");
  EXPECT_EQ(dialogs.alerts.size(), 1u);

  // Where there is no Trash, nothing is replaced, with the reason.
  workspace.trash = nullptr;
  download("unannounced again", std::nullopt);
  EXPECT_EQ(readFile(mine), "longer than said");
  ASSERT_EQ(dialogs.alerts.size(), 2u);
  EXPECT_EQ(dialogs.alerts[1].message, "导出失败");
  EXPECT_EQ(dialogs.alerts[1].informative, previousNotTrashedMessage("no Trash here"));

  // All of it announced: replaced in place, nothing to the Trash.
  download("exactly", 7);
  EXPECT_EQ(readFile(mine), "exactly");
  EXPECT_EQ(workspace.trashedFiles.size(), 3u);
  EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"mine.bin", "trash"}));
  EXPECT_EQ(dialogs.alerts.size(), 2u);
}
