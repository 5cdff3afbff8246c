// Runs the real AppDelegate on the real GTK backend with a few things wrapped,
// to time what cannot be seen from outside the process.
//
//   tessaloom_bench --mode fetch --resources DIR
//       DIR is served as the app's resources; its index.html (the bench page)
//       fetches big.bin over the app's scheme and reports the time. A plain
//       C++ read of the same file in this process is the baseline. Also
//       prints this (the UI) process's peak resident size over the fetches;
//       --rounds N sets the timed fetches (default 5; 1 for a huge file),
//       --seconds S the time allowed (default 120).
//   tessaloom_bench --mode stall --resources DIR --file NAME
//       As fetch, for the file NAME in DIR (fetched --rounds more times after a
//       first one); prints the time the scheme handler held the main thread
//       for each request, and the longest stretch the main loop did not turn
//       while the fetches ran, against a plain C++ read of the file and the
//       idle loop's longest stretch before them. --pad N puts N bytes of
//       folder name before NAME in the address the page asks for.
//   tessaloom_bench --mode export --resources DIR --size MB --out FILE
//       The bench page exports MB megabytes through the save bridge; the save
//       panel answers FILE. Prints the stages from the page's click() to the
//       file on disk, peak memory of this (the UI) process and of WebKit's web
//       process, and writing the same bytes straight to disk as the baseline.
//   tessaloom_bench --mode ball-draw --frames N
//       The ball view in a real ball panel; times N redraws of its face and
//       badge through the backend's cairo canvas.
//
// The system tests' harness sits between the delegate and the platform (a
// scripted save panel, a recording workspace, memory defaults); the bench adds
// one message channel and times the save channel's handler through it. The
// product code itself is untouched.

#include "app/constants.h"
#include "ball/BallPlacement.h"
#include "ball/BallView.h"
#include "proc_tree.h"
#include "support/SystemHarness.h"
#include "web/SchemeHandler.h"

#include <glib.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Options {
  std::string mode;
  fs::path resources;
  fs::path out;
  int sizeMB = 1;
  int frames = 120;
  int rounds = 5;
  long pad = 0;
  int seconds = 120;
  std::string file = "big.bin";
};

double median(std::vector<double> v) {
  if (v.empty())
    return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double percentile(std::vector<double> v, int p) {
  if (v.empty())
    return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, v.size() * std::size_t(p) / 100)];
}

// The export page fills its blob with the same sequence, so the file on disk
// can be checked byte for byte.
std::string pattern(std::size_t bytes) {
  std::string data(bytes, '\0');
  std::uint32_t x = 12345;
  for (std::size_t i = 0; i + 4 <= bytes; i += 4) {
    x = x * 1664525u + 1013904223u;
    std::memcpy(&data[i], &x, 4);
  }
  return data;
}

// One open, the bytes in as few writes as the kernel allows, then close.
bool writeAll(const fs::path& path, const std::string& bytes, bool sync) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0)
    return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0)
      break;
    done += std::size_t(n);
  }
  bool ok = done == bytes.size() && (!sync || ::fsync(fd) == 0);
  return ::close(fd) == 0 && ok;
}

// Sized up front and read in one go: the baseline is one read, not a
// growing string.
std::string readAtOnce(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string data;
  std::error_code ec;
  data.resize(std::size_t(fs::file_size(path, ec)));
  in.read(data.data(), std::streamsize(data.size()));
  data.resize(std::size_t(in.gcount()));
  return data;
}

// ---- the app on the system tests' platform --------------------------------------

using systest::SystemApp;

// The bench's own folders stand in for the app's resources and downloads.
void useFolders(SystemApp& app, const Options& o) {
  app.platform.env.resourceDirectory = o.resources;
  if (!o.out.empty())
    app.platform.env.downloadsDirectory = o.out.parent_path();
}

// Adds the page-to-bench channel; its strings go to onReport.
void addReportChannel(platform::WebViewConfiguration& c,
                      std::function<void(const std::string&)> onReport) {
  c.channels.push_back({"benchReport",
                        [onReport](const platform::ScriptMessage& m) {
                          if (m.body && m.body->is_string())
                            onReport(m.body->get<std::string>());
                        },
                        {},
                        {}});
}

