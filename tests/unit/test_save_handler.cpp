#include "bridge/SaveHandler.h"

#include "web/Downloads.h"

#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "test_ball_fakes.h"

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

platform::ScriptMessage message(std::optional<json> body) {
  platform::ScriptMessage m;
  m.body = std::move(body);
  m.fromMainFrame = true;
  m.senderScheme = "halvane";
  return m;
}

std::size_t entriesIn(const fs::path& folder) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// One handler on fakes, with Downloads in a temporary folder.
struct SaveRig {
  TempDir dir;
  fakes::FakeMainQueue queue;
  fakes::ScriptedDialogs dialogs;
  fakes::RecordingWorkspace workspace;
  platform::Environment env;
  std::shared_ptr<PanelLine> line = std::make_shared<PanelLine>(queue);
  std::shared_ptr<SaveHandler> handler;

  SaveRig() {
    env.downloadsDirectory = dir.path() / "Downloads";
    fs::create_directory(*env.downloadsDirectory);
    handler = std::make_shared<SaveHandler>(line, dialogs, workspace, env);
  }
  fs::path downloads() const { return *env.downloadsDirectory; }
  // Delivers the message and runs what it scheduled.
  void deliver(std::optional<json> body) {
    handler->didReceiveScriptMessage(message(std::move(body)));
    queue.runAll();
  }
};

} // namespace

TEST(SaveMessage, MalformedMessagesOpenNoPanel) {
  const std::vector<std::optional<json>> bodies{
      std::nullopt,
      json("report.json"),
      json(42),
      json(nullptr),
      json(true),
      json::array({"report.json", "aGk="}),
      json::object(),
      json{{"name", "report.json"}},
      json{{"data", "aGk="}},
      json{{"name", 7}, {"data", "aGk="}},
      json{{"name", nullptr}, {"data", "aGk="}},
      json{{"name", "report.json"}, {"data", 7}},
      json{{"name", "report.json"}, {"data", json::array({"aGk="})}},
      json{{"name", json::array({"report.json"})}, {"data", "aGk="}},
      json{{"Name", "report.json"}, {"Data", "aGk="}},
      // Base64 that does not decode exactly.
      json{{"name", "report.json"}, {"data", "aGk"}},
      json{{"name", "report.json"}, {"data", "a=Gk"}},
      json{{"name", "report.json"}, {"data", "aGk=!"}},
      // A size for a file too large to carry must be one: over the bound.
      json{{"name", "big.json"}, {"size", MAX_SAVE_BASE64_BYTES / 4 * 3}},
      json{{"name", "big.json"}, {"size", "99999999999"}},
      json{{"name", "big.json"}, {"size", 1e300}},
      json{{"name", "big.json"}, {"size", 99999999999.0}, {"data", 7}},
  };
  for (const auto& body : bodies) {
    SaveRig rig;
    rig.handler->didReceiveScriptMessage(message(body));
    EXPECT_TRUE(rig.queue.pending.empty()) << (body ? body->dump() : "no body");
    rig.queue.runAll();
    EXPECT_TRUE(rig.dialogs.savePanels.empty());
    EXPECT_TRUE(rig.dialogs.alerts.empty());
    EXPECT_TRUE(rig.workspace.revealedFiles.empty());
  }
}

TEST(SaveMessage, WellFormedMessagesAreCleanedAndDecoded) {
  EXPECT_EQ(saveRequestFromBody(json{{"name", "report.json"}, {"data", "aGk="}}),
            (SaveRequest{"report.json", "hi"}));
  // Other members do not matter; whitespace in the Base64 does not either.
  EXPECT_EQ(saveRequestFromBody(
                json{{"name", "a/b.csv"}, {"data", "aG\r\nk="}, {"type", "text/csv"}, {"n", 3}}),
            (SaveRequest{"a_b.csv", "hi"}));
  EXPECT_EQ(saveRequestFromBody(json{{"name", ""}, {"data", ""}}), (SaveRequest{"", ""}));
  EXPECT_EQ(saveRequestFromBody(json{{"name", "a/b.json"}, {"size", 20000000}}),
            (SaveRequest{"a_b.json", "", 20000000}));
}

