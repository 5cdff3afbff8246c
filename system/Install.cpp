#include "system/Install.h"

#include "app/constants.h"
#include "system/AtomicFile.h"
#include "system/Autostart.h"
#include "system/DesktopEntry.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

InstallResult failed(const std::string& reason) {
  return {false, installFailureMessage(reason)};
}

InstallResult failed(std::error_code ec) {
  // The filesystem library reports errno values in either category.
  return failed(platform::describeError(ec.value()));
}

InstallResult failed(std::errc code) {
  return failed(std::make_error_code(code));
}

bool itemExists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(path, ec));
}

bool isExecutableFile(const fs::path& path) {
  std::error_code ec;
  fs::file_status st = fs::status(path, ec);
  constexpr fs::perms anyExec =
      fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
  return !ec && fs::is_regular_file(st) && (st.permissions() & anyExec) != fs::perms::none;
}

// True when path is base or lies beneath it; both already canonical.
bool isWithin(const fs::path& path, const fs::path& base) {
  fs::path relative = path.lexically_relative(base);
  return !relative.empty() && *relative.begin() != "..";
}

} // namespace

fs::path applicationsFolder(const platform::Environment& env) {
  if (!env.applicationsDirectory.empty())
    return env.applicationsDirectory;
  if (env.kind == platform::SystemKind::Mac)
    return "/Applications";
  return env.homeDirectory / "Applications";
}

bool isInstalledInApplications(const platform::Environment& env) {
  std::string folder = applicationsFolder(env).string();
  while (folder.size() > 1 && folder.back() == '/')
    folder.pop_back();
  if (folder.empty())
    return false;
  const std::string app = env.bundlePath.string();
  const std::string prefix = folder.back() == '/' ? folder : folder + "/";
  return app == folder || app.starts_with(prefix);
}

fs::path launcherEntryPath(const platform::Environment& env) {
  return xdgDataHome(env) / "applications" / (std::string(LA_LABEL) + ".desktop");
}

std::string installFailureMessage(const std::string& reason) {
  return "复制到应用程序文件夹失败（" + reason +
         "）。可以手动把 App 拖进「应用程序」再点一次开机自启。";
}

InstallResult hlvnInstallToApplications(const platform::Environment& env) {
  if (isInstalledInApplications(env))
    return {true, std::nullopt};

  fs::path app = env.bundlePath.lexically_normal();
  if (!app.has_filename() && app.has_relative_path())
    app = app.parent_path(); // "X.app/" names X.app
  const std::string name = app.filename().string();
  if (name.empty() || name == "." || name == "..")
    return failed(std::errc::invalid_argument);

  const bool onLinux = env.kind == platform::SystemKind::Linux;
  const fs::path folder = applicationsFolder(env);
  const fs::path destination = folder / name;

  // The launcher entry and the login item name the executable as it will be
  // in the copy.
  const fs::path executableInApp = env.executablePath.lexically_normal().lexically_relative(app);
  if (executableInApp.empty() || *executableInApp.begin() == ".." || executableInApp == ".")
    return failed(std::errc::invalid_argument);
  std::optional<std::string> entryText;
  if (onLinux) {
    entryText = desktopEntryText({(destination / executableInApp).string()}, false);
    if (!entryText)
      return failed(std::errc::illegal_byte_sequence);
  }

  std::error_code ec;
  const fs::path source = fs::canonical(env.bundlePath, ec);
  if (ec)
    return failed(ec);

  // The destination may be the running app itself under another spelling: a
  // linked folder, another letter case on a case-insensitive volume.
  if (fs::equivalent(destination, source, ec) && !ec)
    return {true, std::nullopt};

  // A copy into the app's own tree would copy itself without end.
  fs::path canonicalFolder = fs::weakly_canonical(folder, ec);
  if (ec)
    return failed(ec);
  if (isWithin(canonicalFolder, source))
    return failed(std::errc::invalid_argument);

  fs::create_directories(folder, ec);
  if (ec)
    return failed(ec);

  // Everything temporary lives in one hidden folder beside the destination,
  // on the same volume, so the swap is two renames.
  std::string pattern = (folder / ("." + name + ".XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr)
    return failed(std::error_code(errno, std::generic_category()));
  const fs::path stage = pattern;
  const fs::path fresh = stage / "new";
  const fs::path previous = stage / "old";
  auto abandon = [&stage](std::error_code why) {
    std::error_code ignored;
    fs::remove_all(stage, ignored);
    return failed(why);
  };

  // Links are copied as links (a bundle's frameworks are full of them);
  // special files such as pipes and sockets fail the copy.
  fs::copy(source, fresh, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
  if (ec)
    return abandon(ec);

  const fs::path entry = launcherEntryPath(env);
  bool entryExisted = false;
  if (onLinux) {
    if (!isExecutableFile(fresh / executableInApp))
      return abandon(std::make_error_code(std::errc::no_such_file_or_directory));
    entryExisted = itemExists(entry);
    fs::create_directories(entry.parent_path(), ec);
    if (ec)
      return abandon(ec);
    FileResult written = writeFileAtomically(entry, *entryText);
    if (!written.ok) {
      std::error_code ignored;
      fs::remove_all(stage, ignored);
      return failed(written.error);
    }
  }
  auto forgetEntry = [&] {
    std::error_code ignored;
    if (onLinux && !entryExisted)
      fs::remove(entry, ignored);
  };

  const bool replacing = itemExists(destination);
  if (replacing) {
    fs::rename(destination, previous, ec);
    if (ec) {
      forgetEntry();
      return abandon(ec);
    }
  }
  fs::rename(fresh, destination, ec);
  if (ec) {
    std::error_code restored;
    if (replacing)
      fs::rename(previous, destination, restored);
    forgetEntry();
    if (restored) // the previous copy is still in the stage: keep it there
      return failed(ec);
    return abandon(ec);
  }
  // Now only the previous copy is left in the stage; a leftover does not
  // undo the install.
  fs::remove_all(stage, ec);

  // The login item moves to the copy: the running one may be a download or a
  // translocated copy that is gone by the next login.
  if (hlvnAutostartEnabled(env)) {
    platform::Environment installed = env;
    installed.bundlePath = destination;
    installed.executablePath = destination / executableInApp;
    hlvnSetAutostart(installed, true);
  }
  return {true, std::nullopt};
}
