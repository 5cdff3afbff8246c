#pragma once

// Modal panels and alerts, and what the rest of the desktop does for the app
// (opening addresses, the file manager, the Trash, files kept in the cloud).

#include "platform/Result.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct SavePanelOptions {
  std::string nameFieldValue;
  std::optional<std::filesystem::path> directory;
  bool canCreateDirectories = true;
};

struct OpenPanelOptions {
  bool canChooseFiles = true;
  bool allowsMultipleSelection = false;
  bool canChooseDirectories = false;
};

enum class AlertButton { First, Second };

// Every call runs application-modally and returns when the user is done.
class Dialogs {
public:
  virtual ~Dialogs() = default;
  // The chosen path, or nothing when cancelled.
  virtual std::optional<std::filesystem::path> runSavePanel(const SavePanelOptions& options) = 0;
  virtual std::optional<std::vector<std::filesystem::path>>
  runOpenPanel(const OpenPanelOptions& options) = 0;
  // Also before the event loop runs, for a start that ends after it: the
  // alert then comes to the front by itself.
  virtual void runAlert(const std::string& message, const std::string& informative) = 0;
  // An alert with two buttons, the first one the default. Where the platform
  // lets the user close it without a button, that counts as the first.
  virtual AlertButton runAlertWithButtons(const std::string& message,
                                          const std::string& informative,
                                          const std::string& firstButton,
                                          const std::string& secondButton) = 0;
};

class Workspace {
public:
  virtual ~Workspace() = default;
  // Hands the URL to the user's default application for it.
  virtual void openURL(const std::string& url) = 0;
  // Shows the file selected in the file manager.
  virtual void revealFile(const std::filesystem::path& file) = 0;
  // Moves the file (a link itself, not what it points to) to the user's
  // Trash, where they can put it back. Fails where that file system has no
  // Trash; the file then stays where it was.
  virtual Result<void> moveToTrash(const std::filesystem::path& file) = 0;
  // Asks the system to fetch a file kept in the cloud whose place holder is
  // at path (iCloud Drive's ".<name>.icloud"); it comes later, by itself.
  // Fails where the system keeps no such files.
  virtual Result<void> startDownloading(const std::filesystem::path& placeholder) = 0;
};

// Tells of changes to what a folder holds, on the main thread, for as long
// as it lives; nothing is called after it is gone.
class FolderMonitor {
public:
  virtual ~FolderMonitor() = default;
};

} // namespace platform
