// Save and open panels and alerts, each run application-modally.

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>
#import <objc/message.h>

#include "platform/mac/MacBackend.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::mac {
namespace {

// An alert before the event loop runs is a start that ends with it. The
// loop's run would finish launching first, which activates the app (and
// ends the launch's wait in the Dock); without that an agent app
// (LSUIElement) stays inactive, and its alert opens behind the window the
// user was in. An agent may be active and show windows (the accessory
// policy); only a prohibited one may not. Done once.
void comeForwardBeforeTheLoop() {
  static bool done = false;
  if (done || NSApp.running)
    return;
  done = true;
  if (NSApp.activationPolicy == NSApplicationActivationPolicyProhibited)
    [NSApp setActivationPolicy:NSApplicationActivationPolicyAccessory];
  [NSApp finishLaunching];
  // As activateIgnoringOtherApps does it, on every version.
  static const SEL activate = NSSelectorFromString(@"activate");
  if ([NSApp respondsToSelector:activate])
    reinterpret_cast<void (*)(id, SEL)>(objc_msgSend)(NSApp, activate);
  else
    [NSApp activateIgnoringOtherApps:YES];
}

class MacDialogs final : public Dialogs {
public:
  std::optional<std::filesystem::path> runSavePanel(const SavePanelOptions& options) override {
    NSSavePanel* panel = [NSSavePanel savePanel];
    panel.nameFieldStringValue = toNSString(options.nameFieldValue);
    panel.canCreateDirectories = options.canCreateDirectories;
    if (options.directory)
      panel.directoryURL = fileURLOf(*options.directory, true);
    if ([panel runModal] != NSModalResponseOK)
      return std::nullopt;
    NSURL* chosen = panel.URL;
    if (!chosen)
      return std::nullopt;
    return pathOf(chosen);
  }

  std::optional<std::vector<std::filesystem::path>>
  runOpenPanel(const OpenPanelOptions& options) override {
    NSOpenPanel* panel = [NSOpenPanel openPanel];
    panel.canChooseFiles = options.canChooseFiles;
    panel.allowsMultipleSelection = options.allowsMultipleSelection;
    panel.canChooseDirectories = options.canChooseDirectories;
    if ([panel runModal] != NSModalResponseOK)
      return std::nullopt;
    std::vector<std::filesystem::path> files;
    for (NSURL* url in panel.URLs)
      files.push_back(pathOf(url));
    return files;
  }

  void runAlert(const std::string& message, const std::string& informative) override {
    comeForwardBeforeTheLoop();
    NSAlert* alert = [[NSAlert alloc] init];
    alert.messageText = toNSString(message);
    alert.informativeText = toNSString(informative);
    [alert runModal];
  }

  AlertButton runAlertWithButtons(const std::string& message, const std::string& informative,
                                  const std::string& firstButton,
                                  const std::string& secondButton) override {
    comeForwardBeforeTheLoop();
    NSAlert* alert = [[NSAlert alloc] init];
    alert.messageText = toNSString(message);
    alert.informativeText = toNSString(informative);
    // The first button added is the default (Return) and answers
    // NSAlertFirstButtonReturn, the second NSAlertSecondButtonReturn.
    [alert addButtonWithTitle:toNSString(firstButton)];
    [alert addButtonWithTitle:toNSString(secondButton)];
    return [alert runModal] == NSAlertSecondButtonReturn ? AlertButton::Second : AlertButton::First;
  }
};

} // namespace

std::unique_ptr<Dialogs> makeDialogs() {
  return std::make_unique<MacDialogs>();
}

} // namespace platform::mac
