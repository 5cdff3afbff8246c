// The shipped web app in the real engine, talking to the native side: its
// count reaches the ball, its "status" request is answered and shown, and
// a change draws again only what it touches.

#include "support/SystemHarness.h"
#include "support/TeacherData.h"

#include "ball/BallView.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// One class, one assignment of 7 submissions at a minute each, collected
// today and due in ten days, with ten hours free every day: the plan puts
// all 7 on today, so the page's count is 7.
const char* SEED = "const {localISO, addDays} = await import('halvane://local/dates.js');"
                   "const today = localISO(new Date());"
                   "localStorage.setItem('dovrelist', JSON.stringify({"
                   "  version: 2,"
                   "  classes: [{id: 'c1', name: '三年二班', color: '#4f7cac'}],"
                   "  assignments: [{id: 'a1', title: '作文', classId: 'c1', collected: today,"
                   "    due: addDays(today, 10), submissions: 7, minutesEach: 1, graded: 0}],"
                   "  availability: {weekly: [600, 600, 600, 600, 600, 600, 600], exceptions: []},"
                   "  progress: {},"
                   "  settings: {gradeOnReturnDay: false, sessionStart: '19:00'}"
                   "}));";

TEST(RealPage, ItsCountReachesTheBallAndItsStatusRequestIsAnsweredAndShown) {
  systest::SystemApp app;
  app.addResourcesFrom(TESSALOOM_RESOURCES_DIR);
  app.launch();
  // A value no page posts: the empty data set's 0 must be seen to arrive.
  app.delegate().ball().setCount(-1);
  ASSERT_TRUE(app.waitForLoads(1));
  EXPECT_EQ(app.loadsFailed(), 0);
  ASSERT_TRUE(systest::spinUntil([&] { return app.delegate().ball().count() == 0; }))
      << "count now " << app.delegate().ball().count();

  systest::ScriptResult seeded = app.evaluate(SEED);
  ASSERT_TRUE(seeded.ok) << seeded.error;
  app.delegate().reloadPage();
  ASSERT_TRUE(app.waitForLoads(2));
  ASSERT_TRUE(systest::spinUntil([&] { return app.delegate().ball().count() == 7; }))
      << "count now " << app.delegate().ball().count();
  // The page agrees with what the ball shows.
  ASSERT_TRUE(app.waitForScript("document.documentElement.dataset.badge === '7'"));
  EXPECT_TRUE(app.waitForScript("document.getElementById('nav-today').textContent === '7'"));

  // The settings screen shows what the "status" reply said: the app folder
  // of this environment, not installed, autostart off and ready to change.
  systest::ScriptResult moved = app.evaluate("location.hash = '#settings';");
  ASSERT_TRUE(moved.ok) << moved.error;
  std::string bundle = nlohmann::json(app.platform.env.bundlePath.string()).dump();
  ASSERT_TRUE(app.waitForScript("document.getElementById('app-path')?.textContent === " + bundle));
  systest::ScriptResult shown = app.evaluate(
      "const a = document.getElementById('autostart');"
      "return [a.checked, a.disabled, !!document.querySelector('[data-key=install]')];");
  ASSERT_TRUE(shown.ok) << shown.error;
  EXPECT_EQ(shown.value, nlohmann::json::array({false, false, true}));
  // Asking changed nothing on the machine.
  EXPECT_FALSE(std::filesystem::exists(app.platform.env.configDirectory / "autostart"));
  EXPECT_TRUE(app.platform.dialogsScript.alerts.empty());
}

