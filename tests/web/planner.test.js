// Planning: who gets graded when, and what the plan says cannot be done.
// The week test needs a zone with a clock change inside it.
process.env.TZ = 'America/New_York';

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { makePlan, dayLoad, minutesGradedOn } from '../../resources/planner.js';
import { recordProgress, deleteAssignment, saveAssignment, assignmentWarning } from '../../resources/model.js';
import { lateText } from '../../resources/planparts.js';
import { dayRange, startOfWeek, weekdayIndex, localISO, addDays, diffDays } from '../../resources/dates.js';
import { dataWith, every, sessionsOf } from './fixtures.js';

const MON = '2025-03-03';

test('deadlines are met when time allows, earliest return date first', () => {
  const data = dataWith({
    weekly: every(60),
    assignments: [
      { title: '作文', due: '2025-03-06', submissions: 10, minutesEach: 10 },
      { title: '听写', due: '2025-03-05', submissions: 6, minutesEach: 10 },
    ],
  });
  const plan = makePlan(data, MON);
  assert.deepEqual(plan.late, []);
  // 听写 comes back first, so it takes Monday whole.
  assert.deepEqual(sessionsOf(plan, 'a2'), [{ date: MON, count: 6 }]);
  assert.deepEqual(sessionsOf(plan, 'a1'), [
    { date: '2025-03-04', count: 6 },
    { date: '2025-03-05', count: 4 },
  ]);
  for (const d of plan.days) assert.ok(d.planned <= d.available, `${d.date} overbooked`);
  // Nothing is graded on or after the return day by default.
  for (const a of data.assignments)
    for (const s of sessionsOf(plan, a.id)) assert.ok(s.date < a.due, `${a.title} on ${s.date}`);
  assert.equal(plan.todayCount, 6);
});

test('too little time: the report names the assignment and the exact shortfall', () => {
  const data = dataWith({
    weekly: every(60),
    assignments: [
      { title: '试卷', due: '2025-03-05', submissions: 30, minutesEach: 10 },
      { title: '周记', due: '2025-03-05', submissions: 5, minutesEach: 25, collected: '2025-03-04' },
    ],
  });
  const plan = makePlan(data, MON);
  const byId = Object.fromEntries(plan.late.map((l) => [l.assignmentId, l]));
  // Monday and Tuesday, 60 minutes each: 12 of 30 fit.
  assert.equal(byId.a1.planned, 12);
  assert.equal(byId.a1.late, 18);
  assert.equal(byId.a1.lateMinutes, 180);
  assert.equal(byId.a1.reason, 'time');
  // Whole submissions only; 周记 was collected Tuesday and 试卷 ties on date
  // but was collected first, so 周记 finds no time left.
  assert.equal(byId.a2.planned, 0);
  assert.equal(byId.a2.late, 5);
  assert.equal(byId.a2.lateMinutes, 125);
  // Nothing late is planned before its return date at the cost of work that
  // is on time; what is late goes after the return date, marked overdue.
  for (const d of plan.days)
    for (const s of d.sessions) assert.equal(!!s.overdue, d.date >= '2025-03-05', `${s.assignmentId} on ${d.date}`);
});

test('a submission longer than any free day is reported as such', () => {
  const data = dataWith({ weekly: every(30), assignments: [{ due: '2025-03-10', submissions: 2, minutesEach: 45 }] });
  const [late] = makePlan(data, MON).late;
  assert.equal(late.reason, 'tooLong');
  assert.equal(late.late, 2);
});

test('exceptions for single dates replace the weekday time', () => {
  const data = dataWith({
    weekly: every(60),
    exceptions: [
      { date: '2025-03-04', minutes: 0, note: '休息' },
      { date: '2025-03-05', minutes: 150, note: '' },
    ],
    assignments: [{ due: '2025-03-07', submissions: 30, minutesEach: 10 }],
  });
  const plan = makePlan(data, MON);
  assert.deepEqual(
    dayRange(MON, '2025-03-07').map((d) => dayLoad(plan, data, d).available),
    [60, 0, 150, 60, 60],
  );
  assert.deepEqual(sessionsOf(plan, 'a1'), [
    { date: MON, count: 6 },
    { date: '2025-03-05', count: 15 },
    { date: '2025-03-06', count: 6 },
    { date: '2025-03-07', count: 3, overdue: true },
  ]);
  assert.equal(plan.late[0].late, 3);
});