TEST(SaveHandler, SavesTheExactBytesWhereTheUserChoseAndRevealsThem) {
  SaveRig rig;
  const std::string bytes("\x00\xff\x00\xff\r\n\xe4\xb8\xad", 9);
  fs::path chosen = rig.downloads() / "report.json";
  rig.dialogs.saveAnswers.push_back(chosen);
  // Split over lines, as some encoders write it.
  const std::string data = "AP8A\r\n/w0K\n5Lit";
  rig.handler->didReceiveScriptMessage(message(json{{"name", "report.json"}, {"data", data}}));
  // Nothing modal inside the engine's callback.
  EXPECT_TRUE(rig.dialogs.savePanels.empty());
  ASSERT_EQ(rig.queue.pending.size(), 1u);
  rig.queue.runAll();

  ASSERT_EQ(rig.dialogs.savePanels.size(), 1u);
  const platform::SavePanelOptions& panel = rig.dialogs.savePanels[0];
  EXPECT_EQ(panel.nameFieldValue, "report.json");
  EXPECT_EQ(panel.directory, rig.downloads());
  EXPECT_TRUE(panel.canCreateDirectories);
  EXPECT_EQ(readFile(chosen), bytes);
  EXPECT_EQ(rig.workspace.revealedFiles, std::vector<fs::path>{chosen});
  EXPECT_TRUE(rig.dialogs.alerts.empty());
  EXPECT_EQ(entriesIn(rig.downloads()), 1u);
}

TEST(SaveHandler, ASaveClearsWhatKilledWritesLeftButNotADownloadInProgress) {
  SaveRig rig;
  // A download the engine is still writing into the same folder.
  Downloads downloads(rig.dialogs, rig.workspace, rig.env, {}, rig.line);
  rig.dialogs.saveAnswers.push_back(rig.downloads() / "archive.zip");
  std::optional<fs::path> written;
  downloads.chooseDestination("archive.zip", [&](std::optional<fs::path> p) { written = p; });
  ASSERT_TRUE(written);
  writeFile(*written, "zip");
  // What a killed save and a killed download left there.
  platform::Result<TemporaryFile> save = makeTemporaryFile(rig.downloads(), SAVE_TEMPORARY_PREFIX);
  ASSERT_TRUE(save);
  ASSERT_TRUE(save->fd.close());
  ASSERT_TRUE(makeTemporaryFolder(rig.downloads(), DOWNLOAD_FOLDER_PREFIX));

  rig.dialogs.saveAnswers.push_back(rig.downloads() / "report.json");
  rig.deliver(json{{"name", "report.json"}, {"data", "e30="}});
  downloads.finished(*written, 3);

  EXPECT_TRUE(rig.dialogs.alerts.empty());
  EXPECT_EQ(readFile(rig.downloads() / "report.json"), "{}");
  EXPECT_EQ(readFile(rig.downloads() / "archive.zip"), "zip");
  EXPECT_EQ(entriesIn(rig.downloads()), 2u);
}

TEST(SaveHandler, EmptyDataStillAsksAndWritesAnEmptyFile) {
  SaveRig rig;
  fs::path chosen = rig.downloads() / "empty.txt";
  rig.dialogs.saveAnswers.push_back(chosen);
  rig.deliver(json{{"name", "empty.txt"}, {"data", ""}});
  ASSERT_EQ(rig.dialogs.savePanels.size(), 1u);
  EXPECT_TRUE(fs::is_regular_file(chosen));
  EXPECT_EQ(fs::file_size(chosen), 0u);
  EXPECT_EQ(rig.workspace.revealedFiles, std::vector<fs::path>{chosen});
}

TEST(SaveHandler, ThePanelGetsACleanedNameAndThePlatformFolderWhenThereIsNoDownloads) {
  SaveRig rig;
  rig.env.downloadsDirectory.reset();
  rig.deliver(json{{"name", "../plan/x.ics"}, {"data", "aGk="}});
  rig.deliver(json{{"name", ".."}, {"data", "aGk="}});
  ASSERT_EQ(rig.dialogs.savePanels.size(), 2u);
  EXPECT_EQ(rig.dialogs.savePanels[0].nameFieldValue, ".._plan_x.ics");
  EXPECT_EQ(rig.dialogs.savePanels[0].directory, std::nullopt);
  EXPECT_EQ(rig.dialogs.savePanels[1].nameFieldValue, "");
}

TEST(SaveHandler, CancellingWritesNothingAndShowsNothing) {
  SaveRig rig;
  rig.dialogs.saveAnswers.push_back(std::nullopt);
  rig.deliver(json{{"name", "report.json"}, {"data", "aGk="}});
  EXPECT_EQ(rig.dialogs.savePanels.size(), 1u);
  EXPECT_EQ(entriesIn(rig.downloads()), 0u);
  EXPECT_TRUE(rig.dialogs.alerts.empty());
  EXPECT_TRUE(rig.workspace.revealedFiles.empty());
}

