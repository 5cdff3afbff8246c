#include "app/ModalDialogs.h"

#include <utility>

ModalDialogs::ModalDialogs(platform::Dialogs& inner, std::function<void()> before,
                           std::function<void()> after)
    : inner_(inner), before_(std::move(before)), after_(std::move(after)) {}

template <class Run> auto ModalDialogs::around(Run run) {
  if (before_)
    before_();
  // Put back however the panel ends.
  struct After {
    const std::function<void()>& after;
    ~After() {
      if (after)
        after();
    }
  } restore{after_};
  return run();
}

std::optional<std::filesystem::path>
ModalDialogs::runSavePanel(const platform::SavePanelOptions& options) {
  return around([&] { return inner_.runSavePanel(options); });
}

std::optional<std::vector<std::filesystem::path>>
ModalDialogs::runOpenPanel(const platform::OpenPanelOptions& options) {
  return around([&] { return inner_.runOpenPanel(options); });
}

void ModalDialogs::runAlert(const std::string& message, const std::string& informative) {
  around([&] { inner_.runAlert(message, informative); });
}

platform::AlertButton ModalDialogs::runAlertWithButtons(const std::string& message,
                                                        const std::string& informative,
                                                        const std::string& firstButton,
                                                        const std::string& secondButton) {
  return around(
      [&] { return inner_.runAlertWithButtons(message, informative, firstButton, secondButton); });
}