void addPageScript(platform::WebViewConfiguration& c, const std::string& source) {
  c.userScripts.insert(c.userScripts.begin(), platform::UserScript{source, true, true, {}, {}});
}

void onTimeout(int) {
  const char text[] = "timeout: the benchmark did not finish\n";
  ssize_t ignored = write(1, text, sizeof text - 1);
  (void)ignored;
  _exit(1);
}

// Runs the main loop until the bench terminates the app. Out of time, it says
// so with any alert the app showed (a failed save, say) and leaves at once,
// the engine perhaps stuck. The alarm set in main() is the backstop for a main
// loop that never comes back.
int runToEnd(SystemApp& app, double seconds = 110) {
  const systest::TestApplication& application = app.platform.app;
  if (systest::spinUntil([&] { return application.terminateCalls > 0; }, seconds))
    return 0;
  for (const systest::ScriptedDialogs::Alert& alert : app.platform.dialogsScript.alerts)
    std::printf("alert: %s: %s\n", alert.message.c_str(), alert.informative.c_str());
  std::fflush(stdout);
  onTimeout(0);
  return 1;
}

// ---- scheme throughput ----------------------------------------------------------

int fetchBench(const Options& o) {
  fs::path file = o.resources / "big.bin";
  std::vector<double> times;
  std::size_t bytes = 0;
  for (int i = 0; i < 6; ++i) {
    double t0 = bench::monotonicMs();
    std::string data = readAtOnce(file);
    double t1 = bench::monotonicMs();
    bytes = data.size();
    if (i > 0) // the first read warms the page cache, as the page's first fetch does
      times.push_back(t1 - t0);
  }
  double ms = median(times);
  std::printf("disk_read_bytes=%zu\ndisk_read_median_ms=%.2f\ndisk_read_mbps=%.1f\n", bytes, ms,
              double(bytes) / 1048576.0 / (ms / 1e3));
  std::fflush(stdout);

  SystemApp app;
  useFolders(app, o);
  // The baseline's reads are gone; the peak from here on is the app's.
  bench::resetPeak(getpid());
  long before = bench::statusKiB(getpid(), "VmRSS:");
  app.platform.configureWebView = [&app, &o, before](platform::WebViewConfiguration& c) {
    addPageScript(c, "window.__benchMode='fetch';window.__benchRounds=" + std::to_string(o.rounds) +
                         ";");
    addReportChannel(c, [&app, before](const std::string& text) {
      if (text == "done") {
        long peak = bench::statusKiB(getpid(), "VmHWM:");
        std::printf("fetch_ui_peak_MB=%.1f\nfetch_ui_extra_peak_MB=%.1f\n", peak / 1024.0,
                    (peak - before) / 1024.0);
        std::fflush(stdout);
        app.platform.application().terminate();
        return;
      }
      std::printf("%s\n", text.c_str());
      std::fflush(stdout);
    });
  };
  app.launch();
  return runToEnd(app, o.seconds - 10);
}

// ---- the UI's stall while a large file is served -----------------------------------

// The page fetches one file; every scheme request for it is timed in the
// handler (the main thread does nothing else meanwhile), and a high-priority
// tick every millisecond records the longest time the main loop did not turn
// while the fetch ran. Baselines in the same run: a plain C++ read of the
// same file, and the longest gap of the idle loop before the fetch.
class StallBench {
public:
  explicit StallBench(const Options& o) : o_(o) {
    useFolders(app_, o);
    app_.platform.configureWebView = [this](platform::WebViewConfiguration& c) {
      addPageScript(
          c, "window.__benchMode='fetch';window.__benchRounds=" + std::to_string(o_.rounds) +
                 ";window.__benchFile=" + nlohmann::json(o_.file).dump() +
                 ";window.__benchPad=" + std::to_string(o_.pad) + ";window.__benchIdleMs=1000;");
      auto inner = c.schemeHandler;
      c.schemeHandler = [this, inner](const platform::SchemeRequest& request) {
        const bool timed = request.url && request.url->ends_with("/" + o_.file);
        if (timed && !fetching_) {
          fetching_ = true;
          idleGapMs_ = maxGapMs_;
          maxGapMs_ = 0;
        }
        double t0 = bench::monotonicMs();
        platform::SchemeResponse response = inner(request);
        double t1 = bench::monotonicMs();
        if (timed) {
          handlerMs_.push_back(t1 - t0);
          served_ = response.ok;
          bytes_ = response.data.size();
        }
        return response;
      };
      addReportChannel(c, [this](const std::string& text) {
        if (text == "idle")
          maxGapMs_ = 0;
        else if (text == "done")
          finish();
        else if (text.rfind("fetch failed", 0) == 0)
          failed_ = true;
      });
    };
  }

