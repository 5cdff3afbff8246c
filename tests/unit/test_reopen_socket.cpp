#include "system/ReopenSocket.h"

#include "support/TempDir.h"
#include "test_reopen_queues.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Place {
  TempDir dir;
  fs::path socket = dir.path() / "run" / "reopen.sock";
  InstanceLock lock;
  Place() {
    EXPECT_EQ(lock.acquire(dir.path() / "instance.lock").outcome, InstanceLock::Outcome::Held);
  }
};

unsigned modeOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

ino_t inodeOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_ino;
}

// What a killed copy leaves: a socket file nobody listens on any more.
void leaveStaleSocket(const fs::path& socket) {
  fs::create_directories(socket.parent_path());
  fs::permissions(socket.parent_path(), fs::perms::owner_all);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

} // namespace

TEST(ReopenSocket, AnsweredOnlyOnceTheMainQueueHasShown) {
  Place place;
  reopen::HeldQueue queue;
  std::atomic<int> shown{0};
  auto listener = ReopenListener::listen(place.socket, place.lock, queue, [&] { ++shown; });
  ASSERT_TRUE(listener) << listener.failure().detail;
  // Only this user can reach it.
  EXPECT_EQ(modeOf(place.socket.parent_path()), 0700u);
  EXPECT_EQ(modeOf(place.socket), 0600u);
  EXPECT_TRUE(fs::is_socket(place.socket));

  for (int round = 0; round < 2; ++round) {
    std::future<ReopenAnswer> asked =
        std::async(std::launch::async, [&] { return askToReopen(place.socket, 5s); });
    ASSERT_TRUE(queue.waitForWork(5s));
    // The request waits for the main queue; the asker waits for it.
    EXPECT_EQ(asked.wait_for(100ms), std::future_status::timeout);
    EXPECT_EQ(shown, round);
    queue.runAll();
    EXPECT_EQ(asked.get(), ReopenAnswer::Reopened);
    EXPECT_EQ(shown, round + 1);
  }

  // Gone, it takes no more requests and leaves no socket behind.
  *listener = nullptr;
  EXPECT_FALSE(fs::exists(fs::symlink_status(place.socket)));
  EXPECT_EQ(askToReopen(place.socket, 1s), ReopenAnswer::NoAnswer);
  queue.runAll();
  EXPECT_EQ(shown, 2);
}

TEST(ReopenSocket, ACopyThatNeverAnswersIsGivenUpOn) {
  Place place;
  // Nothing there at all, or something that is no socket: no answer, at once.
  auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(askToReopen(place.socket, 5s), ReopenAnswer::NoAnswer);
  fs::create_directories(place.socket.parent_path());
  fs::permissions(place.socket.parent_path(), fs::perms::owner_all);
  writeFile(place.socket, "not a socket");
  EXPECT_EQ(askToReopen(place.socket, 5s), ReopenAnswer::NoAnswer);
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);

  // A copy whose main loop is stopped: the request is taken, never answered.
  reopen::HeldQueue queue;
  int shown = 0;
  auto listener = ReopenListener::listen(place.socket, place.lock, queue, [&] { ++shown; });
  ASSERT_TRUE(listener) << listener.failure().detail;
  before = std::chrono::steady_clock::now();
  EXPECT_EQ(askToReopen(place.socket, 300ms), ReopenAnswer::NoAnswer);
  const auto waited = std::chrono::steady_clock::now() - before;
  EXPECT_GE(waited, 300ms);
  EXPECT_LT(waited, 1500ms);
  // Running again, it drops the request of the start that gave up on it
  // (which said so in its own alert) and shows nothing for it.
  ASSERT_TRUE(queue.waitForWork(5s));
  queue.runAll();
  EXPECT_EQ(shown, 0);
}

TEST(ReopenSocket, AStaleSocketIsReplacedOnlyUnderTheLock) {
  Place place;
  leaveStaleSocket(place.socket);
  const ino_t stale = inodeOf(place.socket);
  EXPECT_EQ(askToReopen(place.socket, 1s), ReopenAnswer::NoAnswer);

  reopen::ImmediateQueue queue;
  int shown = 0;
  {
    // Without the lock another copy may be the one listening there.
    InstanceLock notHeld;
    auto refused = ReopenListener::listen(place.socket, notHeld, queue, [&] { ++shown; });
    EXPECT_FALSE(refused);
    EXPECT_EQ(inodeOf(place.socket), stale);
  }
  auto listener = ReopenListener::listen(place.socket, place.lock, queue, [&] { ++shown; });
  ASSERT_TRUE(listener) << listener.failure().detail;
  EXPECT_NE(inodeOf(place.socket), stale);
  EXPECT_EQ(askToReopen(place.socket, 2s), ReopenAnswer::Reopened);
  EXPECT_EQ(shown, 1);
  // Only the socket is left in its folder: nothing of how it was made.
  EXPECT_EQ(std::distance(fs::directory_iterator(place.socket.parent_path()), {}), 1);
}

TEST(ReopenSocket, APathTooLongForASocketAddressIsNeverUsed) {
  Place place;
  // Longer than any system's sun_path (108 bytes on Linux, 104 on macOS).
  const fs::path deep = place.dir.path() / std::string(120, 'd');
  const fs::path shallow = place.dir.path() / "s";
  EXPECT_EQ(reopenSocketPath({deep, shallow}), std::optional<fs::path>(shallow / "reopen.sock"));
  EXPECT_EQ(reopenSocketPath({fs::path(), shallow}),
            std::optional<fs::path>(shallow / "reopen.sock"));
  EXPECT_EQ(reopenSocketPath({deep}), std::nullopt);
  // One that fits only without the name it is made under is not chosen either.
  const std::size_t limit = sizeof(sockaddr_un::sun_path);
  const std::string base = place.dir.path().string() + "/";
  const fs::path tight = base + std::string(limit - 1 - base.size() - 12, 't');
  EXPECT_TRUE(fitsSocketAddress(tight / "reopen.sock"));
  EXPECT_EQ(reopenSocketPath({tight}), std::nullopt);

  reopen::ImmediateQueue queue;
  const fs::path tooLong = deep / "reopen.sock";
  EXPECT_FALSE(fitsSocketAddress(tooLong));
  auto refused = ReopenListener::listen(tooLong, place.lock, queue, [] {});
  EXPECT_FALSE(refused);
  EXPECT_FALSE(fs::exists(deep));
  EXPECT_EQ(askToReopen(tooLong, 1s), ReopenAnswer::NoAnswer);
}
