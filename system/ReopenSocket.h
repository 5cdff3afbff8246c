#pragma once

#include "platform/Result.h"
#include "platform/platform.h"
#include "system/InstanceLock.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// A second start asks the running copy to show its main window over a local
// socket, wherever the window system does not hand the start over itself (no
// session bus on Linux; on macOS a copy started from another bundle path, or
// directly). Only the copy that holds the one-copy lock listens, in a folder
// only this user can use, on a socket only this user can open.

// Whether a local socket can be bound at the path: it fits the address's
// sun_path with its terminating NUL (108 bytes on Linux, 104 on macOS).
bool fitsSocketAddress(const std::filesystem::path& socket);

// The socket in the first of the folders where it fits, the name it is made
// under included; nothing when it fits in none. Chosen by length alone, so
// that the copy that listens and the one that asks agree on it.
std::optional<std::filesystem::path>
reopenSocketPath(const std::vector<std::filesystem::path>& folders);

class ReopenListener {
public:
  // Listens at socket, in place of whatever a killed copy left there, and
  // only while lock is held: no other copy can be listening then. Makes the
  // socket's folder (mode 0700) where it is missing; one that is a link or
  // belongs to another user is refused. Requests are taken on a thread of
  // its own; reopen runs on the main queue, and the asker is answered only
  // once it has run, so a copy whose main loop is stopped or hung never
  // answers. A request whose asker has given up meanwhile is dropped.
  static platform::Result<std::unique_ptr<ReopenListener>>
  listen(const std::filesystem::path& socket, const InstanceLock& lock, platform::MainQueue& queue,
         std::function<void()> reopen);

  // Takes no more requests and removes the socket. Called on the main thread.
  ~ReopenListener();
  ReopenListener(const ReopenListener&) = delete;
  ReopenListener& operator=(const ReopenListener&) = delete;

  struct Shared;

private:
  ReopenListener(std::shared_ptr<Shared> shared, std::filesystem::path socket);
  std::shared_ptr<Shared> shared_;
  std::filesystem::path socket_;
};

enum class ReopenAnswer {
  // The running copy has shown its main window.
  Reopened,
  // No socket, nobody listening, or no answer within the wait.
  NoAnswer,
};

// Asks the copy listening at socket to show its main window, and waits at
// most wait for its answer.
ReopenAnswer askToReopen(const std::filesystem::path& socket, std::chrono::milliseconds wait);
