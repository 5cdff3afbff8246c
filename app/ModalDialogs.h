#pragma once

#include "platform/platform.h"

#include <functional>

// Every panel and alert of the running app goes through here, so that two
// things hold for all of them: the app is active when one opens (started for
// the ball alone it is an accessory, and an inactive app's modal panel can
// open behind the front app while the main loop waits for it), and the ball
// steps down from floating over every window while one is up, so it never
// covers the panel's buttons. `before` and `after` run around each one.
class ModalDialogs final : public platform::Dialogs {
public:
  ModalDialogs(platform::Dialogs& inner, std::function<void()> before, std::function<void()> after);

  std::optional<std::filesystem::path>
  runSavePanel(const platform::SavePanelOptions& options) override;
  std::optional<std::vector<std::filesystem::path>>
  runOpenPanel(const platform::OpenPanelOptions& options) override;
  void runAlert(const std::string& message, const std::string& informative) override;
  platform::AlertButton runAlertWithButtons(const std::string& message,
                                            const std::string& informative,
                                            const std::string& firstButton,
                                            const std::string& secondButton) override;

private:
  template <class Run> auto around(Run run);

  platform::Dialogs& inner_;
  std::function<void()> before_;
  std::function<void()> after_;
};
