// The real page in the app's own web view, with generated data of 10, 600
// and 5 000 assignments: how long the first view takes, and how long each
// change and each move of a teacher's day takes to reach the next frame: one
// +1 on 今天, opening 记录 on 作业 and the record itself, one change of the
// weekly minutes on 可用时间, going to 本周 and its next week, to 计划 and
// 班级, the return-day rule on 设置, and back to 作业. The 10-assignment
// figures are the baseline of the same run.
//
//   tessaloom_page_bench --resources DIR [--runs N]
//
// Each step is timed in the page with performance.now(): from just before
// the click to the first animation frame after the view has been rendered
// again, plus one task (the frame's style, layout and paint). Prints figures;
// never fails on one.

#include "support/SystemHarness.h"
#include "system/DataFolder.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Three classes per 200 assignments, half of them graded through, a day of
// timed records for each of the last 120 days, and 20 000 exceptions (30 at
// the baseline's size).
const char* GENERATOR = R"JS(
export function make(n, today) {
  const add = (iso, k) => { const d = new Date(iso + 'T00:00:00Z'); d.setUTCDate(d.getUTCDate() + k); return d.toISOString().slice(0, 10); };
  const classes = Array.from({ length: Math.max(3, Math.ceil(n / 200)) }, (_, i) => ({ id: `c${i}`, name: `${i + 1} 班`, color: '#4f7cac', size: 40 }));
  const assignments = [];
  for (let i = 0; i < n; i++) {
    const collected = add(today, -((i * 7) % 200));
    const done = i % 2 === 0;
    assignments.push({ id: `a${i}`, title: `第 ${i + 1} 次作业`, kind: '', classId: classes[i % classes.length].id,
      collected, due: add(collected, 3 + (i % 20)), submissions: 40, minutesEach: 2 + (i % 5), graded: done ? 40 : i % 7 });
  }
  const progress = {};
  for (let d = 0; d < 120; d++) progress[add(today, -d)] = { [`a${(d * 2) % n}`]: { n: 1, min: 3, tn: 1, tmin: 3 } };
  // A year's worth where the data is a year's: a backup may carry 20 000.
  const exceptions = [];
  for (let i = 0; i < (n > 100 ? 20000 : 30); i++) exceptions.push({ date: add(today, i - 10000), minutes: 60 + (i % 90), note: '' });
  // Today's work, so that 今天 has a +1 to press.
  assignments.push({ id: 'today', title: '今天的作业', kind: '', classId: 'c0', collected: today, due: add(today, 5), submissions: 40, minutesEach: 1, graded: 0 });
  return { version: 5, classes, assignments, availability: { weekly: [600, 600, 600, 600, 600, 600, 600], exceptions },
    progress, templates: [], calendar: { sequence: 0, sent: {} }, settings: { gradeOnReturnDay: false, sessionStart: '19:00', reminder: 0 }, deleted: [] };
}
)JS";

// Resolves once the view has been rendered again and one frame drawn.
const char* SETTLE = "const settle = () => new Promise((done) => setTimeout(() => "
                     "requestAnimationFrame(() => setTimeout(done, 0)), 0));";

// After a step, the work it leaves for later (the save, the data file's
// text): waits until the page has been free for 1.5 s (at most 8 s) and
// gives the longest stretch it was busy meanwhile. The next step starts
// from a quiet page, as a teacher's next click mostly would.
const char* QUIET = R"JS(
const quiet = async () => {
  let longest = 0, last = performance.now(), calmSince = last;
  const until = last + 8000;
  while (last - calmSince < 1500 && last < until) {
    await new Promise((ok) => setTimeout(ok, 10));
    const now = performance.now();
    if (now - last > 50) { longest = Math.max(longest, now - last); calmSince = now; }
    last = now;
  }
  return longest;
};
)JS";

// One timed step of a run: its column, its script (which gives the time),
// and whether it changes the data, so that the busy time it leaves is shown.
struct Step {
  const char* name;
  std::string body;
  bool change;
};

// The side bar's button for `view`, clicked as the teacher goes there.
std::string nav(const std::string& view) {
  return "document.querySelector('#nav button[data-view=" + view + "]').click();";
}

// Goes to `view` and waits for it to be drawn.
std::string shown(const std::string& view) {
  return nav(view) + "await settle(); await settle();";
}

// `before`, then `act` timed to the frame that shows its result.
std::string timed(const std::string& before, const std::string& act) {
  return before + "const t0 = performance.now();" + act +
         "await settle(); return performance.now() - t0;";
}

// A click on `what` once `view` is shown.
std::string clickIn(const std::string& view, const std::string& what) {
  return timed(shown(view) + "const b = document.querySelector('" + what + "');", "b.click();");
}

// Going to `view`.
std::string goTo(const std::string& view) {
  return timed("await settle();", nav(view));
}

std::vector<Step> steps(int run) {
  return {
      // From the start of the page's load to its first frame with the view.
      {"first view", "await settle(); return performance.now();", false},
      {"+1 on 今天", clickIn("today", "[data-key$=\"p1\"]"), true},
      {"open 记录", clickIn("assignments", "[data-key^=\"rec-\"]"), false},
      // The teacher types the count once the dialog is there.
      {"record on 作业",
       timed("await settle(); document.getElementById('rp-count').value = '1';"
             "const ok = document.querySelector('dialog[open] button[type=submit]');",
             "ok.click();"),
       true},
      {"weekly minutes on 可用时间",
       timed(shown("time") +
                 "const input = document.getElementById('wk-0');"
                 "input.value = String(500 + " +
                 std::to_string(run) + ");",
             "input.dispatchEvent(new Event('change', {bubbles: true}));"),
       true},
      {"to 本周", goTo("week"), false},
      {"下一周 on 本周", clickIn("week", "[data-key=week-next]"), false},
      {"to 计划", goTo("plan"), false},
      {"to 班级", goTo("classes"), false},
      {"归还日 on 设置", clickIn("settings", "#on-return"), true},
      {"to 作业", goTo("assignments"), false},
  };
}

