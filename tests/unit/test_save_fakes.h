#pragma once

// Scripted modal dialogs and a recording workspace for the save bridge and
// the download and upload panels.

#include "platform/platform.h"

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fakes {

struct Alert {
  std::string message;
  std::string informative;
  bool operator==(const Alert&) const = default;
};

class ScriptedDialogs : public platform::Dialogs {
public:
  // Answers of the save panels to come, in order; cancel once they run out.
  std::deque<std::optional<std::filesystem::path>> saveAnswers;
  std::vector<platform::SavePanelOptions> savePanels;
  std::optional<std::vector<std::filesystem::path>> openAnswer;
  std::vector<platform::OpenPanelOptions> openPanels;
  std::vector<Alert> alerts;

  std::optional<std::filesystem::path>
  runSavePanel(const platform::SavePanelOptions& options) override {
    savePanels.push_back(options);
    if (saveAnswers.empty())
      return std::nullopt;
    auto answer = std::move(saveAnswers.front());
    saveAnswers.pop_front();
    return answer;
  }
  std::optional<std::vector<std::filesystem::path>>
  runOpenPanel(const platform::OpenPanelOptions& options) override {
    openPanels.push_back(options);
    return openAnswer;
  }
  void runAlert(const std::string& message, const std::string& informative) override {
    alerts.push_back({message, informative});
  }
};

class RecordingWorkspace : public platform::Workspace {
public:
  std::vector<std::string> opened;
  std::vector<std::filesystem::path> revealed;

  void openURL(const std::string& url) override { opened.push_back(url); }
  void revealFile(const std::filesystem::path& file) override { revealed.push_back(file); }
};

} // namespace fakes
