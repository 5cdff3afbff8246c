#pragma once

// Where things are on this machine, and the ways of the system that decide
// where the app keeps its own files. The backend gives all of it as data; the
// rules that use it are portable and name no system.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace platform {

// What the system says of a login item the app wrote as a file. From macOS 13
// the user can switch such an item off (System Settings, Login Items), and
// the file stays: the system's word decides there. NotApplicable where no
// such switch exists, and the file alone decides.
enum class LoginItemApproval { NotApplicable, Enabled, NotEnabled };

// How the session starts a program at login: an XDG autostart desktop entry
// in $XDG_CONFIG_HOME/autostart, or a launchd agent's property list in
// ~/Library/LaunchAgents.
enum class LoginItemFormat { DesktopEntry, LaunchAgent };

// Every path the system writes to or reads from comes from here, so tests can
// point all of it at temporary folders. The defaults are those of a system
// that follows the XDG base directories.
struct Environment {
  // The system's name as the page is told it ("status"): "linux", "mac".
  std::string kind;
  std::filesystem::path homeDirectory;
  // The user's Downloads folder; empty when the platform reports none.
  std::optional<std::filesystem::path> downloadsDirectory;
  // The folder the web app is served from; empty when the app has none.
  std::optional<std::filesystem::path> resourceDirectory;
  // The running application: the .app bundle on macOS, the app folder on Linux.
  std::filesystem::path bundlePath;
  // The executable inside it, as a login item must start it.
  std::filesystem::path executablePath;
  // Where applications get installed: /Applications, or ~/Applications;
  // empty for ~/Applications.
  std::filesystem::path applicationsDirectory;
  // $XDG_CONFIG_HOME and $XDG_DATA_HOME, where the system follows them.
  std::filesystem::path configDirectory;
  std::filesystem::path dataDirectory;
  // $XDG_RUNTIME_DIR, this user's own folder for sockets; empty where it is
  // not set or the system has none.
  std::filesystem::path runtimeDirectory;
  // Where this user's temporary files go: the per-user folder on macOS,
  // $TMPDIR or /tmp on Linux.
  std::filesystem::path temporaryDirectory;
  // Where the system has each app keep its own files in a folder named by
  // its application id (~/Library/Application Support); empty where the app
  // keeps them in the XDG data folder.
  std::filesystem::path applicationSupportDirectory;
  // The system keeps the user defaults itself; false where they are a file
  // the app writes in the XDG config folder.
  bool keepsDefaultsItself = false;
  LoginItemFormat loginItemFormat = LoginItemFormat::DesktopEntry;
  // The desktop lists installed apps by the entries in
  // $XDG_DATA_HOME/applications: an installed copy gets one.
  bool listsAppsByLauncherEntry = true;
  // The system may run an app downloaded from the internet from a read-only
  // copy at a random place (Gatekeeper's "AppTranslocation") until the user
  // moves it.
  bool translocatesDownloadedApps = false;
  // The system refuses an app's change to another app unless the user allows
  // it (macOS App Management): a refused write into the Applications folder
  // is that.
  bool guardsAppsAgainstChanges = false;
  // Asks the system about the login item at the given path. Empty where the
  // system has no switch for it, which is NotApplicable.
  std::function<LoginItemApproval(const std::filesystem::path& item)> loginItemApproval;
  // Which machine this is, as the system tells it: the same on every start,
  // another on another computer (a profile copied there keeps no identity of
  // this one). Empty where the system tells none.
  std::string machineIdentity;
  // The name the system gives this computer now; empty (or no function)
  // where it gives none.
  std::function<std::string()> computerName;
};

} // namespace platform
