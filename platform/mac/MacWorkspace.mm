// What the rest of the desktop does for the app: NSWorkspace opens and
// reveals, NSFileManager moves to the Trash and fetches iCloud files, and a
// dispatch source watches a folder.

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

#include "platform/Descriptor.h"
#include "platform/mac/MacBackend.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>

namespace platform::mac {
namespace {

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
  MacFolderMonitor(Descriptor fd, std::function<void()> changed)
      : alive_(std::make_shared<bool>(true)),
        source_(dispatch_source_create(DISPATCH_SOURCE_TYPE_VNODE, static_cast<uintptr_t>(fd.get()),
                                       DISPATCH_VNODE_WRITE | DISPATCH_VNODE_DELETE |
                                           DISPATCH_VNODE_RENAME | DISPATCH_VNODE_REVOKE |
                                           DISPATCH_VNODE_EXTEND,
                                       dispatch_get_main_queue())) {
    if (!source_)
      return;
    std::shared_ptr<bool> alive = alive_;
    __block std::function<void()> call = std::move(changed);
    dispatch_source_set_event_handler(source_, ^{
      if (*alive)
        call();
    });
    // The source reads the folder until it is cancelled: the descriptor is
    // the cancel handler's, which closes it then.
    auto watched = std::make_shared<Descriptor>(std::move(fd));
    dispatch_source_set_cancel_handler(source_, ^{
      (void)watched->close();
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

} // namespace

std::unique_ptr<Workspace> makeWorkspace() {
  return std::make_unique<MacWorkspace>();
}

std::unique_ptr<FolderMonitor> makeFolderMonitor(const std::filesystem::path& folder,
                                                 std::function<void()> changed) {
  if (!changed)
    return nullptr;
  // O_EVTONLY: watching the folder keeps no volume from being ejected.
  Descriptor fd(::open(folder.c_str(), O_EVTONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid())
    return nullptr;
  auto monitor = std::make_unique<MacFolderMonitor>(std::move(fd), std::move(changed));
  if (!monitor->watching())
    return nullptr;
  return monitor;
}

} // namespace platform::mac