  int run() {
    baseline();
    direct();
    lastTick_ = bench::monotonicMs();
    g_timeout_add_full(G_PRIORITY_HIGH, 1, &StallBench::tick, this, nullptr);
    app_.launch();
    return runToEnd(app_, o_.seconds - 10);
  }

private:
  static gboolean tick(gpointer data) {
    auto* self = static_cast<StallBench*>(data);
    double now = bench::monotonicMs();
    self->maxGapMs_ = std::max(self->maxGapMs_, now - self->lastTick_);
    self->lastTick_ = now;
    return G_SOURCE_CONTINUE;
  }

  // The same file read whole by plain C++, warm, when it can be held at all.
  void baseline() {
    fs::path file = o_.resources / o_.file;
    std::error_code ec;
    std::uintmax_t size = fs::file_size(file, ec);
    std::printf("stall_file=%s\nstall_file_bytes=%ju\nstall_address_pad_bytes=%ld\n",
                o_.file.c_str(), std::uintmax_t(size), o_.pad);
    if (ec || size > (std::uintmax_t(1) << 30)) {
      std::printf("stall_baseline_read_ms=n/a (larger than 1 GiB)\n");
      return;
    }
    std::vector<double> times;
    for (int i = 0; i < 4; ++i) {
      double t0 = bench::monotonicMs();
      std::string data = readAtOnce(file);
      double t1 = bench::monotonicMs();
      if (i > 0)
        times.push_back(t1 - t0);
    }
    readMs_ = median(times);
    std::printf("stall_baseline_read_ms=%.2f\n", readMs_);
  }

  // The product's handler alone, called here outside the engine and its loop.
  void direct() {
    SchemeHandler handler(o_.resources);
    std::vector<double> times;
    bool served = false;
    const platform::SchemeRequest request{
        "halvane://local/" + (o_.pad ? std::string(std::size_t(o_.pad), 'a') + "/" : "") + o_.file};
    for (int i = 0; i < 3; ++i) {
      double t0 = bench::monotonicMs();
      platform::SchemeResponse response = handler.start(request);
      times.push_back(bench::monotonicMs() - t0);
      served = response.ok;
    }
    std::printf("stall_handler_alone_ms=%.2f (%s)\n", median(times), served ? "served" : "404");
  }

  void finish() {
    std::printf("stall_served=%s\nstall_served_bytes=%zu\n",
                failed_ || !served_ ? "no (404)" : "yes", bytes_);
    std::printf("stall_requests=%zu\n", handlerMs_.size());
    std::printf("stall_handler_median_ms=%.2f\nstall_handler_max_ms=%.2f\n", median(handlerMs_),
                handlerMs_.empty() ? 0.0 : *std::max_element(handlerMs_.begin(), handlerMs_.end()));
    std::printf("stall_loop_idle_max_gap_ms=%.2f (1 s before the first request)\n", idleGapMs_);
    std::printf("stall_loop_max_gap_ms=%.2f (first request to the last report)\n", maxGapMs_);
    if (readMs_ > 0)
      std::printf("stall_handler_vs_read=%.2f\n", median(handlerMs_) / readMs_);
    std::fflush(stdout);
    app_.platform.application().terminate();
  }

  SystemApp app_;
  Options o_;
  std::vector<double> handlerMs_;
  double readMs_ = 0;
  double lastTick_ = 0;
  double maxGapMs_ = 0;
  double idleGapMs_ = 0;
  bool fetching_ = false;
  bool served_ = false;
  bool failed_ = false;
  std::size_t bytes_ = 0;
};

// ---- export ---------------------------------------------------------------------

struct Memory {
  long uiKiB = -1;
  long webKiB = -1;
};

pid_t webProcess() {
  return bench::findDescendant(getpid(), "WebKitWebProces");
}

