#include "bridge/SaveHandler.h"
#include "system/PanelLine.h"
#include "web/Downloads.h"

#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "test_asking_fixture.h"
#include "test_ball_fakes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

platform::ScriptMessage saveMessage(const std::string& name) {
  platform::ScriptMessage m;
  m.body = json{{"name", name}, {"data", "aGk="}};
  m.fromMainFrame = true;
  m.senderScheme = "halvane";
  return m;
}

} // namespace

TEST_F(AskingTheUser, SavesAndDownloadsAskOneAtATimeAndWhatFindsTheLineFullIsCancelledAtOnce) {
  auto saves = std::make_shared<SaveHandler>(line, dialogs, workspace, env);
  auto downloads = std::make_shared<Downloads>(dialogs, workspace, env, nullptr, line);

  // Each download's answers, by name.
  std::map<std::string, std::vector<std::optional<fs::path>>> answers;
  auto download = [&](const std::string& name) {
    downloads->decideDestination(
        name, [&answers, name](std::optional<fs::path> path) { answers[name].push_back(path); });
  };

  // A save, then a download, a save and a download: one asks, three wait.
  saves->didReceiveScriptMessage(saveMessage("s0.txt"));
  download("d1.zip");
  saves->didReceiveScriptMessage(saveMessage("s2.txt"));
  download("d3.zip");
  EXPECT_TRUE(line->isFull());
  // The fifth is cancelled at once, without a panel; a fifth save is dropped.
  download("d4.zip");
  saves->didReceiveScriptMessage(saveMessage("s5.txt"));
  EXPECT_EQ(answers["d4.zip"], std::vector<std::optional<fs::path>>{std::nullopt});
  EXPECT_TRUE(dialogs.savePanels.empty());

  // A panel is modal: its loop runs the main queue and the engine, which
  // goes on asking. Nothing opens over it, and the line stays full.
  int open = 0, nested = 0;
  dialogs.onSavePanel = [&](const platform::SavePanelOptions& panel) {
    nested += open;
    ++open;
    if (panel.nameFieldValue == "s0.txt") {
      download("d6.zip");
      saves->didReceiveScriptMessage(saveMessage("s7.txt"));
    }
    queue.runAll();
    --open;
  };
  dialogs.saveAnswers = {dir.path() / "s0.txt", dir.path() / "d1.zip", std::nullopt, std::nullopt};
  queue.runAll();

  std::vector<std::string> asked;
  for (const platform::SavePanelOptions& panel : dialogs.savePanels)
    asked.push_back(panel.nameFieldValue);
  EXPECT_EQ(asked, (std::vector<std::string>{"s0.txt", "d1.zip", "s2.txt", "d3.zip"}));
  EXPECT_EQ(nested, 0);
  EXPECT_EQ(answers["d6.zip"], std::vector<std::optional<fs::path>>{std::nullopt});
  EXPECT_EQ(answers["d3.zip"], std::vector<std::optional<fs::path>>{std::nullopt});
  ASSERT_EQ(answers["d1.zip"].size(), 1u);
  ASSERT_TRUE(answers["d1.zip"][0]);
  EXPECT_EQ(readFile(dir.path() / "s0.txt"), "hi");
  EXPECT_TRUE(dialogs.alerts.empty());

  // The engine gives the download up: the folder it was writing in goes.
  downloads->failed({"cancelled", true, *answers["d1.zip"][0]});
  EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"s0.txt"});

  // The line is free again.
  EXPECT_FALSE(line->isFull());
  dialogs.onSavePanel = nullptr;
  download("d8.zip");
  queue.runAll();
  EXPECT_EQ(dialogs.savePanels.size(), 5u);
  EXPECT_EQ(answers["d8.zip"], std::vector<std::optional<fs::path>>{std::nullopt});
}