// A change draws the screen again over what is shown: what reads the same
// stays the same element, so focus, the engine's layout and a screen
// reader's place are kept, and a kept row's buttons still act on their own
// assignment.
const char* REDRAW = R"JS(
const settle = () => new Promise((done) => setTimeout(() => requestAnimationFrame(() => setTimeout(done, 0)), 0));
const rows = (sel) => [...document.querySelectorAll(sel)];
const graded = (el) => el.textContent.match(/已批 (\d+) \//)[1];
// The rows that read the same before and after are the very same elements.
const sameWhereUnchanged = (before, after) => after.every((el) => {
  const was = before.find((b) => b.el.dataset.part === el.dataset.part);
  return !was || was.html !== el.outerHTML || was.el === el;
});
const seen = {};
// Ten hours every day, so that today holds several tasks whatever the weekday.
location.hash = '#time';
await settle(); await settle();
const exRows = () => rows('#main .ex-list li');
const exButtons = () => exRows().map((el) => el.querySelector('button'));
const exBefore = exButtons();
for (let i = 0; i < 7; i++) {
  const input = document.getElementById(`wk-${i}`);
  input.value = '600';
  input.dispatchEvent(new Event('change', { bubbles: true }));
  await settle();
}
// The exceptions stayed as they were, and a kept one's 删除 takes its own date.
seen.exceptions = exBefore.length;
seen.exceptionsKept = exButtons().every((el, i) => el === exBefore[i]) && exButtons().length === exBefore.length;
const dates = () => exButtons().map((el) => el.dataset.key);
const gone = dates().at(-1);
exButtons().at(-1).click();
await settle();
seen.exceptionGone = !dates().includes(gone) && dates().length === exBefore.length - 1;
location.hash = '#today';
await settle(); await settle();
const heading = document.querySelector('#main h1');
let before = rows('#main li.task').map((el) => ({ el, html: el.outerHTML }));
seen.tasks = before.length;
// A task with copies to spare today, so that +1 leaves it on today's list.
const first = before.map((b) => b.el).find((el) => Number(el.textContent.match(/今天批 (\d+) 份/)[1]) >= 2);
const firstWas = graded(first);
const plus = first.querySelector('[data-key$="-p1"]');
plus.focus();
plus.click();
await settle();
let after = rows('#main li.task');
const firstNow = after.find((el) => el.dataset.part === first.dataset.part);
seen.headingKept = document.querySelector('#main h1') === heading;
seen.firstCounted = !!firstNow && Number(graded(firstNow)) === Number(firstWas) + 1;
seen.focusKept = document.activeElement.dataset.key === plus.dataset.key;
seen.todayKept = sameWhereUnchanged(before, after);
// A kept row's +1 still counts on its own assignment.
const kept = after.find((el) => el !== firstNow && before.some((b) => b.el === el));
seen.someKept = !!kept;
if (kept) {
  const keptWas = graded(kept);
  kept.querySelector('[data-key$="-p1"]').click();
  await settle();
  const keptNow = rows('#main li.task').find((el) => el.dataset.part === kept.dataset.part);
  seen.secondCounted = !!keptNow && Number(graded(keptNow)) === Number(keptWas) + 1;
}

location.hash = '#assignments';
await settle(); await settle();
before = rows('#main tbody tr').map((el) => ({ el, html: el.outerHTML }));
seen.rows = before.length;
const counted = (el) => Number(el.querySelector('.progress-cell').textContent.match(/(\d+) \//)[1]);
const record = async () => {
  const button = document.querySelector('#main [data-key^="rec-"]');
  const row = button.closest('tr').dataset.part;
  const was = counted(button.closest('tr'));
  button.click();
  await settle();
  document.getElementById('rp-count').value = '1';
  document.querySelector('dialog[open] button[type=submit]').click();
  await settle();
  const now = document.querySelector(`#main tr[data-part="${row}"]`);
  return !!now && counted(now) === was + 1;
};
seen.recorded = await record();
after = rows('#main tbody tr');
seen.rowsKept = sameWhereUnchanged(before, after) && after.length === before.length;
seen.rowsSomeKept = after.filter((el) => before.some((b) => b.el === el)).length;
// Again, now that the rows are the ones kept, and then drawn whole.
before = after.map((el) => ({ el, html: el.outerHTML }));
seen.recordedAgain = await record();
seen.rowsKeptAgain = sameWhereUnchanged(before, rows('#main tbody tr'));
const partsBefore = new Set(rows('#main tbody tr').map((el) => el.dataset.part));
document.querySelector('#main [data-key=show-done]').click();
await settle();
seen.wholeRows = rows('#main tbody tr').filter((el) => el.cells.length === 9).length;
seen.allRows = rows('#main tbody tr').length;
seen.doneRows = rows('#main tbody tr').filter((el) => !partsBefore.has(el.dataset.part)).length;
return seen;
)JS";

TEST(RealPage, AChangeRedrawsOnlyWhatItTouchesAndKeptRowsStillWork) {
  systest::SystemApp app;
  systest::startWithTeacherData(app);
  if (::testing::Test::HasFatalFailure())
    return;
  systest::ScriptResult r = app.evaluate(REDRAW, 60);
  ASSERT_TRUE(r.ok) << r.error;
  const nlohmann::json& seen = r.value;
  ASSERT_GE(seen["exceptions"], 2) << seen;
  EXPECT_EQ(seen["exceptionsKept"], true);
  EXPECT_EQ(seen["exceptionGone"], true);
  ASSERT_GE(seen["tasks"], 2) << seen;
  EXPECT_EQ(seen["headingKept"], true);
  EXPECT_EQ(seen["firstCounted"], true);
  EXPECT_EQ(seen["focusKept"], true);
  EXPECT_EQ(seen["todayKept"], true);
  EXPECT_EQ(seen["someKept"], true);
  EXPECT_EQ(seen["secondCounted"], true);
  ASSERT_GE(seen["rows"], 10) << seen;
  EXPECT_EQ(seen["rowsKept"], true);
  EXPECT_GE(seen["rowsSomeKept"].get<int>(), seen["rows"].get<int>() - 3) << seen;
  EXPECT_EQ(seen["recorded"], true);
  EXPECT_EQ(seen["recordedAgain"], true);
  EXPECT_EQ(seen["rowsKeptAgain"], true);
  EXPECT_GT(seen["doneRows"].get<int>(), 0) << seen;
  EXPECT_EQ(seen["wholeRows"], seen["allRows"]) << seen;
}

} // namespace