TEST(SaveHandler, APostedSaveIsMadeEvenWhenItsHandlerIsGone) {
  SaveRig rig;
  rig.dialogs.saveAnswers.push_back(rig.downloads() / "late.txt");
  rig.handler->didReceiveScriptMessage(message(json{{"name", "late.txt"}, {"data", "aGk="}}));
  rig.handler.reset();
  rig.queue.runAll();
  EXPECT_EQ(readFile(rig.downloads() / "late.txt"), "hi");
  EXPECT_EQ(rig.workspace.revealedFiles, std::vector<fs::path>{rig.downloads() / "late.txt"});
}

TEST(SaveHandler, ReplacingKeepsTheFileModeAndTheLink) {
  SaveRig rig;
  fs::create_directory(rig.dir.path() / "real");
  fs::path target = rig.dir.path() / "real" / "plan.csv";
  writeFile(target, "old contents");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::path link = rig.downloads() / "plan.csv";
  fs::create_symlink(target, link);

  rig.dialogs.saveAnswers.push_back(link);
  rig.deliver(json{{"name", "plan.csv"}, {"data", "bmV3"}});
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(readFile(target), "new");
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(rig.workspace.revealedFiles, std::vector<fs::path>{link});
}

TEST(SaveHandler, AFailedWriteAlertsOnceWithTheReason) {
  SaveRig rig;
  fs::create_directory(rig.downloads() / "folder");
  writeFile(rig.downloads() / "file", "i am a file");
  // A folder where the file should go, and a folder path through a file.
  rig.dialogs.saveAnswers = {rig.downloads() / "folder", rig.downloads() / "file" / "x.txt"};
  rig.deliver(json{{"name", "folder"}, {"data", "aGk="}});
  rig.deliver(json{{"name", "x.txt"}, {"data", "aGk="}});

  ASSERT_EQ(rig.dialogs.alerts.size(), 2u);
  EXPECT_EQ(rig.dialogs.alerts[0], (fakes::Alert{"导出失败", "Is a directory"}));
  EXPECT_EQ(rig.dialogs.alerts[1], (fakes::Alert{"导出失败", "Not a directory"}));
  EXPECT_TRUE(rig.workspace.revealedFiles.empty());
  EXPECT_TRUE(fs::is_directory(rig.downloads() / "folder"));
  EXPECT_TRUE(fs::is_empty(rig.downloads() / "folder"));
  EXPECT_EQ(readFile(rig.downloads() / "file"), "i am a file");
  EXPECT_EQ(entriesIn(rig.downloads()), 2u);
}

TEST(SaveHandler, AWriteThatFailsHalfwayKeepsTheOldFile) {
  SaveRig rig;
  fs::path chosen = rig.downloads() / "backup.json";
  writeFile(chosen, "precious");
  rig.dialogs.saveAnswers.push_back(chosen);
  std::string big(64 * 1024, 'x');
  std::string data = "eHh4"; // "xxx"
  std::string encoded;
  for (std::size_t i = 0; i < big.size() / 3; ++i)
    encoded += data;
  rig.handler->didReceiveScriptMessage(message(json{{"name", "backup.json"}, {"data", encoded}}));

  // The disk fills up after 4 KiB: writes past it fail with EFBIG, which
  // even root cannot get round.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  rig.queue.runAll();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  ASSERT_EQ(rig.dialogs.alerts.size(), 1u);
  EXPECT_EQ(rig.dialogs.alerts[0], (fakes::Alert{"导出失败", "File too large"}));
  EXPECT_EQ(readFile(chosen), "precious");
  EXPECT_EQ(entriesIn(rig.downloads()), 1u);
  EXPECT_TRUE(rig.workspace.revealedFiles.empty());
}

TEST(SaveHandler, AFolderTheUserMayNotWriteToAlerts) {
  if (::geteuid() == 0)
    GTEST_SKIP() << "root may write anywhere";
  SaveRig rig;
  fs::path locked = rig.downloads() / "locked";
  fs::create_directory(locked);
  writeFile(locked / "old.txt", "old");
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  rig.dialogs.saveAnswers.push_back(locked / "old.txt");
  rig.deliver(json{{"name", "old.txt"}, {"data", "aGk="}});
  fs::permissions(locked, fs::perms::owner_all);
  ASSERT_EQ(rig.dialogs.alerts.size(), 1u);
  EXPECT_EQ(rig.dialogs.alerts[0], (fakes::Alert{"导出失败", "Permission denied"}));
  EXPECT_EQ(readFile(locked / "old.txt"), "old");
}
