// Planning with return dates centuries ahead and long lists of exceptions:
// the plan holds the days that hold work, and is the same plan as for near dates.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { makePlan } from '../../resources/planner.js';
import { addDays } from '../../resources/dates.js';
import { removeException, setException } from '../../resources/model.js';
import { dataWith, every, sessionsOf } from './fixtures.js';

const MON = '2025-03-03';

test('a far return date and many exceptions: only the days with work, the same sessions and causes', () => {
  // Every other day off for 300 days.
  const exceptions = Array.from({ length: 300 }, (_, k) => ({ date: addDays(MON, 2 * k + 1), minutes: 0, note: '' }));
  const data = dataWith({
    weekly: every(60),
    exceptions,
    assignments: [
      { title: '作文', due: '2999-12-31', submissions: 30, minutesEach: 10 },
      { title: '周记', collected: '2999-12-01', due: '2999-12-31', submissions: 6, minutesEach: 10 },
    ],
  });
  const plan = makePlan(data, MON);
  assert.deepEqual(sessionsOf(plan, 'a1').map((s) => [s.date, s.count]), [
    [MON, 6], ['2025-03-05', 6], ['2025-03-07', 6], ['2025-03-09', 6], ['2025-03-11', 6],
  ]);
  assert.deepEqual(sessionsOf(plan, 'a2'), [{ date: '2999-12-01', count: 6 }]);
  assert.deepEqual(plan.days.map((d) => d.date), [MON, '2025-03-05', '2025-03-07', '2025-03-09', '2025-03-11', '2999-12-01']);
  assert.deepEqual(plan.late, []);

  // No weekly time: the one day with time, centuries ahead, is found; a
  // window without any time, or only with short days, is told as such.
  const sparse = dataWith({
    weekly: every(0),
    exceptions: [...exceptions, { date: '2900-01-01', minutes: 60, note: '' }, { date: '2950-01-01', minutes: 5, note: '' }],
    assignments: [
      { title: '试卷', due: '2999-12-31', submissions: 8, minutesEach: 10 },
      { title: '听写', due: '2899-12-31', submissions: 2, minutesEach: 10 },
      { title: '默写', collected: '2901-01-01', due: '2999-12-31', submissions: 2, minutesEach: 10 },
    ],
  });
  const p2 = makePlan(sparse, MON);
  assert.deepEqual(sessionsOf(p2, 'a1'), [{ date: '2900-01-01', count: 6 }]);
  assert.deepEqual(p2.late.map((l) => [l.assignmentId, l.reason, l.late]), [['a2', 'noTime', 2], ['a1', 'time', 2], ['a3', 'tooLong', 2]]);
  assert.equal(p2.days.length, 2);

  // Changed as 可用时间 changes it, the next plan sees the change.
  setException(sparse, '2950-01-01', 60, '');
  const p3 = makePlan(sparse, MON);
  assert.deepEqual(sessionsOf(p3, 'a1'), [{ date: '2900-01-01', count: 6 }, { date: '2950-01-01', count: 2 }]);
  assert.deepEqual(sessionsOf(p3, 'a3'), [{ date: '2950-01-01', count: 2 }]);
  removeException(sparse, '2900-01-01');
  const p4 = makePlan(sparse, MON);
  assert.deepEqual(sessionsOf(p4, 'a1'), [{ date: '2950-01-01', count: 6 }]);
  assert.deepEqual(p4.late.map((l) => [l.assignmentId, l.reason, l.late]), [['a2', 'noTime', 2], ['a1', 'time', 2], ['a3', 'time', 2]]);
});
