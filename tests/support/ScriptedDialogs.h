#pragma once

// Scripted modal dialogs and a recording workspace: what would reach the user
// or the desktop, answered and recorded for tests and benchmarks.

#include "platform/platform.h"

#include <cerrno>
#include <deque>
#include <filesystem>
#include <functional>
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

struct ButtonAlert {
  std::string message;
  std::string informative;
  std::string firstButton;
  std::string secondButton;
  bool operator==(const ButtonAlert&) const = default;
};

class ScriptedDialogs : public platform::Dialogs {
public:
  using Alert = fakes::Alert;
  // Answers used in order; with none left the first button is chosen.
  std::deque<platform::AlertButton> buttonAnswers;
  std::vector<ButtonAlert> buttonAlerts;
  // Called as each two-button alert is asked, before it is answered.
  std::function<void(const ButtonAlert&)> onButtonAlert;
  // Answers used in order; with none left a panel is cancelled.
  std::deque<std::optional<std::filesystem::path>> saveAnswers;
  std::deque<std::optional<std::vector<std::filesystem::path>>> openAnswers;
  // Every call, in order.
  std::vector<platform::SavePanelOptions> savePanels;
  std::vector<platform::OpenPanelOptions> openPanels;
  std::vector<Alert> alerts;
  // Called as each save panel is asked, before it is answered.
  std::function<void(const platform::SavePanelOptions&)> onSavePanel;

  std::optional<std::filesystem::path>
  runSavePanel(const platform::SavePanelOptions& options) override {
    savePanels.push_back(options);
    if (onSavePanel)
      onSavePanel(options);
    return next(saveAnswers);
  }
  std::optional<std::vector<std::filesystem::path>>
  runOpenPanel(const platform::OpenPanelOptions& options) override {
    openPanels.push_back(options);
    return next(openAnswers);
  }
  void runAlert(const std::string& message, const std::string& informative) override {
    alerts.push_back({message, informative});
  }
  platform::AlertButton runAlertWithButtons(const std::string& message,
                                            const std::string& informative,
                                            const std::string& firstButton,
                                            const std::string& secondButton) override {
    buttonAlerts.push_back({message, informative, firstButton, secondButton});
    if (onButtonAlert)
      onButtonAlert(buttonAlerts.back());
    if (buttonAnswers.empty())
      return platform::AlertButton::First;
    platform::AlertButton answer = buttonAnswers.front();
    buttonAnswers.pop_front();
    return answer;
  }

private:
  template <class T> static std::optional<T> next(std::deque<std::optional<T>>& answers) {
    if (answers.empty())
      return std::nullopt;
    std::optional<T> answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

class RecordingWorkspace : public platform::Workspace {
public:
  std::vector<std::string> openedURLs;
  std::vector<std::filesystem::path> revealedFiles;
  // Called with each revealed file, after it is recorded.
  std::function<void(const std::filesystem::path&)> onReveal;

  void openURL(const std::string& url) override { openedURLs.push_back(url); }
  void revealFile(const std::filesystem::path& file) override {
    revealedFiles.push_back(file);
    if (onReveal)
      onReveal(file);
  }
  // Every file asked to go to the Trash, in order.
  std::vector<std::filesystem::path> trashedFiles;
  // Carries out a move to the Trash; with none, every one fails and the file
  // stays.
  std::function<platform::Result<void>(const std::filesystem::path&)> trash;

  platform::Result<void> moveToTrash(const std::filesystem::path& file) override {
    trashedFiles.push_back(file);
    if (trash)
      return trash(file);
    return platform::Failure{ENOTSUP, "no Trash here"};
  }
  // Every place holder asked to be fetched, in order.
  std::vector<std::filesystem::path> downloadsStarted;
  platform::Result<void> startDownloading(const std::filesystem::path& placeholder) override {
    downloadsStarted.push_back(placeholder);
    return {};
  }
};

} // namespace fakes