class ExportBench {
public:
  explicit ExportBench(const Options& o) : o_(o) {
    useFolders(app_, o);
    app_.platform.dialogsScript.saveAnswers.push_back(o.out);
    app_.platform.dialogsScript.onSavePanel = [this](const platform::SavePanelOptions&) {
      native_["savePanel"] = bench::epochMs();
    };
    app_.platform.workspaceLog.onReveal = [this](const fs::path&) {
      native_["written"] = bench::epochMs();
      peak_.uiKiB = bench::statusKiB(getpid(), "VmHWM:");
      if (pid_t web = webProcess())
        peak_.webKiB = bench::statusKiB(web, "VmHWM:");
      written_ = true;
      finishIfDone();
    };
    app_.platform.configureWebView = [this](platform::WebViewConfiguration& c) {
      addPageScript(
          c, "window.__benchMode='export';window.__benchSize=" + std::to_string(o_.sizeMB) + ";");
      for (platform::MessageChannel& channel : c.channels) {
        if (channel.name != "hlvnSave")
          continue;
        auto inner = channel.handler;
        channel.handler = [this, inner](const platform::ScriptMessage& m) {
          native_["handlerEnter"] = bench::epochMs();
          enterPeakKiB_ = bench::statusKiB(getpid(), "VmHWM:");
          enterHeldKiB_ = bench::statusKiB(getpid(), "VmRSS:");
          inner(m);
          native_["handlerReturn"] = bench::epochMs();
          returnPeakKiB_ = bench::statusKiB(getpid(), "VmHWM:");
        };
      }
      addReportChannel(c, [this](const std::string& text) { report(text); });
    };
  }

  int run() {
    app_.launch();
    return runToEnd(app_);
  }

private:
  void report(const std::string& text) {
    if (text == "ready") {
      pid_t web = webProcess();
      bench::resetPeak(getpid());
      if (web)
        bench::resetPeak(web);
      before_.uiKiB = bench::statusKiB(getpid(), "VmRSS:");
      if (web)
        before_.webKiB = bench::statusKiB(web, "VmRSS:");
      app_.webView().evaluateJavaScript("__benchGo()");
    } else if (text.rfind("stamps:", 0) == 0) {
      page_ = nlohmann::json::parse(text.substr(7), nullptr, false);
      finishIfDone();
    } else {
      std::printf("%s\n", text.c_str());
    }
  }

  double pageStamp(const char* key) {
    return page_.is_object() && page_.contains(key) && page_[key].is_number()
               ? page_[key].get<double>()
               : -1;
  }
  double nativeStamp(const char* key) { return native_.count(key) ? native_[key] : -1; }

