// Watches the X server while a program starts and while its ball is dragged.
//
//   xwatch launch (--opened FILE | --title T) [--timeout S] -- program args...
//       Starts the program and prints how many seconds after the start it was
//       ready: FILE was opened (the page fetches it from its load event), or
//       some window got a title beginning with T.
//   xwatch drag (--opened FILE | --title T) [--moves N] -- program args...
//       Starts the program, waits until it is ready, finds its 66 x 66 ball
//       window and drags it with synthetic pointer events, printing per-move
//       latency (pointer event to the window's ConfigureNotify) and, for a
//       burst of pointer events, how many window moves the server carried out.
//
// Events, not polling: inotify reports the open of FILE, and the watcher
// selects CreateNotify on the root window and PropertyNotify on every new
// window, so either signal is seen within microseconds. A file works where a
// title cannot: Tessaloom takes its window title at the engine's "load
// finished", which for its own scheme comes before the page's scripts have
// run. Pointer input goes through XTest, the same path xdotool takes, but
// from this process so that sending and observing share one clock.

#include "proc_tree.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int BALL = 66;

struct Options {
  std::string mode;
  std::string title;
  std::string opened;
  double timeoutSeconds = 60;
  int moves = 200;
  std::vector<char*> command;
};

int ignoreErrors(Display*, XErrorEvent*) {
  return 0;
}

class Watcher {
public:
  Watcher() {
    display_ = XOpenDisplay(nullptr);
    if (!display_) {
      std::fprintf(stderr, "xwatch: no X display\n");
      std::exit(2);
    }
    XSetErrorHandler(ignoreErrors);
    root_ = DefaultRootWindow(display_);
    netWmName_ = XInternAtom(display_, "_NET_WM_NAME", False);
    XSelectInput(display_, root_, SubstructureNotifyMask);
    XSync(display_, False);
  }
  ~Watcher() { XCloseDisplay(display_); }

  Display* display() { return display_; }
  Window root() { return root_; }

  // Waits for the next event, at most until the deadline; false on timeout.
  bool next(XEvent& event, double deadlineMs) {
    while (!XPending(display_)) {
      double left = deadlineMs - bench::monotonicMs();
      if (left <= 0)
        return false;
      pollfd fd{ConnectionNumber(display_), POLLIN, 0};
      poll(&fd, 1, int(left) + 1);
    }
    XNextEvent(display_, &event);
    if (event.type == CreateNotify) {
      // Select first, then look: a title set in between is not missed.
      XSelectInput(display_, event.xcreatewindow.window, PropertyChangeMask | StructureNotifyMask);
      XSync(display_, False);
    }
    return true;
  }

  std::string title(Window w) {
    for (Atom property : {netWmName_, Atom(XA_WM_NAME)}) {
      Atom type = None;
      int format = 0;
      unsigned long count = 0, after = 0;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(display_, w, property, 0, 4096, False, AnyPropertyType, &type, &format,
                             &count, &after, &data) == Success &&
          data) {
        std::string text(reinterpret_cast<char*>(data), count);
        XFree(data);
        if (type != None)
          return text;
      }
    }
    return "";
  }

  bool isTitleEvent(const XEvent& e) {
    return e.type == PropertyNotify &&
           (e.xproperty.atom == netWmName_ || e.xproperty.atom == XA_WM_NAME);
  }

  // Waits until some window's title begins with the marker; its id, or None
  // on timeout. The whole title is left in seen.
  Window waitForTitle(const std::string& marker, double deadlineMs, std::string& seen) {
    XEvent e;
    while (next(e, deadlineMs)) {
      Window w = None;
      if (e.type == CreateNotify)
        w = e.xcreatewindow.window;
      else if (isTitleEvent(e))
        w = e.xproperty.window;
      if (w == None)
        continue;
      seen = title(w);
      if (seen.compare(0, marker.size(), marker) == 0)
        return w;
    }
    return None;
  }

  // A mapped top-level window of the ball's size.
  Window findBall() {
    Window rootReturn, parent, *children = nullptr;
    unsigned count = 0;
    Window found = None;
    if (!XQueryTree(display_, root_, &rootReturn, &parent, &children, &count))
      return None;
    for (unsigned i = 0; i < count && found == None; ++i) {
      XWindowAttributes a;
      if (XGetWindowAttributes(display_, children[i], &a) && a.map_state == IsViewable &&
          a.width == BALL && a.height == BALL)
        found = children[i];
    }
    if (children)
      XFree(children);
    return found;
  }

  void position(Window w, int& x, int& y) {
    Window child;
    XTranslateCoordinates(display_, w, root_, 0, 0, &x, &y, &child);
  }

private:
  Display* display_ = nullptr;
  Window root_ = None;
  Atom netWmName_ = None;
};

