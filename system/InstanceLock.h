#pragma once

#include "platform/Descriptor.h"
#include "platform/Result.h"

#include <filesystem>

// An advisory lock on a file (flock), held for the life of the object. The
// system lets go of it when the process ends in any way, so a crash never
// leaves it held. Only this object's open file holds it: the file is closed
// in programs the process starts, and a second lock on the same file, even
// from this process, is refused.
class InstanceLock {
public:
  enum class Outcome {
    // This object holds the lock now.
    Held,
    // Another process (or another object) holds it.
    HeldElsewhere,
    // Nothing could be locked there: nobody can be told apart.
    Unavailable,
  };

  // What stands at the path when nothing could be locked there.
  enum class Obstacle {
    None,
    // A symbolic link, which is never followed.
    Link,
    Folder,
    // A FIFO, a socket, a device.
    OtherKind,
    // A regular file or nothing, and the system refused (no rights to make
    // it, a read-only volume without it, a file system without locks).
    SystemError,
  };

  struct Attempt {
    Outcome outcome = Outcome::Unavailable;
    Obstacle obstacle = Obstacle::None;
    // Obstacle::SystemError: what the system said.
    platform::Failure failure;
  };

  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Creates the file and its folders when missing, and takes the lock
  // without waiting. A file that cannot be opened for writing is locked
  // through a read-only open. What stands there is never removed or
  // replaced: two starting processes could then lock two different files.
  Attempt acquire(const std::filesystem::path& file);
  bool held() const { return fd_.valid(); }

private:
  platform::Descriptor fd_;
};