  void finishIfDone() {
    if (!written_ || page_.is_null() || finished_)
      return;
    finished_ = true;
    std::size_t bytes = std::size_t(o_.sizeMB) * 1024 * 1024;
    std::string expected = pattern(bytes);
    std::string got = readAtOnce(o_.out);
    bool same = got == expected;
    got.clear();
    got.shrink_to_fit();

    double click = pageStamp("click");
    struct Stage {
      const char* name;
      double at;
    } stages[] = {
        {"click() called", click},
        {"FileReader started (in click)", pageStamp("readStart")},
        {"postMessage entered (data URL read, Base64 sliced)", pageStamp("postEnter")},
        {"postMessage returned (message serialised, sent)", pageStamp("postReturn")},
        {"save handler entered (IPC, JS value -> JSON)", nativeStamp("handlerEnter")},
        {"save handler returned (checked, Base64 decoded, posted)", nativeStamp("handlerReturn")},
        {"save panel asked (main queue turn)", nativeStamp("savePanel")},
        {"file complete on disk (written, fsync, rename)", nativeStamp("written")},
    };
    std::printf("export %d MB: file %s\n", o_.sizeMB,
                same ? "complete, bytes match" : "WRONG (bytes differ)");
    double previous = click;
    for (const Stage& s : stages) {
      if (s.at < 0) {
        std::printf("  %-58s      n/a\n", s.name);
        continue;
      }
      std::printf("  %-58s %8.1f ms  (+%.1f)\n", s.name, s.at - click, s.at - previous);
      previous = s.at;
    }
    double total = nativeStamp("written") - click;
    double mb = double(bytes) / 1048576.0;
    long uiExtra = peak_.uiKiB - before_.uiKiB;
    long webExtra = peak_.webKiB - before_.webKiB;
    std::printf("export_%dMB_ms=%.1f\n", o_.sizeMB, total);
    std::printf("export_%dMB_ui_rss_before_MB=%.1f\n", o_.sizeMB, before_.uiKiB / 1024.0);
    std::printf("export_%dMB_ui_peak_MB=%.1f\n", o_.sizeMB, peak_.uiKiB / 1024.0);
    std::printf("export_%dMB_ui_extra_peak_MB=%.1f (%.2fx the file)\n", o_.sizeMB, uiExtra / 1024.0,
                uiExtra / 1024.0 / mb);
    // Where the UI process's peak builds up, above its resident size before the
    // click: the message as received and converted (peak by the handler's
    // entry, and what is still held there), then decoding, then writing.
    std::printf("  UI above pre-click RSS: by handler entry peak %.1f MB (held %.1f MB), "
                "by handler return peak %.1f MB, by file written peak %.1f MB\n",
                (enterPeakKiB_ - before_.uiKiB) / 1024.0, (enterHeldKiB_ - before_.uiKiB) / 1024.0,
                (returnPeakKiB_ - before_.uiKiB) / 1024.0, uiExtra / 1024.0);
    if (peak_.webKiB >= 0)
      std::printf("export_%dMB_web_extra_peak_MB=%.1f (%.2fx the file; web process)\n", o_.sizeMB,
                  webExtra / 1024.0, webExtra / 1024.0 / mb);

    // The baseline: the same bytes straight to disk, plain and made durable,
    // the median of three each.
    fs::path plain = o_.out.string() + ".baseline";
    std::vector<double> writes, durable;
    for (int round = 0; round < 3; ++round) {
      fs::remove(plain);
      double w0 = bench::monotonicMs();
      bool wrote = writeAll(plain, expected, false);
      double w1 = bench::monotonicMs();
      fs::remove(plain);
      bool synced = writeAll(plain, expected, true);
      double w2 = bench::monotonicMs();
      if (wrote && synced) {
        writes.push_back(w1 - w0);
        durable.push_back(w2 - w1);
      }
    }
    fs::remove(plain);
    double write = median(writes), fsynced = median(durable);
    std::printf("baseline_%dMB_write_ms=%.1f\nbaseline_%dMB_write_fsync_ms=%.1f\n", o_.sizeMB,
                write, o_.sizeMB, fsynced);
    std::printf("export_%dMB_vs_write_fsync=%.1fx\n", o_.sizeMB,
                fsynced > 0 ? total / fsynced : 0.0);
    std::fflush(stdout);
    app_.platform.application().terminate();
  }

  SystemApp app_;
  Options o_;
  std::map<std::string, double> native_;
  nlohmann::json page_;
  Memory before_, peak_;
  // The UI process at the save handler's entry (peak, and what it holds) and
  // at its return (peak).
  long enterPeakKiB_ = -1, enterHeldKiB_ = -1, returnPeakKiB_ = -1;
  bool written_ = false;
  bool finished_ = false;
};

// ---- the ball's redraw ----------------------------------------------------------

// Sits between the platform's view and the ball, timing each draw.
class TimedDraw final : public platform::ViewDelegate {
public:
  explicit TimedDraw(BallView& ball) : ball_(ball) {}
  std::function<void()> afterDraw;
  std::vector<double> times;
  void draw(platform::Canvas& canvas, const platform::Rect& bounds) override {
    double t0 = bench::monotonicMs();
    ball_.draw(canvas, bounds);
    times.push_back(bench::monotonicMs() - t0);
    if (afterDraw)
      afterDraw();
  }
  void mouseDown() override { ball_.mouseDown(); }
  void mouseDragged() override { ball_.mouseDragged(); }
  void mouseUp() override { ball_.mouseUp(); }
  void rightMouseUp() override { ball_.rightMouseUp(); }

private:
  BallView& ball_;
};

class BallDrawBench final : public platform::ApplicationDelegate {
public:
  BallDrawBench(platform::Platform& p, int frames) : p_(p), frames_(frames) {}