// Reports the first open of one file, by inotify on its folder.
class OpenWatch {
public:
  explicit OpenWatch(const std::string& file) {
    std::size_t slash = file.rfind('/');
    std::string folder = slash == std::string::npos ? "." : file.substr(0, slash);
    name_ = slash == std::string::npos ? file : file.substr(slash + 1);
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0 || inotify_add_watch(fd_, folder.c_str(), IN_OPEN) < 0) {
      std::fprintf(stderr, "xwatch: cannot watch %s\n", folder.c_str());
      std::exit(2);
    }
  }
  ~OpenWatch() { close(fd_); }
  bool waitForOpen(double deadlineMs) {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      ssize_t n = read(fd_, buffer, sizeof buffer);
      for (ssize_t at = 0; at < n;) {
        auto* e = reinterpret_cast<inotify_event*>(buffer + at);
        if (e->len && name_ == e->name)
          return true;
        at += ssize_t(sizeof(inotify_event) + e->len);
      }
      double left = deadlineMs - bench::monotonicMs();
      if (left <= 0)
        return false;
      pollfd p{fd_, POLLIN, 0};
      poll(&p, 1, int(left) + 1);
    }
  }

private:
  int fd_ = -1;
  std::string name_;
};

pid_t start(const Options& o) {
  std::vector<char*> argv = o.command;
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[0], argv.data());
    std::perror("xwatch: exec");
    _exit(127);
  }
  return pid;
}

struct Stats {
  double median = 0, p95 = 0, max = 0, mean = 0;
};

Stats stats(std::vector<double> v) {
  Stats s;
  if (v.empty())
    return s;
  std::sort(v.begin(), v.end());
  s.median = v[v.size() / 2];
  s.p95 = v[std::min(v.size() - 1, v.size() * 95 / 100)];
  s.max = v.back();
  for (double x : v)
    s.mean += x;
  s.mean /= double(v.size());
  return s;
}

// Counts the window's moves: ConfigureNotify events that change its position.
struct MoveCounter {
  int x = -100000, y = -100000;
  int moves = 0;
  // True when the event moved w.
  bool see(const XEvent& e, Window w) {
    if (e.type != ConfigureNotify || e.xconfigure.window != w)
      return false;
    if (e.xconfigure.x == x && e.xconfigure.y == y)
      return false;
    x = e.xconfigure.x;
    y = e.xconfigure.y;
    ++moves;
    return true;
  }
};

// Waits for the window to arrive at (x, y); the time it did, or nothing.
std::optional<double> waitForMove(Watcher& x, Window w, int wantX, int wantY, double deadlineMs,
                                  MoveCounter& counter) {
  if (counter.x == wantX && counter.y == wantY)
    return bench::monotonicMs();
  XEvent e;
  while (x.next(e, deadlineMs))
    if (counter.see(e, w) && counter.x == wantX && counter.y == wantY)
      return bench::monotonicMs();
  return std::nullopt;
}

struct DragResult {
  std::vector<double> latencies;
  int missed = 0;
  int burstSent = 0;
  int burstMoves = 0;
  double burstSendMs = 0;
  double burstSettleMs = 0;
  bool burstArrived = false;
};

// Presses on the ball's centre and moves the pointer in small steps, first one
// at a time (latency), then as a burst at about 500 events per second.
DragResult drag(Watcher& x, Window ball, int moves,
                void (*moveSelf)(Watcher&, Window, int, int) = nullptr) {
  DragResult r;
  Display* d = x.display();
  XSelectInput(d, ball, StructureNotifyMask | PropertyChangeMask);
  int wx = 0, wy = 0;
  x.position(ball, wx, wy);
  int px = wx + BALL / 2, py = wy + BALL / 2;
  if (!moveSelf) {
    XTestFakeMotionEvent(d, -1, px, py, CurrentTime);
    XSync(d, False);
    usleep(150000);
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XSync(d, False);
    usleep(150000);
  }
  auto step = [&](int i, int& tx, int& ty) {
    tx = px - 3 * i;
    ty = py - i;
  };
  MoveCounter counter;
  counter.x = wx;
  counter.y = wy;
  for (int i = 1; i <= moves; ++i) {
    int tx, ty;
    step(i, tx, ty);
    double sent = bench::monotonicMs();
    if (moveSelf)
      moveSelf(x, ball, wx + tx - px, wy + ty - py);
    else
      XTestFakeMotionEvent(d, -1, tx, ty, CurrentTime);
    XFlush(d);
    std::optional<double> arrived =
        waitForMove(x, ball, wx + tx - px, wy + ty - py, sent + 1000, counter);
    if (arrived)
      r.latencies.push_back(*arrived - sent);
    else
      ++r.missed;
  }
  if (!moveSelf) {
    int base = moves;
    MoveCounter burst = counter;
    burst.moves = 0;
    double first = bench::monotonicMs();
    int tx = 0, ty = 0;
    for (int j = 1; j <= moves; ++j) {
      step(base + j, tx, ty);
      XTestFakeMotionEvent(d, -1, tx, ty, CurrentTime);
      XFlush(d);
      double until = first + 2.0 * j;
      XEvent e;
      // Count the moves that land while the burst is still being sent.
      while (bench::monotonicMs() < until)
        if (x.next(e, until))
          burst.see(e, ball);
    }
    r.burstSent = moves;
    r.burstSendMs = bench::monotonicMs() - first;
    std::optional<double> done =
        waitForMove(x, ball, wx + tx - px, wy + ty - py, bench::monotonicMs() + 3000, burst);
    r.burstMoves = burst.moves;
    r.burstArrived = bool(done);
    r.burstSettleMs = (done ? *done : bench::monotonicMs()) - first;
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XSync(d, False);
    usleep(100000);
  }
  return r;
}

