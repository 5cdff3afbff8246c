#include "bridge/SaveHandler.h"
#include "system/PanelLine.h"
#include "web/Downloads.h"

#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "test_ball_fakes.h"

#include <gtest/gtest.h>

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

TEST(PanelLine, SavesAndDownloadsAskOneAtATimeAndWhatFindsTheLineFullIsCancelledAtOnce) {
  TempDir dir;
  platform::Environment env;
  env.downloadsDirectory = dir.path();
  fakes::FakeMainQueue queue;
  fakes::ScriptedDialogs dialogs;
  fakes::RecordingWorkspace workspace;
  auto line = std::make_shared<PanelLine>(queue);
  auto saves = std::make_shared<SaveHandler>(line, dialogs, workspace, env);
  auto downloads = std::make_shared<Downloads>(dialogs, env, nullptr, line);

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