test('recorded progress re-plans at once and deducts the time spent today', () => {
  const data = dataWith({ weekly: every(60), assignments: [{ due: '2025-03-05', submissions: 20, minutesEach: 10 }] });
  assert.equal(makePlan(data, MON).todayCount, 6);

  // Five graded today: 10 minutes of today are left, for one more.
  assert.equal(recordProgress(data, 'a1', 5, MON), 5);
  let plan = makePlan(data, MON);
  assert.equal(plan.days[0].used, 50);
  assert.equal(plan.todayCount, 1);
  assert.equal(plan.status.get('a1').late, 8);

  // "+5" past the end only grades what is left; -1 undoes one.
  assert.equal(recordProgress(data, 'a1', 100, MON), 15);
  assert.equal(data.assignments[0].graded, 20);
  plan = makePlan(data, MON);
  assert.equal(plan.late.length, 0);
  assert.equal(plan.todayCount, 0);
  assert.equal(recordProgress(data, 'a1', -1, MON), -1);
  assert.equal(makePlan(data, MON).status.get('a1').remaining, 1);

  // Progress from an earlier day does not eat into today's time.
  const later = makePlan(data, '2025-03-04');
  assert.equal(later.days[0].used, 0);
  assert.equal(later.todayCount, 1);
});

test('return date today or in the past', () => {
  const data = dataWith({
    weekly: every(60),
    assignments: [
      { title: '今天还', due: MON, collected: '2025-02-28', submissions: 4, minutesEach: 10 },
      { title: '已过期', due: '2025-03-01', collected: '2025-02-27', submissions: 3, minutesEach: 10, graded: 1 },
    ],
  });
  let plan = makePlan(data, MON);
  assert.deepEqual(
    plan.late.map((l) => [l.assignmentId, l.late, l.lateMinutes, l.reason]),
    [
      ['a2', 2, 20, 'past'],
      ['a1', 4, 40, 'dueToday'],
    ],
  );
  // Both are overdue from today on: planned today, after their return dates.
  assert.deepEqual(sessionsOf(plan, 'a2'), [{ date: MON, count: 2, overdue: true }]);
  assert.deepEqual(sessionsOf(plan, 'a1'), [{ date: MON, count: 4, overdue: true }]);
  assert.equal(plan.todayCount, 6);

  // Allowed to grade on the return day itself: today's is planned, the past one stays late.
  data.settings.gradeOnReturnDay = true;
  plan = makePlan(data, MON);
  assert.deepEqual(sessionsOf(plan, 'a1'), [{ date: MON, count: 4 }]);
  assert.deepEqual(plan.late.map((l) => l.assignmentId), ['a2']);
});

test('zero submissions, or all graded, plan nothing and report nothing', () => {
  const data = dataWith({
    weekly: every(60),
    assignments: [
      { due: '2025-03-05', submissions: 0, minutesEach: 10 },
      { due: '2025-03-05', submissions: 8, minutesEach: 10, graded: 8 },
    ],
  });
  const plan = makePlan(data, MON);
  assert.equal(plan.todayCount, 0);
  assert.deepEqual(plan.late, []);
  assert.ok(plan.days.every((d) => d.sessions.length === 0));
  assert.equal(plan.days.length, 1);
});

test('a week across a month end and a clock change', () => {
  // 2024-11-03 is the day New York leaves daylight saving time.
  const week = dayRange(startOfWeek('2024-10-31'), addDays(startOfWeek('2024-10-31'), 6));
  assert.deepEqual(week, [
    '2024-10-28', '2024-10-29', '2024-10-30', '2024-10-31', '2024-11-01', '2024-11-02', '2024-11-03',
  ]);
  assert.deepEqual(week.map(weekdayIndex), [0, 1, 2, 3, 4, 5, 6]);
  assert.equal(diffDays('2024-10-28', '2024-11-04'), 7);
  // The 25-hour day: stepping over it must land on the next calendar day.
  assert.equal(addDays('2024-11-03', 1), '2024-11-04');
  assert.equal(addDays('2024-11-04', -1), '2024-11-03');
  assert.equal(addDays('2024-10-31', 1), '2024-11-01');
  assert.equal(localISO(new Date(2024, 10, 3, 23, 30)), '2024-11-03');
  assert.equal(localISO(new Date(2024, 10, 4, 0, 15)), '2024-11-04');

  const data = dataWith({
    weekly: [60, 60, 60, 60, 60, 180, 30],
    exceptions: [{ date: '2024-11-01', minutes: 0, note: '' }],
    assignments: [{ collected: '2024-10-28', due: '2024-11-04', submissions: 100, minutesEach: 5 }],
  });
  const plan = makePlan(data, '2024-10-28');
  assert.deepEqual(
    week.map((d) => dayLoad(plan, data, d).planned),
    [60, 60, 60, 60, 0, 180, 30],
  );
  assert.equal(plan.late[0].late, 10);
  // The ten late ones go on the return day itself, marked overdue.
  assert.deepEqual(plan.days.at(-1).sessions, [{ assignmentId: 'a1', count: 10, minutes: 50, overdue: true }]);
  assert.equal(plan.days.at(-1).date, '2024-11-04');
});

