#pragma once

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
    // The file could not be made or locked (no rights, a file system
    // without locks): nobody can be told apart.
    Unavailable,
  };

  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Creates the file and its folders when missing, and takes the lock
  // without waiting.
  Outcome acquire(const std::filesystem::path& file);
  bool held() const { return fd_ >= 0; }

private:
  int fd_ = -1;
};