  void applicationDidFinishLaunching() override {
    platform::Point origin = ballPanelOrigin(std::nullopt, p_.screens().mainVisibleFrame(),
                                             p_.screens().visibleFrames());
    panel_ = p_.createPanel(ballContentRect(origin), ballPanelSettings());
    surface_ = p_.createView({{0, 0}, {BALL_SIZE, BALL_SIZE}});
    ball_ = std::make_unique<BallView>(p_.screens());
    ball_->attach(surface_.get(), panel_.get());
    timed_ = std::make_unique<TimedDraw>(*ball_);
    timed_->afterDraw = [this] {
      // The next count on a later turn, so every change gets its own frame.
      p_.mainQueue().post([this] { next(); });
    };
    surface_->setDelegate(timed_.get());
    panel_->setContentView(*surface_);
    panel_->raise();
    started_ = bench::monotonicMs();
  }
  bool applicationShouldTerminateAfterLastWindowClosed() override { return false; }
  bool applicationShouldHandleReopen(bool) override { return true; }
  void performAction(const std::string&) override {}

private:
  void next() {
    int drawn = int(timed_->times.size());
    if (drawn > frames_) {
      report();
      p_.application().terminate();
      return;
    }
    // 1, 2, ... 120 and round again: one, two and three digits.
    ball_->setCount(drawn % 120 + 1);
  }
  void report() {
    double elapsed = bench::monotonicMs() - started_;
    std::vector<double> t = timed_->times;
    double first = t.front();
    t.erase(t.begin()); // the first draw loads the fonts
    std::printf("ball_draw_first_ms=%.3f\n", first);
    std::printf("ball_draw_cairo_median_ms=%.3f\nball_draw_cairo_p95_ms=%.3f\n", median(t),
                percentile(t, 95));
    std::printf("ball_draw_frames_per_s=%.1f (%zu redraws in %.0f ms, paced by the frame "
                "clock)\n",
                double(timed_->times.size()) / (elapsed / 1e3), timed_->times.size(), elapsed);
    std::fflush(stdout);
  }

  platform::Platform& p_;
  int frames_;
  std::unique_ptr<platform::Panel> panel_;
  std::unique_ptr<platform::View> surface_;
  std::unique_ptr<BallView> ball_;
  std::unique_ptr<TimedDraw> timed_;
  double started_ = 0;
};

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--mode")
      o.mode = argv[i + 1];
    else if (a == "--resources")
      o.resources = fs::absolute(argv[i + 1]);
    else if (a == "--out")
      o.out = fs::absolute(argv[i + 1]);
    else if (a == "--size")
      o.sizeMB = std::atoi(argv[i + 1]);
    else if (a == "--frames")
      o.frames = std::atoi(argv[i + 1]);
    else if (a == "--rounds")
      o.rounds = std::max(1, std::atoi(argv[i + 1]));
    else if (a == "--file")
      o.file = argv[i + 1];
    else if (a == "--pad")
      o.pad = std::max(0L, std::atol(argv[i + 1]));
    else if (a == "--seconds")
      o.seconds = std::max(30, std::atoi(argv[i + 1]));
  }
  return o;
}

} // namespace

int main(int argc, char** argv) {
  Options o = parse(argc, argv);
  bool fetch = o.mode == "fetch" && !o.resources.empty();
  bool exports = o.mode == "export" && !o.resources.empty() && !o.out.empty() && o.sizeMB > 0;
  bool ballDraw = o.mode == "ball-draw";
  bool stall = o.mode == "stall" && !o.resources.empty();
  if (!fetch && !exports && !ballDraw && !stall) {
    std::fprintf(stderr, "usage: tessaloom_bench --mode fetch|stall|export|ball-draw ...\n");
    return 2;
  }
  // Before anything touches GLib: a throw-away home for the run's web data.
  systest::prepareProcess();
  signal(SIGALRM, onTimeout);
  alarm(unsigned(o.seconds));
  // The backend up before any figure is taken, as the app has it.
  systest::realPlatform();
  if (fetch)
    return fetchBench(o);
  if (exports)
    return ExportBench(o).run();
  if (stall)
    return StallBench(o).run();
  SystemApp app;
  BallDrawBench ball(app.platform, o.frames);
  app.platform.application().setDelegate(&ball);
  ball.applicationDidFinishLaunching();
  int status = runToEnd(app);
  // The bench goes first; the application must not call it on the way out.
  app.platform.application().setDelegate(nullptr);
  return status;
}
