// The platform layer on AppKit, WebKit and Foundation: the small services
// (main queue, defaults, screens, dialogs, workspace, places) and the factory
// that puts the backend together.

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>
#import <objc/message.h>

#include "platform/TaskQueue.h"
#include "platform/mac/MacBackend.h"

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <utility>
#include <uuid/uuid.h>

namespace platform::mac {
namespace {

// Each post asks the main run loop for one turn, in its common modes, which
// include the modal-panel mode that runModal runs; each turn runs the oldest
// waiting piece. Work posted while a panel is up therefore goes on in order,
// where a block on the serial main dispatch queue that runs a panel would
// hold back every later block until the panel closed.
class MacMainQueue final : public MainQueue {
public:
  void post(std::function<void()> work) override {
    if (!work)
      return;
    tasks_->push(std::move(work));
    std::shared_ptr<TaskQueue> tasks = tasks_;
    CFRunLoopRef main = CFRunLoopGetMain();
    CFRunLoopPerformBlock(main, kCFRunLoopCommonModes, ^{
      tasks->runOne();
    });
    CFRunLoopWakeUp(main);
  }

  void postAfter(std::chrono::milliseconds delay, std::function<void()> work) override {
    if (!work)
      return;
    // Once the delay is over it joins the posted work, and so runs while a
    // panel is up as well.
    std::shared_ptr<TaskQueue> tasks = tasks_;
    __block std::function<void()> held = std::move(work);
    const int64_t ns = static_cast<int64_t>(delay.count()) * static_cast<int64_t>(NSEC_PER_MSEC);
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, ns < 0 ? 0 : ns), dispatch_get_main_queue(), ^{
      tasks->push(std::move(held));
      CFRunLoopRef main = CFRunLoopGetMain();
      CFRunLoopPerformBlock(main, kCFRunLoopCommonModes, ^{
        tasks->runOne();
      });
      CFRunLoopWakeUp(main);
    });
  }

private:
  // Shared with the turns already asked for.
  std::shared_ptr<TaskQueue> tasks_ = std::make_shared<TaskQueue>();
};

class MacDefaults final : public Defaults {
public:
  std::optional<std::string> stringForKey(const std::string& key) override {
    NSString* value = [[NSUserDefaults standardUserDefaults] stringForKey:toNSString(key)];
    if (!value)
      return std::nullopt;
    return toStdString(value);
  }

  void setString(const std::string& key, const std::string& value) override {
    [[NSUserDefaults standardUserDefaults] setObject:toNSString(value) forKey:toNSString(key)];
  }
};

class MacScreens final : public Screens {
public:
  std::optional<Rect> mainVisibleFrame() override {
    NSScreen* screen = [NSScreen mainScreen];
    if (!screen)
      return std::nullopt;
    return toRect(screen.visibleFrame);
  }

  std::vector<Rect> visibleFrames() override {
    std::vector<Rect> frames;
    for (NSScreen* screen in [NSScreen screens])
      frames.push_back(toRect(screen.visibleFrame));
    return frames;
  }

  Point pointerLocation() override { return toPoint([NSEvent mouseLocation]); }

  void setChangeCallback(std::function<void()> changed) override {
    changed_ = std::make_shared<std::function<void()>>(std::move(changed));
    if (observer_)
      return;
    std::shared_ptr<std::function<void()>> callback = changed_;
    // Only the latest callback is called, through the shared holder.
    observer_ = [[NSNotificationCenter defaultCenter]
        addObserverForName:NSApplicationDidChangeScreenParametersNotification
                    object:nil
                     queue:[NSOperationQueue mainQueue]
                usingBlock:^(NSNotification*) {
                  if (*callback)
                    (*callback)();
                }];
  }

private:
  std::shared_ptr<std::function<void()>> changed_;
  id observer_ = nil;
};

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

class MacWorkspace final : public Workspace {
public:
  void openURL(const std::string& url) override {
    NSURL* target = [NSURL URLWithString:toNSString(url)];
    if (!target)
      return;
    [[NSWorkspace sharedWorkspace] openURL:target];
  }

  void revealFile(const std::filesystem::path& file) override {
    [[NSWorkspace sharedWorkspace] activateFileViewerSelectingURLs:@[ fileURLOf(file, false) ]];
  }

