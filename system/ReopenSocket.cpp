#include "system/ReopenSocket.h"

#include "platform/Descriptor.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr char REQUEST[] = "show\n";
constexpr char ANSWER[] = "shown\n";
// Longer than either line: anything longer is not ours.
constexpr std::size_t LINE_LIMIT = 16;
// How long a connected asker may take to say what it wants, so that one that
// says nothing cannot hold up the next.
constexpr int REQUEST_WAIT_MS = 1000;
// The name the socket is bound under before it takes the real name's place
// in one step.
constexpr const char* MAKING_SUFFIX = ".new";

#ifdef MSG_NOSIGNAL
constexpr int SEND_FLAGS = MSG_NOSIGNAL;
#else
constexpr int SEND_FLAGS = 0;
#endif

// Closed with the last holder: a request waiting on the main queue keeps its
// connection, and one the queue drops unrun closes it.
struct Connection {
  platform::Descriptor socket;
};

// Close-on-exec: the engine's helper programs must not keep the socket. No
// SIGPIPE where the other end has gone (macOS has no MSG_NOSIGNAL).
void prepareSocket(int fd) {
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
#ifdef SO_NOSIGPIPE
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
}

bool addressOf(const fs::path& socket, sockaddr_un& address) {
  if (!fitsSocketAddress(socket))
    return false;
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, socket.c_str(), socket.native().size() + 1);
  return true;
}

// A folder of this user's that nobody else can write into, and so nobody
// else can put a socket of theirs in.
bool privateFolder(const fs::path& folder) {
  struct stat st {};
  return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Makes the socket's folder where it is missing, only this user's, and
// takes back the rights others have on one of the user's own.
platform::Result<void> makePrivateFolder(const fs::path& folder) {
  std::error_code ignored;
  fs::create_directories(folder.parent_path(), ignored);
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
    return platform::Failure::of(errno);
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0)
    return platform::Failure::of(errno);
  if (!S_ISDIR(st.st_mode))
    return platform::Failure::of(ENOTDIR);
  if (st.st_uid != ::geteuid())
    return platform::Failure::of(EPERM);
  if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0)
    return platform::Failure::of(errno);
  return {};
}

// Waits until fd is ready for events, or the deadline; false on the deadline.
bool waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    // Rounded up: poll never waits less than what is left.
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      return false;
    pollfd p{fd, events, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready > 0)
      return true;
    if (ready < 0 && errno != EINTR)
      return false;
  }
}

// Reads one line of at most LINE_LIMIT bytes by the deadline; nothing on
// the deadline, the end of the stream or anything longer.
std::optional<std::string> readLine(int fd, std::chrono::steady_clock::time_point deadline) {
  std::string line;
  while (line.size() < LINE_LIMIT) {
    if (!waitFor(fd, POLLIN, deadline))
      return std::nullopt;
    char buffer[LINE_LIMIT];
    const ssize_t got = ::recv(fd, buffer, LINE_LIMIT - line.size(), 0);
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
      continue;
    if (got <= 0)
      return std::nullopt;
    line.append(buffer, static_cast<std::size_t>(got));
    const std::size_t end = line.find('\n');
    if (end != std::string::npos)
      return end + 1 == line.size() ? std::optional<std::string>(line) : std::nullopt;
  }
  return std::nullopt;
}

bool sendAll(int fd, const char* text) {
  const std::size_t length = std::strlen(text);
  ssize_t sent;
  do
    sent = ::send(fd, text, length, SEND_FLAGS);
  while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(length);
}

// The asker has closed its end: it gave up waiting. It sends nothing after
// its request, so what can be read now is only the end of the stream.
bool askerGone(int fd) {
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 0) <= 0)
    return false;
  char byte;
  const ssize_t got = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

} // namespace

struct ReopenListener::Shared {
  std::mutex mutex;
  // Null once the listener is gone: nothing more is posted.
  platform::MainQueue* queue;
  // Set with it, on the main thread, where the posted requests run: those
  // still waiting then show nothing.
  std::atomic<bool> gone{false};
  std::function<void()> reopen;
  // Closed by the thread that waits on it, once the listener is gone.
  platform::Descriptor socket;
};

