#pragma once

#include "platform/platform.h"
#include "system/InstanceLock.h"
#include "system/ReopenSocket.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

// One running copy per user, on every platform, with a session bus or
// without: two copies would edit the same page storage, and the last writer
// would win. The copy that runs holds a lock on a file in the app's per-user
// folder for its whole life.

// Linux: beside the page's web data ($XDG_DATA_HOME/Tessaloom). macOS: the
// app's own folder in ~/Library/Application Support, named after LA_LABEL.
std::filesystem::path onlyCopyLockPath(const platform::Environment& env);

// How long a second start waits for the running copy, the window system's
// register and the copy's own answer together: with the process's own start
// (a few hundred milliseconds), the teacher hears within 2 s.
inline constexpr std::chrono::milliseconds SECOND_START_WAIT{1500};

// Where the copy that holds the lock listens for a second start's request
// to show its main window. Linux: in $XDG_RUNTIME_DIR, else beside the lock;
// macOS: beside the lock. A short folder in the user's temporary folder
// where the path would not fit a socket's address; nothing when even that
// does not fit.
std::optional<std::filesystem::path> onlyCopySocketPath(const platform::Environment& env);

// What the copy that runs answers a second start with, and how long a
// second start waits.
struct Reopening {
  platform::MainQueue& queue;
  // Shows the main window; run on the main queue.
  std::function<void()> show;
  std::chrono::milliseconds wait = SECOND_START_WAIT;
  // Set once this process holds the lock and listens; kept while it runs.
  std::unique_ptr<ReopenListener> listener;
};

// Settles what this start does about another running copy, before anything
// is built. Where the window system knows a running copy and answers, a
// plain start hands over to it (it shows its main window) and a ball-only
// start just ends. Otherwise this process takes the lock: held, it is the
// only copy, removes what killed copies left behind, listens for later
// starts (reopening.listener), and goes on (nothing is returned). Held by
// another copy: a ball-only start ends silently; any other asks that copy to
// show its main window and ends with status 0 once it has, or, without an
// answer within reopening.wait (counted from the start of the settling),
// says ALREADY_RUNNING_MESSAGE on err and in an alert with
// NOT_ANSWERING_TEXT and ends with status 1. A lock that cannot be had at
// all ends every start with status 1: another copy could be using the data.
// It says why (LOCK_UNAVAILABLE_TITLE and lockUnavailableMessage) on err and
// in an alert. Returns the exit status when the process is to end.
std::optional<int> settleOtherCopies(platform::Application& app, platform::Dialogs& dialogs,
                                     const platform::Environment& env, InstanceLock& lock,
                                     Reopening& reopening, std::ostream& err);

// The temporaries that killed copies left in the folders the app owns or
// writes to on its own: the settings folder, the autostart and launcher-entry
// folders, the data folder and its copies, and the install stages in the
// Applications folder. Only while the
// lock is held: no other copy can be writing them.
void removeStartLeftovers(const platform::Environment& env);