  Result<void> moveToTrash(const std::filesystem::path& file) override {
    NSError* error = nil;
    if ([[NSFileManager defaultManager] trashItemAtURL:fileURLOf(file, false)
                                      resultingItemURL:nil
                                                 error:&error])
      return {};
    // File errors come as Cocoa errors with the POSIX one beneath.
    NSError* underlying = error.userInfo[NSUnderlyingErrorKey];
    int code = EIO;
    if ([error.domain isEqualToString:NSPOSIXErrorDomain])
      code = static_cast<int>(error.code);
    else if ([underlying.domain isEqualToString:NSPOSIXErrorDomain])
      code = static_cast<int>(underlying.code);
    return Failure{code, error ? toStdString(error.localizedDescription) : describeError(code)};
  }

  Result<void> startDownloading(const std::filesystem::path& placeholder) override {
    // iCloud Drive names a file it has not fetched ".<name>.icloud"; the
    // request names the file itself.
    std::string name = placeholder.filename().string();
    const std::string suffix = ".icloud";
    if (name.size() <= suffix.size() + 1 || name.front() != '.' ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
      return Failure{EINVAL, describeError(EINVAL)};
    name = name.substr(1, name.size() - 1 - suffix.size());
    NSError* error = nil;
    if ([[NSFileManager defaultManager]
            startDownloadingUbiquitousItemAtURL:fileURLOf(placeholder.parent_path() / name, false)
                                          error:&error])
      return {};
    return Failure{EIO, error ? toStdString(error.localizedDescription) : describeError(EIO)};
  }
};

// A dispatch source on the folder, on the main queue: it fires when an
// entry in it is made, removed or renamed (how every sync engine and our
// own atomic writes put a file in place), and when the folder itself goes.
class MacFolderMonitor final : public FolderMonitor {
public:
  MacFolderMonitor(int fd, std::function<void()> changed)
      : alive_(std::make_shared<bool>(true)),
        source_(dispatch_source_create(DISPATCH_SOURCE_TYPE_VNODE, static_cast<uintptr_t>(fd),
                                       DISPATCH_VNODE_WRITE | DISPATCH_VNODE_DELETE |
                                           DISPATCH_VNODE_RENAME | DISPATCH_VNODE_REVOKE |
                                           DISPATCH_VNODE_EXTEND,
                                       dispatch_get_main_queue())) {
    if (!source_) {
      ::close(fd);
      return;
    }
    std::shared_ptr<bool> alive = alive_;
    __block std::function<void()> call = std::move(changed);
    dispatch_source_set_event_handler(source_, ^{
      if (*alive)
        call();
    });
    dispatch_source_set_cancel_handler(source_, ^{
      ::close(fd);
    });
    dispatch_resume(source_);
  }
  ~MacFolderMonitor() override {
    *alive_ = false;
    if (source_)
      dispatch_source_cancel(source_);
  }
  MacFolderMonitor(const MacFolderMonitor&) = delete;
  MacFolderMonitor& operator=(const MacFolderMonitor&) = delete;
  bool watching() const { return source_ != nil; }

private:
  std::shared_ptr<bool> alive_;
  dispatch_source_t source_;
};

// The hardware's UUID, as the kernel reports it: another on every Mac.
std::string machineIdentity() {
  uuid_t id{};
  const struct timespec wait { 1, 0 };
  if (::gethostuuid(id, &wait) != 0)
    return {};
  uuid_string_t text{};
  uuid_unparse_lower(id, text);
  return text;
}

// The computer's name as System Settings shows it (Sharing), else the
// host's name.
std::string computerName() {
  NSString* name = [NSHost currentHost].localizedName;
  if (name.length == 0)
    name = [NSProcessInfo processInfo].hostName;
  return name ? toStdString(name) : std::string();
}

// From macOS 13 the user can switch a login item off in System Settings
// while its file stays. SMAppService, which reports that, is newer than the
// SDK the app is built against: its class and method are looked up at run
// time (the framework is linked), and where they are missing (macOS 11 and
// 12) there is no such switch.
LoginItemApproval loginItemApproval(const std::filesystem::path& item) {
  Class service = NSClassFromString(@"SMAppService");
  SEL statusForLegacyURL = NSSelectorFromString(@"statusForLegacyURL:");
  if (!service || ![service respondsToSelector:statusForLegacyURL])
    return LoginItemApproval::NotApplicable;
  // SMAppServiceStatus: 0 not registered, 1 enabled, 2 requires approval,
  // 3 not found. Only "requires approval" is the user's switch turned off;
  // right after the file is written the system has often not recorded it
  // yet (0 or 3), and then the file decides, as where there is no switch.
  constexpr NSInteger statusEnabled = 1;
  constexpr NSInteger statusRequiresApproval = 2;
  NSInteger status = reinterpret_cast<NSInteger (*)(id, SEL, NSURL*)>(objc_msgSend)(
      service, statusForLegacyURL, fileURLOf(item, false));
  if (status == statusEnabled)
    return LoginItemApproval::Enabled;
  if (status == statusRequiresApproval)
    return LoginItemApproval::NotEnabled;
  return LoginItemApproval::NotApplicable;
}

Environment makeEnvironment() {
  Environment environment;
  environment.kind = SystemKind::Mac;
  NSFileManager* files = [NSFileManager defaultManager];
  environment.homeDirectory = pathOf(files.homeDirectoryForCurrentUser);
  NSURL* downloads =
      [files URLsForDirectory:NSDownloadsDirectory inDomains:NSUserDomainMask].firstObject;
  if (downloads)
    environment.downloadsDirectory = pathOf(downloads);
  NSBundle* bundle = [NSBundle mainBundle];
  NSURL* resources = bundle.resourceURL;
  if (resources)
    environment.resourceDirectory = pathOf(resources);
  environment.bundlePath = pathOf(bundle.bundlePath);
  environment.executablePath = pathOf(bundle.executablePath);
  environment.applicationsDirectory = "/Applications";
  // The user's own temporary folder (under /var/folders), not the shared /tmp.
  environment.temporaryDirectory = pathOf(NSTemporaryDirectory());
  environment.loginItemApproval = loginItemApproval;
  environment.machineIdentity = machineIdentity();
  environment.computerName = computerName;
  return environment;
}

class MacPlatform final : public Platform {
public:
  MacPlatform() : application_(makeApplication()), environment_(makeEnvironment()) {}

