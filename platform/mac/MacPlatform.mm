// The platform layer on AppKit, WebKit and Foundation: the main queue, the
// places and ways of the system, and the factory that puts the backend's
// pieces together.

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>
#import <objc/message.h>

#include "platform/TaskQueue.h"
#include "platform/mac/MacBackend.h"

#include <cerrno>
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
  environment.kind = "mac";
  environment.keepsDefaultsItself = true;
  environment.loginItemFormat = LoginItemFormat::LaunchAgent;
  environment.listsAppsByLauncherEntry = false;
  environment.translocatesDownloadedApps = true;
  environment.guardsAppsAgainstChanges = true;
  NSFileManager* files = [NSFileManager defaultManager];
  environment.homeDirectory = pathOf(files.homeDirectoryForCurrentUser);
  environment.applicationSupportDirectory =
      environment.homeDirectory / "Library" / "Application Support";
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
  MacPlatform()
      : application_(makeApplication()), defaults_(makeDefaults()), screens_(makeScreens()),
        dialogs_(makeDialogs()), workspace_(makeWorkspace()), environment_(makeEnvironment()) {}

  Application& application() override { return *application_; }
  MainQueue& mainQueue() override { return mainQueue_; }
  Defaults& defaults() override { return *defaults_; }
  Screens& screens() override { return *screens_; }
  Dialogs& dialogs() override { return *dialogs_; }
  Workspace& workspace() override { return *workspace_; }
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
    return makeFolderMonitor(folder, std::move(changed));
  }

private:
  std::unique_ptr<Application> application_;
  MacMainQueue mainQueue_;
  std::unique_ptr<Defaults> defaults_;
  std::unique_ptr<Screens> screens_;
  std::unique_ptr<Dialogs> dialogs_;
  std::unique_ptr<Workspace> workspace_;
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