test('work done stays done: deleting or editing an assignment leaves the day\'s minutes', () => {
  const data = dataWith({
    weekly: every(300),
    assignments: [
      { title: '作文', due: '2025-03-10', submissions: 45, minutesEach: 4 },
      { title: '听写', due: '2025-03-10', submissions: 60, minutesEach: 4 },
    ],
  });
  // "+5", "+5", then "今天的批完了" for the rest.
  recordProgress(data, 'a1', 5, MON);
  recordProgress(data, 'a1', 5, MON);
  recordProgress(data, 'a1', 35, MON);
  assert.equal(makePlan(data, MON).days[0].used, 180);
  data.assignments[1].minutesEach = 10;
  deleteAssignment(data, 'a1');
  const plan = makePlan(data, MON);
  assert.equal(minutesGradedOn(data, MON), 180);
  assert.equal(plan.days[0].used, 180);
  // 120 minutes are left today: 12 copies at 10 minutes, not 30.
  assert.equal(plan.todayCount, 12);
});

test('a changed graded count in the form is work done today', () => {
  const data = dataWith({ weekly: every(60), assignments: [{ due: '2025-03-10', submissions: 40, minutesEach: 1 }] });
  const edit = (graded) => ({ ...data.assignments[0], graded });
  saveAssignment(data, edit(30), 'a1', MON);
  let plan = makePlan(data, MON);
  assert.equal(plan.days[0].used, 30);
  assert.equal(plan.todayCount, 10);
  // Lowering it takes back what today holds; below that it only corrects the count.
  saveAssignment(data, edit(20), 'a1', MON);
  assert.equal(makePlan(data, MON).days[0].used, 20);
  data.progress = {};
  saveAssignment(data, edit(5), 'a1', MON);
  assert.equal(data.assignments[0].graded, 5);
  assert.deepEqual(data.progress, {});
});

test('the cause of lateness is told truly', () => {
  const ctx = (data, today) => ({ data, today, plan: makePlan(data, today) });
  // The only gradable day has no time at all.
  const none = dataWith({
    weekly: every(60),
    exceptions: [{ date: '2025-03-03', minutes: 0, note: '' }],
    assignments: [{ due: '2025-03-04', submissions: 5, minutesEach: 3 }],
  });
  const c = ctx(none, MON);
  assert.equal(c.plan.late[0].reason, 'noTime');
  const text = lateText(c, c.plan.late[0]);
  assert.match(text, /没有可用时间/);
  assert.doesNotMatch(text, /比归还前任何一天的可用时间都长/);
});

test('late copies are planned after the return date, marked overdue', () => {
  const data = dataWith({
    weekly: every(60),
    assignments: [
      { title: '试卷', due: '2025-03-05', submissions: 20, minutesEach: 10 },
      { title: '作文', due: '2025-03-07', submissions: 6, minutesEach: 10 },
    ],
  });
  const plan = makePlan(data, MON);
  // 试卷 fits 12 before Wednesday; 作文 keeps its on-time place on
  // Wednesday, so the 8 late ones come on Thursday and Friday.
  assert.deepEqual(sessionsOf(plan, 'a1'), [
    { date: MON, count: 6 },
    { date: '2025-03-04', count: 6 },
    { date: '2025-03-06', count: 6, overdue: true },
    { date: '2025-03-07', count: 2, overdue: true },
  ]);
  assert.deepEqual(sessionsOf(plan, 'a2'), [{ date: '2025-03-05', count: 6 }]);
  const st = plan.status.get('a1');
  assert.deepEqual([st.late, st.overdue, st.unplaced, st.lastDay], [8, 8, 0, '2025-03-07']);
  assert.equal(plan.status.get('a2').late, 0);
  for (const d of plan.days) assert.ok(d.planned <= d.available + 1e-9, `${d.date} overbooked`);
  // The week view shows them.
  assert.equal(dayLoad(plan, data, '2025-03-07').sessions.filter((s) => s.overdue).length, 1);

  // With no time ever, nothing is invented.
  const never = dataWith({ weekly: every(0), assignments: [{ due: '2025-03-05', submissions: 3, minutesEach: 10 }] });
  const p2 = makePlan(never, MON);
  assert.deepEqual([p2.late[0].overdue, p2.late[0].unplaced], [0, 3]);
  assert.ok(p2.days.every((d) => d.sessions.length === 0));
});