  Application& application() override { return *application_; }
  MainQueue& mainQueue() override { return mainQueue_; }
  Defaults& defaults() override { return defaults_; }
  Screens& screens() override { return screens_; }
  Dialogs& dialogs() override { return dialogs_; }
  Workspace& workspace() override { return workspace_; }
  const Environment& environment() override { return environment_; }

  std::unique_ptr<Window> createWindow(const Rect& contentRect) override {
    return makeWindow(contentRect);
  }
  std::unique_ptr<Panel> createPanel(const Rect& contentRect,
                                     const PanelSettings& settings) override {
    return makePanel(contentRect, settings);
  }
  std::unique_ptr<View> createView(const Rect& frame) override { return makeView(frame); }
  std::shared_ptr<WebView> createWebView(const WebViewConfiguration& configuration) override {
    return makeWebView(configuration);
  }
  std::unique_ptr<FolderMonitor> watchFolder(const std::filesystem::path& folder,
                                             std::function<void()> changed) override {
    if (!changed)
      return nullptr;
    // O_EVTONLY: watching the folder keeps no volume from being ejected.
    const int fd = ::open(folder.c_str(), O_EVTONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
      return nullptr;
    auto monitor = std::make_unique<MacFolderMonitor>(fd, std::move(changed));
    if (!monitor->watching())
      return nullptr;
    return monitor;
  }

private:
  std::unique_ptr<Application> application_;
  MacMainQueue mainQueue_;
  MacDefaults defaults_;
  MacScreens screens_;
  MacDialogs dialogs_;
  MacWorkspace workspace_;
  Environment environment_;
};

} // namespace
} // namespace platform::mac

namespace platform {

std::unique_ptr<Platform> makePlatform(int, char**, const Identity&) {
  // The arguments come from NSProcessInfo, which has them as the system
  // passed them; the shared application must exist before anything of AppKit.
  // The identity is the bundle's: its Info.plist names the app and its id,
  // and the user defaults and web data are kept by that id.
  [NSApplication sharedApplication];
  return std::make_unique<mac::MacPlatform>();
}

std::string describeError(int errorNumber) {
  // Foundation's wording, localized, as NSError reports file errors.
  NSError* error = [NSError errorWithDomain:NSPOSIXErrorDomain code:errorNumber userInfo:nil];
  return mac::toStdString(error.localizedDescription);
}

} // namespace platform