double median(std::vector<double> v) {
  if (v.empty())
    return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Medians by step, the fastest and slowest run, and the median busy time
// after each change.
struct Figures {
  std::vector<double> time, least, most, after;
};

// Runs `body`, which gives a time, then waits for quiet; gives the time and
// the longest busy stretch that followed, or nothing.
std::optional<std::pair<double, double>> step(systest::SystemApp& app, const std::string& body) {
  systest::ScriptResult r =
      app.evaluate(std::string(SETTLE) + QUIET + "const t = await (async () => {" + body +
                       "})(); return [t, await quiet()];",
                   120);
  if (!r.ok || !r.value.is_array() || r.value.size() != 2 || !r.value[0].is_number() ||
      !r.value[1].is_number()) {
    std::fprintf(stderr, "page bench: %s %s\n", r.error.c_str(), r.value.dump().c_str());
    return std::nullopt;
  }
  return std::make_pair(r.value[0].get<double>(), r.value[1].get<double>());
}

void printMarks(systest::SystemApp& app, int n, const char* what) {
  if (!std::getenv("PAGE_BENCH_MARKS"))
    return;
  systest::ScriptResult marks =
      app.evaluate("return performance.getEntriesByType('mark').slice(-12).map((m) => m.name + "
                   "'=' + Math.round(m.startTime));");
  std::fprintf(stderr, "%d %s marks: %s\n", n, what, marks.value.dump().c_str());
}

bool measure(const fs::path& resources, int n, int runs, Figures& f) {
  systest::SystemApp app;
  app.addResourcesFrom(resources);
  app.addResource("benchgen.js", GENERATOR);
  app.launch();
  if (!app.waitForLoads(1))
    return false;
  systest::ScriptResult seeded =
      app.evaluate("const {make} = await import('halvane://local/benchgen.js');"
                   "const {localISO} = await import('halvane://local/dates.js');"
                   "const {normalize} = await import('halvane://local/store.js');"
                   "const {Clock, Stamper} = await import('halvane://local/stamps.js');"
                   "const today = localISO(new Date());"
                   // Stamped, as data the app has worked with is.
                   "const data = normalize(make(" +
                       std::to_string(n) +
                       ", today)).data;"
                       "new Stamper(new Clock('bench0001')).stamp(data, today);"
                       "const {backupText} = await import('halvane://local/store.js');"
                       "localStorage.clear();"
                       "return backupText(data);",
                   120);
  // Through the data file: a year of data may be more than the engine's
  // storage takes, and the page starts from the file then.
  if (!seeded.ok || !seeded.value.is_string())
    return false;
  const fs::path folder = dataFolderPath(app.platform.env);
  fs::create_directories(folder);
  std::ofstream(folder / DataFolder::FILE_NAME, std::ios::binary)
      << seeded.value.get<std::string>();
  const size_t count = steps(0).size();
  std::vector<std::vector<double>> time(count), after(count);
  for (int i = 0; i < runs; i++) {
    app.delegate().reloadPage();
    if (!app.waitForLoads(size_t(2 + i)) ||
        // The view itself, not the one shown while the data file is read.
        !app.waitForScript(
            "(document.querySelector('#main h1')?.textContent ?? '正在打开数据文件…') !== "
            "'正在打开数据文件…'",
            120))
      return false;
    const std::vector<Step> run = steps(i);
    for (size_t k = 0; k < count; k++) {
      auto got = step(app, run[k].body);
      if (!got)
        return false;
      time[k].push_back(got->first);
      after[k].push_back(got->second);
      printMarks(app, n, run[k].name);
    }
  }
  for (size_t k = 0; k < count; k++) {
    f.time.push_back(median(time[k]));
    f.least.push_back(*std::min_element(time[k].begin(), time[k].end()));
    f.most.push_back(*std::max_element(time[k].begin(), time[k].end()));
    f.after.push_back(median(after[k]));
  }
  return true;
}

} // namespace

int main(int argc, char** argv) {
  fs::path resources;
  int runs = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--resources")
      resources = fs::absolute(argv[i + 1]);
    else if (a == "--runs")
      runs = std::max(1, std::atoi(argv[i + 1]));
  }
  if (resources.empty()) {
    std::fprintf(stderr, "usage: tessaloom_page_bench --resources DIR [--runs N]\n");
    return 2;
  }
  systest::prepareProcess();
  systest::realPlatform();
  const std::vector<Step> names = steps(0);
  std::printf("ms, median of %d (ratio to 10 assignments), fastest–slowest run\n", runs);
  std::vector<std::pair<int, Figures>> all;
  for (int n : {10, 600, 5000}) {
    Figures f;
    if (!measure(resources, n, runs, f)) {
      std::printf("%d: the page did not answer\n", n);
      return 1;
    }
    all.emplace_back(n, f);
    // Each size as soon as it is measured, one step a line.
    std::printf("\n%d assignments\n", n);
    for (size_t k = 0; k < names.size(); k++) {
      const double base = all.front().second.time[k];
      std::printf("  %-28s %8.1f (%.2f)  %5.0f–%-5.0f", names[k].name, f.time[k],
                  base > 0 ? f.time[k] / base : 0.0, f.least[k], f.most[k]);
      if (names[k].change)
        std::printf("   then busy %6.1f", f.after[k]);
      std::printf("\n");
    }
    std::fflush(stdout);
  }
  return 0;
}