void moveDirectly(Watcher& x, Window w, int nx, int ny) {
  XMoveWindow(x.display(), w, nx, ny);
}

void printDrag(const char* who, const DragResult& r, int moves) {
  Stats s = stats(r.latencies);
  std::printf("%s: per-move latency over %d moves: median %.2f ms, p95 %.2f ms, max %.2f ms "
              "(%d without a move)\n",
              who, moves, s.median, s.p95, s.max, r.missed);
  if (r.burstSent) {
    double settle = r.burstSettleMs / 1e3;
    std::printf("%s: burst of %d pointer events in %.0f ms -> %d window moves in %.0f ms "
                "(%.0f moves/s)%s\n",
                who, r.burstSent, r.burstSendMs, r.burstMoves, r.burstSettleMs,
                settle > 0 ? r.burstMoves / settle : 0.0,
                r.burstArrived ? "" : ", final position NOT reached");
  }
  std::printf("%s_latency_median_ms=%.3f\n", who, s.median);
}

Options parse(int argc, char** argv) {
  Options o;
  if (argc < 2) {
    std::fprintf(stderr, "usage: xwatch launch|drag --opened FILE|--title T [--timeout S] "
                         "[--moves N] -- program args...\n");
    std::exit(2);
  }
  o.mode = argv[1];
  int i = 2;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--") {
      ++i;
      break;
    }
    if (a == "--title" && i + 1 < argc)
      o.title = argv[++i];
    else if (a == "--opened" && i + 1 < argc)
      o.opened = argv[++i];
    else if (a == "--timeout" && i + 1 < argc)
      o.timeoutSeconds = std::atof(argv[++i]);
    else if (a == "--moves" && i + 1 < argc)
      o.moves = std::atoi(argv[++i]);
  }
  for (; i < argc; ++i)
    o.command.push_back(argv[i]);
  if (o.command.empty() || (o.title.empty() == o.opened.empty())) {
    std::fprintf(stderr, "xwatch: a program and one of --title, --opened are needed\n");
    std::exit(2);
  }
  return o;
}

} // namespace

int main(int argc, char** argv) {
  Options o = parse(argc, argv);
  Watcher x;
  std::optional<OpenWatch> file;
  if (!o.opened.empty())
    file.emplace(o.opened);
  double started = bench::monotonicMs();
  pid_t pid = start(o);
  double deadline = started + o.timeoutSeconds * 1e3;
  std::string seen;
  bool ready = file ? file->waitForOpen(deadline) : x.waitForTitle(o.title, deadline, seen) != None;
  double loaded = bench::monotonicMs();
  if (!ready) {
    std::printf("timeout: not ready (%s) within %.0f s\n",
                file ? o.opened.c_str() : o.title.c_str(), o.timeoutSeconds);
    bench::stopProcessTree(pid);
    return 1;
  }
  int status = 0;
  if (o.mode == "launch") {
    std::printf("%.4f\n", (loaded - started) / 1e3);
  } else if (o.mode == "drag") {
    Window ball = None;
    for (int i = 0; i < 200 && ball == None; ++i) {
      ball = x.findBall();
      if (ball == None)
        usleep(10000);
    }
    if (ball == None) {
      std::printf("no %d x %d window found\n", BALL, BALL);
      status = 1;
    } else {
      usleep(300000); // let the first frames settle
      printDrag("drag", drag(x, ball, o.moves), o.moves);
      // The floor: the server moving a window for a client that asks directly.
      Window plain = XCreateSimpleWindow(x.display(), x.root(), 100, 100, BALL, BALL, 0, 0, 0);
      XMapWindow(x.display(), plain);
      XSync(x.display(), False);
      usleep(50000);
      printDrag("xserver", drag(x, plain, o.moves, moveDirectly), o.moves);
      XDestroyWindow(x.display(), plain);
    }
  } else {
    std::printf("unknown mode %s\n", o.mode.c_str());
    status = 2;
  }
  std::fflush(stdout);
  bench::stopProcessTree(pid);
  return status;
}
