#pragma once

#include "platform/platform.h"
#include "system/InstanceLock.h"

#include <filesystem>
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

// Settles what this start does about another running copy, before anything
// is built. Where the window system already knows a running copy, a plain
// start hands over to it (it shows its main window) and a ball-only start
// just ends. Otherwise this process takes the lock: held, it is the only
// copy, removes what killed copies left behind, and goes on (nothing is
// returned). Held by another copy: a ball-only start ends silently, any other
// says ALREADY_RUNNING_MESSAGE on err and ends with status 1. A lock that
// cannot be had at all ends every start with status 1: another copy could
// be using the data. It says why (LOCK_UNAVAILABLE_TITLE and
// lockUnavailableMessage) on err and in an alert. Returns the exit status
// when the process is to end.
std::optional<int> settleOtherCopies(platform::Application& app, platform::Dialogs& dialogs,
                                     const platform::Environment& env, InstanceLock& lock,
                                     std::ostream& err);

// The temporaries that killed copies left in the folders the app owns or
// writes to on its own: the settings folder, the autostart and launcher-entry
// folders, the data folder and its copies, and the install stages in the
// Applications folder. Only while the
// lock is held: no other copy can be writing them.
void removeStartLeftovers(const platform::Environment& env);
