#pragma once

// A teacher's data for the tests of the real page.

#include "support/SystemHarness.h"

#include <gtest/gtest.h>

namespace systest {

// Three classes; a few dozen assignments, some graded, some late, some
// handed back; weekly templates; exceptions; something in 最近删除. Made
// with the page's own model so it is in the shape the page stores.
inline const char* TEACHER_DATA = R"JS(
const {localISO, addDays} = await import('halvane://local/dates.js');
const m = await import('halvane://local/model.js');
const {Store, emptyData} = await import('halvane://local/store.js');
const today = localISO(new Date());
const d = emptyData();
const classes = [['三年一班', '#4f7cac', 42], ['三年二班', '#5a9e6f', 40], ['四年三班', '#c0694e', null]];
for (const [name, color, size] of classes) m.saveClass(d, {name, color, size});
const ids = d.classes.map((c) => c.id);
const kinds = ['作文', '听写', '周记', '试卷', '练习'];
for (let i = 0; i < 30; i++) {
  const collected = addDays(today, -(i % 9));
  const due = addDays(collected, i % 4 === 0 ? 1 : 3 + (i % 6));
  const submissions = 30 + (i % 12);
  m.saveAssignment(d, {title: `${kinds[i % 5]}第${i + 1}次`, kind: kinds[i % 5], classId: ids[i % 3],
    collected, due, submissions, minutesEach: 2 + (i % 5), graded: i % 3 === 0 ? Math.min(submissions, 10 + i) : 0}, null, null);
}
// Some graded without records (as typed in), some over the last days; one
// past due and handed back.
for (const [i, a] of d.assignments.entries()) if (i % 4 === 1) m.recordProgress(d, a.id, 5, addDays(today, -1 - (i % 3)), 12);
m.setReturned(d, [d.assignments[0].id], true);
d.availability.weekly = [120, 90, 120, 60, 120, 180, 150];
m.setException(d, addDays(today, 2), 0, '运动会');
m.setException(d, addDays(today, 5), 180, '晚上有空');
m.setException(d, addDays(today, -4), 0, '');
m.saveTemplate(d, {title: '周记', kind: '周记', classIds: ids.slice(0, 2), weekday: 0, dueAfter: 7, minutesEach: 3}, null, today);
m.saveTemplate(d, {title: '听写', kind: '听写', classIds: [ids[2]], weekday: 3, dueAfter: 2, minutesEach: 1}, null, today);
m.saveAssignment(d, {title: '旧的练习', kind: '练习', classId: ids[1], collected: addDays(today, -3), due: addDays(today, 4),
  submissions: 20, minutesEach: 2, graded: 0}, null, today);
m.deleteKept(d, 'assignment', d.assignments.at(-1).id, today);
const t = m.saveTemplate(d, {title: '默写', kind: '默写', classIds: [ids[0]], weekday: 4, dueAfter: 1, minutesEach: 1}, null, today);
m.deleteKept(d, 'template', t, today);
const r = new Store(localStorage).save(d);
if (!r.ok) throw new Error('not stored: ' + r.error);
return d.assignments.length;
)JS";

// The shipped page, started again on the teacher's data; the fixture has
// added and set up what it needs before.
inline void startWithTeacherData(SystemApp& app) {
  app.addResourcesFrom(TESSALOOM_RESOURCES_DIR);
  app.launch();
  ASSERT_TRUE(app.waitForLoads(1));
  ScriptResult seeded = app.evaluate(TEACHER_DATA);
  ASSERT_TRUE(seeded.ok) << seeded.error;
  app.delegate().reloadPage();
  ASSERT_TRUE(app.waitForLoads(2));
  ASSERT_TRUE(app.waitForScript("document.querySelector('#main h1')"));
  // The start is over (the file answered, this week's templates were added):
  // one still under way would redraw the screen for its own reasons.
  ASSERT_TRUE(app.waitForScript("document.documentElement.dataset.badge !== undefined"));
}

} // namespace systest