TEST_F(AskingTheUser, TheEnginesDownloadsStopAskingForAMinuteWhileThePagesExportsStillAsk) {
  auto saves = std::make_shared<SaveHandler>(line, dialogs, workspace, env);
  using namespace std::chrono_literals;
  DownloadPanelLimit::Clock::time_point now{};
  auto downloads = std::make_shared<Downloads>(
      dialogs, workspace, env,
      [](const platform::SchemeRequest&) {
        platform::SchemeResponse response;
        response.ok = true;
        response.data = "own";
        return response;
      },
      line, [&now] { return now; });

  // Starts a download answered `answer`; what it was told, once it is.
  auto download = [&](std::optional<fs::path> answer) {
    dialogs.saveAnswers.push_back(answer);
    std::vector<std::optional<fs::path>> told;
    downloads->decideDestination("d.zip",
                                 [&told](std::optional<fs::path> p) { told.push_back(p); });
    queue.runAll();
    dialogs.saveAnswers.clear();
    return told;
  };
  const std::vector<std::optional<fs::path>> cancelled{std::nullopt};
  auto panels = [&] { return dialogs.savePanels.size(); };

  // Two panels cancelled in a row: the next download is cancelled at once,
  // without a panel, and so is an address of the app's own, for a minute.
  EXPECT_EQ(download(std::nullopt), cancelled);
  now += 5s;
  EXPECT_EQ(download(std::nullopt), cancelled);
  ASSERT_EQ(panels(), 2u);
  now += 5s;
  std::vector<std::optional<fs::path>> told;
  downloads->decideDestination("d.zip", [&told](std::optional<fs::path> p) { told.push_back(p); });
  EXPECT_EQ(told, cancelled);
  EXPECT_TRUE(queue.pending.empty());
  dialogs.saveAnswers.push_back(dir.path() / "own.zip");
  downloads->saveOwnAddress("halvane://local/own.zip", "own.zip");
  queue.runAll();
  EXPECT_EQ(panels(), 2u);
  EXPECT_FALSE(fs::exists(dir.path() / "own.zip"));
  // The page's own export asks all the same.
  dialogs.saveAnswers = {dir.path() / "export.txt"};
  saves->didReceiveScriptMessage(saveMessage("export.txt"));
  queue.runAll();
  EXPECT_EQ(panels(), 3u);
  EXPECT_EQ(readFile(dir.path() / "export.txt"), "hi");
  now += 54s;
  EXPECT_EQ(download(dir.path() / "late.zip"), cancelled);
  EXPECT_EQ(panels(), 3u);

  // A minute after the second cancel, downloads ask again; cancels that
  // are not in a row stop nothing.
  now += 1s;
  EXPECT_EQ(download(std::nullopt), cancelled);
  now += 1s;
  std::vector<std::optional<fs::path>> kept = download(dir.path() / "a.zip");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_TRUE(kept[0]);
  now += 1s;
  EXPECT_EQ(download(std::nullopt), cancelled);
  now += 1s;
  dialogs.saveAnswers.push_back(dir.path() / "own.zip");
  downloads->saveOwnAddress("halvane://local/own.zip", "own.zip");
  queue.runAll();
  EXPECT_EQ(readFile(dir.path() / "own.zip"), "own");
  EXPECT_EQ(panels(), 7u);

  // That was four panels within a minute: the fifth does not show, nor
  // anything for a minute from then.
  now += 50s;
  EXPECT_EQ(download(dir.path() / "b.zip"), cancelled);
  EXPECT_EQ(panels(), 7u);
  now += 59s;
  EXPECT_EQ(download(dir.path() / "b.zip"), cancelled);
  EXPECT_EQ(panels(), 7u);
  now += 1s;
  kept = download(dir.path() / "b.zip");
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_TRUE(kept[0]);
  EXPECT_EQ(panels(), 8u);
  EXPECT_TRUE(dialogs.alerts.empty());
}

TEST_F(AskingTheUser, AnAlertWaitsForThePanelThatIsUpAndIsNeverDropped) {
  auto saves = std::make_shared<SaveHandler>(line, dialogs, workspace, env);
  auto downloads = std::make_shared<Downloads>(dialogs, workspace, env, nullptr, line);
  for (const char* name : {"s0.txt", "s1.txt", "s2.txt", "s3.txt"})
    saves->didReceiveScriptMessage(saveMessage(name));
  ASSERT_TRUE(line->isFull());

  // The engine reports a failed download while the first panel is up, and
  // the panel's loop runs the main queue: the alert must not open over it.
  std::size_t alertsWhileUp = 99;
  dialogs.onSavePanel = [&](const platform::SavePanelOptions& panel) {
    if (panel.nameFieldValue != "s0.txt")
      return;
    downloads->failed({"The network connection was lost.", false, std::nullopt});
    queue.runAll();
    alertsWhileUp = dialogs.alerts.size();
  };
  queue.runAll();
  EXPECT_EQ(alertsWhileUp, 0u);
  EXPECT_EQ(dialogs.savePanels.size(), 4u);
  EXPECT_EQ(dialogs.alerts,
            (std::vector<fakes::Alert>{{"导出失败", "The network connection was lost."}}));
}