namespace {

void answer(const std::shared_ptr<ReopenListener::Shared>& shared,
            const std::shared_ptr<Connection>& client) {
  if (shared->gone || askerGone(client->socket.get()))
    return;
  if (shared->reopen)
    shared->reopen();
  (void)sendAll(client->socket.get(), ANSWER);
}

void takeRequests(std::shared_ptr<ReopenListener::Shared> shared) {
  for (;;) {
    const int fd = ::accept(shared->socket.get(), nullptr, nullptr);
    if (fd < 0) {
      const int failed = errno;
      std::lock_guard<std::mutex> hold(shared->mutex);
      if (!shared->queue) {
        (void)shared->socket.close();
        return;
      }
      if (failed != EINTR && failed != ECONNABORTED)
        // Out of descriptors, say: try again later rather than spin.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      continue;
    }
    prepareSocket(fd);
    auto client = std::make_shared<Connection>(Connection{platform::Descriptor(fd)});
    const std::optional<std::string> request =
        readLine(fd, std::chrono::steady_clock::now() + std::chrono::milliseconds(REQUEST_WAIT_MS));
    if (request != std::string(REQUEST))
      continue;
    std::lock_guard<std::mutex> hold(shared->mutex);
    if (!shared->queue) {
      (void)shared->socket.close();
      return;
    }
    shared->queue->post([shared, client] { answer(shared, client); });
  }
}

} // namespace

bool fitsSocketAddress(const fs::path& socket) {
  return !socket.empty() && socket.native().size() < sizeof(sockaddr_un::sun_path) &&
         socket.native().find('\0') == std::string::npos;
}

std::optional<fs::path> reopenSocketPath(const std::vector<fs::path>& folders) {
  for (const fs::path& folder : folders) {
    if (folder.empty())
      continue;
    const fs::path socket = folder / "reopen.sock";
    if (fitsSocketAddress(socket.native() + MAKING_SUFFIX))
      return socket;
  }
  return std::nullopt;
}

ReopenListener::ReopenListener(std::shared_ptr<Shared> shared, fs::path socket)
    : shared_(std::move(shared)), socket_(std::move(socket)) {}

platform::Result<std::unique_ptr<ReopenListener>>
ReopenListener::listen(const fs::path& socket, const InstanceLock& lock, platform::MainQueue& queue,
                       std::function<void()> reopen) {
  // Without the lock another copy may be listening there.
  if (!lock.held())
    return platform::Failure::of(EWOULDBLOCK);
  const fs::path making = socket.native() + MAKING_SUFFIX;
  sockaddr_un address;
  if (!addressOf(making, address) || !fitsSocketAddress(socket))
    return platform::Failure::of(ENAMETOOLONG);
  if (platform::Result<void> made = makePrivateFolder(socket.parent_path()); !made)
    return made.failure();
  platform::Descriptor listening(::socket(AF_UNIX, SOCK_STREAM, 0));
  if (!listening.valid())
    return platform::Failure::of(errno);
  const int fd = listening.get();
  prepareSocket(fd);
  // The socket closes with `listening`.
  auto fail = [&making](int error) {
    ::unlink(making.c_str());
    return platform::Failure::of(error);
  };
  // Bound under a name of its own, then put in place with one rename: the
  // socket a killed copy left goes in the same step, and nobody ever finds
  // the new one before it is listening with its final rights.
  ::unlink(making.c_str());
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return fail(errno);
  if (::chmod(making.c_str(), 0600) != 0 || ::listen(fd, 16) != 0 ||
      ::rename(making.c_str(), socket.c_str()) != 0)
    return fail(errno);
  auto shared = std::make_shared<Shared>();
  shared->queue = &queue;
  shared->reopen = std::move(reopen);
  shared->socket = std::move(listening);
  // Never joined: it waits in accept for the life of the process, and the
  // process's end ends it.
  std::thread(takeRequests, shared).detach();
  return std::unique_ptr<ReopenListener>(new ReopenListener(shared, socket));
}

ReopenListener::~ReopenListener() {
  std::lock_guard<std::mutex> hold(shared_->mutex);
  shared_->queue = nullptr;
  shared_->gone = true;
  // Wakes the thread in accept where the system does (Linux); it then
  // closes the socket. Elsewhere the thread waits on until the process ends.
  ::shutdown(shared_->socket.get(), SHUT_RDWR);
  ::unlink(socket_.c_str());
}

ReopenAnswer askToReopen(const fs::path& socket, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  sockaddr_un address;
  if (!addressOf(socket, address) || !privateFolder(socket.parent_path()))
    return ReopenAnswer::NoAnswer;
  Connection connection{platform::Descriptor(::socket(AF_UNIX, SOCK_STREAM, 0))};
  if (!connection.socket.valid())
    return ReopenAnswer::NoAnswer;
  const int fd = connection.socket.get();
  prepareSocket(fd);
  // A copy whose queue of connections is full must not hold the start up.
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS || !waitFor(fd, POLLOUT, deadline))
      return ReopenAnswer::NoAnswer;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
      return ReopenAnswer::NoAnswer;
  }
  if (!sendAll(fd, REQUEST))
    return ReopenAnswer::NoAnswer;
  return readLine(fd, deadline) == std::string(ANSWER) ? ReopenAnswer::Reopened
                                                       : ReopenAnswer::NoAnswer;
}