test('no session shorter than 10 minutes, unless it finishes the assignment', () => {
  const data = dataWith({
    weekly: every(60),
    assignments: [
      { title: '作文', due: '2025-03-04', submissions: 7, minutesEach: 8 },
      { title: '实验报告', due: '2025-03-06', submissions: 10, minutesEach: 4 },
      { title: '订正', due: '2025-03-06', submissions: 1, minutesEach: 2 },
    ],
  });
  const plan = makePlan(data, MON);
  // 作文 leaves 4 minutes on Monday: no "实验报告 1 份" there.
  assert.deepEqual(plan.days[0].sessions.map((s) => [s.assignmentId, s.count]), [['a1', 7], ['a3', 1]]);
  for (const d of plan.days)
    for (const s of d.sessions) {
      const a = data.assignments.find((x) => x.id === s.assignmentId);
      const finishes = sessionsOf(plan, a.id).at(-1).date === d.date;
      assert.ok(s.minutes >= 10 || finishes, `${a.title} ${s.minutes} min on ${d.date}`);
    }
  assert.deepEqual(sessionsOf(plan, 'a2'), [{ date: '2025-03-04', count: 10 }]);
});

test('one assignment for several classes: copies slip in the order the classes are listed', () => {
  const classes = [
    { id: 'k7', name: '初二(1)班', color: '#4f7cac' },
    { id: 'b2', name: '初二(2)班', color: '#5a9e6f' },
    { id: 'f4', name: '初二(3)班', color: '#c98a3a' },
  ];
  // Ids as random as newId makes them, in no order of their own.
  const make = (ids) =>
    dataWith({
      weekly: every(60),
      classes,
      assignments: ['f4', 'k7', 'b2'].map((classId, i) => ({ id: ids[i], title: '周测', classId, due: '2025-03-05', submissions: 10, minutesEach: 5 })),
    });
  for (const ids of [['a9', 'a1', 'a5'], ['a1', 'a5', 'a9']]) {
    const data = make(ids);
    const plan = makePlan(data, MON);
    const classOfId = new Map(data.assignments.map((a) => [a.id, a.classId]));
    assert.deepEqual(plan.days.slice(0, 2).map((d) => d.sessions.map((s) => classOfId.get(s.assignmentId))), [['k7', 'b2'], ['b2', 'f4']]);
    assert.deepEqual(plan.late.map((l) => classOfId.get(l.assignmentId)), ['f4']);
  }
});

test('collected and returned the same day: graded on that day, first', () => {
  const data = dataWith({
    weekly: every(60),
    assignments: [
      { title: '作文', collected: '2025-02-28', due: '2025-03-05', submissions: 12, minutesEach: 10 },
      { title: '小测', collected: MON, due: MON, submissions: 6, minutesEach: 5 },
      { title: '周测', collected: '2025-03-06', due: '2025-03-06', submissions: 4, minutesEach: 5 },
      { title: '练习', collected: '2025-03-04', due: '2025-03-10', submissions: 40, minutesEach: 6 },
    ],
  });
  const plan = makePlan(data, MON);
  assert.deepEqual(plan.days[0].sessions.map((s) => [s.assignmentId, s.count]), [['a2', 6], ['a1', 3]]);
  assert.deepEqual(sessionsOf(plan, 'a3'), [{ date: '2025-03-06', count: 4 }]);
  assert.equal(plan.days.find((d) => d.date === '2025-03-06').sessions[0].assignmentId, 'a3');
  assert.deepEqual(plan.late.map((l) => l.assignmentId), ['a1']);
  // Also ahead of work that may be graded on its own return day.
  data.settings.gradeOnReturnDay = true;
  data.assignments[3].due = '2025-03-06';
  assert.equal(makePlan(data, MON).days.find((d) => d.date === '2025-03-06').sessions[0].assignmentId, 'a3');
  assert.equal(assignmentWarning(data.assignments[2], { settings: { gradeOnReturnDay: false } }), null);
});
