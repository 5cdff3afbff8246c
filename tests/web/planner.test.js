// Planning: who gets graded when, and what the plan says cannot be done.
// The week test needs a zone with a clock change inside it.
process.env.TZ = 'America/New_York';

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { makePlan, dayLoad } from '../../resources/planner.js';
import { recordProgress } from '../../resources/model.js';
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
  // Late work is never scheduled past the return date.
  assert.ok(plan.days.every((d) => d.date < '2025-03-05'));
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
    plan.days.map((d) => d.available),
    [60, 0, 150, 60, 60].slice(0, plan.days.length),
  );
  assert.deepEqual(sessionsOf(plan, 'a1'), [
    { date: MON, count: 6 },
    { date: '2025-03-05', count: 15 },
    { date: '2025-03-06', count: 6 },
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
      ['a2', 2, 20, 'closed'],
      ['a1', 4, 40, 'closed'],
    ],
  );
  assert.equal(plan.todayCount, 0);

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
  assert.equal(plan.days.at(-1).date, '2024-11-03');
});
