// What the teacher types: checks before anything is saved, and deletions.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import {
  checkAssignment, checkClass, deleteClass, deleteAssignment, recordProgress, checkAssignmentForClasses, addAssignments,
  checkTemplate, saveTemplate, runTemplates, restoreAssignment, restoreClass, recordsOf, deleteTemplate, restoreTemplate,
  saveAssignment, setReturned, pastDue,
} from '../../resources/model.js';
import { parseBackup, backupText } from '../../resources/store.js';
import { makePlan, minutesGradedOn, paceOf } from '../../resources/planner.js';
import { dataWith, every } from './fixtures.js';

const form = (over = {}) => ({
  title: ' 作文 ', classId: 'c1', collected: '2025-03-03', due: '2025-03-07',
  submissions: '40', minutesEach: '7.5', graded: '', ...over,
});

test('assignment form: a good entry is cleaned, bad ones name the field', () => {
  const data = dataWith();
  assert.deepEqual(checkAssignment(form(), data), {
    ok: true,
    value: { title: '作文', kind: '', classId: 'c1', collected: '2025-03-03', due: '2025-03-07', submissions: 40, minutesEach: 7.5, graded: 0 },
  });
  const errorsOf = (over) => Object.keys(checkAssignment(form(over), data).errors || {});
  assert.deepEqual(errorsOf({ title: '  ' }), ['title']);
  assert.deepEqual(errorsOf({ due: '2025-03-02' }), ['due']);
  assert.deepEqual(errorsOf({ collected: '2025-02-30' }), ['collected']);
  assert.deepEqual(errorsOf({ submissions: '3.5' }), ['submissions']);
  assert.deepEqual(errorsOf({ submissions: '' }), ['submissions']);
  assert.deepEqual(errorsOf({ minutesEach: '0' }), ['minutesEach']);
  assert.deepEqual(errorsOf({ graded: '41' }), ['graded']);
  assert.deepEqual(errorsOf({ classId: 'gone' }), ['classId']);
  assert.equal(checkAssignment(form({ classId: '' }), data).value.classId, null);
  assert.equal(checkAssignment(form({ submissions: '0' }), data).ok, true);
});

test('class form refuses empty and duplicate names', () => {
  const data = dataWith();
  assert.equal(checkClass({ name: '' }, data).ok, false);
  assert.equal(checkClass({ name: '三年二班' }, data).ok, false);
  assert.equal(checkClass({ name: '三年二班' }, data, 'c1').ok, true); // renaming to itself
  assert.equal(checkClass({ name: '四年一班', color: 'javascript:x' }, data).value.color, '#4f7cac');
});

test('deleting a class keeps its assignments; deleting an assignment keeps the day\'s records', () => {
  const data = dataWith({ assignments: [{ due: '2025-03-07', submissions: 5, minutesEach: 5 }, { due: '2025-03-07', submissions: 5, minutesEach: 5 }] });
  recordProgress(data, 'a1', 2, '2025-03-03');
  recordProgress(data, 'a2', 1, '2025-03-03');
  deleteClass(data, 'c1');
  assert.equal(data.classes.length, 0);
  assert.deepEqual(data.assignments.map((a) => a.classId), [null, null]);
  deleteAssignment(data, 'a1');
  assert.deepEqual(data.progress, { '2025-03-03': { a1: { n: 2, min: 10 }, a2: { n: 1, min: 5 } } });
  // Records older than the kept span are pruned on the next change.
  recordProgress(data, 'a2', 1, '2025-07-15');
  assert.deepEqual(Object.keys(data.progress), ['2025-07-15']);
});

const MON = '2025-03-03';
const three = () =>
  dataWith({
    classes: [
      { id: 'c1', name: '初二(1)', color: '#4f7cac', size: 42 },
      { id: 'c2', name: '初二(2)', color: '#5a9e6f', size: 40 },
      { id: 'c3', name: '初二(3)', color: '#c98a3a', size: null },
    ],
  });

test('one assignment for several classes, each with its own count', () => {
  const data = three();
  const fields = { title: '期中作文', kind: '作文', collected: MON, due: '2025-03-10', minutesEach: '6', graded: '' };
  const r = checkAssignmentForClasses(fields, [{ classId: 'c1', submissions: '42' }, { classId: 'c2', submissions: '39' }, { classId: '', submissions: '' }], data);
  assert.equal(r.ok, true);
  addAssignments(data, r.values, MON);
  assert.deepEqual(data.assignments.map((a) => [a.title, a.kind, a.classId, a.submissions]), [
    ['期中作文', '作文', 'c1', 42],
    ['期中作文', '作文', 'c2', 39],
  ]);
  // A bad count is named by its class.
  const bad = checkAssignmentForClasses(fields, [{ classId: 'c1', submissions: '42' }, { classId: 'c3', submissions: 'x' }], data);
  assert.deepEqual(Object.keys(bad.errors), ['count-c3']);
});

test('weekly templates create the week\'s assignments exactly once', () => {
  const data = three();
  const t = checkTemplate({ title: '周记', kind: '周记', classIds: ['c1', 'c2', 'gone'], weekday: '0', dueAfter: '7', minutesEach: '3' }, data);
  assert.equal(t.ok, true);
  saveTemplate(data, t.value, null, MON);
  const made = runTemplates(data, MON);
  assert.deepEqual(made.map((a) => [a.classId, a.collected, a.due, a.submissions, a.minutesEach, a.kind]), [
    ['c1', MON, '2025-03-10', 42, 3, '周记'],
    ['c2', MON, '2025-03-10', 40, 3, '周记'],
  ]);
  // Opened again, reloaded, later in the week, or after deleting one: nothing new.
  assert.deepEqual(runTemplates(data, MON), []);
  assert.deepEqual(runTemplates(structuredClone(data), '2025-03-07'), []);
  deleteAssignment(data, made[0].id);
  assert.deepEqual(runTemplates(data, '2025-03-09'), []);
  // Even with the week's mark lost, the assignments themselves are not repeated.
  const lost = structuredClone(data);
  lost.templates[0].lastWeek = null;
  assert.deepEqual(runTemplates(lost, MON).map((a) => a.classId), ['c1']);
  // Next week, once more.
  assert.equal(runTemplates(data, '2025-03-12').length, 2);
  // A template made after its day this week starts next week.
  const late = three();
  saveTemplate(late, { ...t.value, weekday: 0 }, null, '2025-03-05');
  assert.deepEqual(runTemplates(late, '2025-03-05'), []);
  assert.equal(runTemplates(late, '2025-03-10').length, 2);
});

test('progress for an earlier day, with real minutes, teaches the plan the pace', () => {
  const data = dataWith({
    weekly: every(60),
    assignments: [
      { title: '作文一', kind: '作文', due: '2025-03-20', submissions: 40, minutesEach: 5 },
      { title: '作文二', kind: '作文', due: '2025-03-20', submissions: 40, minutesEach: 5 },
      { title: '听写', kind: '听写', due: '2025-03-20', submissions: 40, minutesEach: 2 },
    ],
  });
  // "昨天批了 20 份", in 160 minutes.
  assert.equal(recordProgress(data, 'a1', 20, '2025-03-02', 160), 20);
  let plan = makePlan(data, MON);
  assert.equal(plan.days[0].used, 0);
  assert.deepEqual(plan.status.get('a1').pace, { minutes: 8, source: 'own', copies: 20 });
  // The same class and 类型 learns from it; another 类型 does not.
  assert.deepEqual(plan.status.get('a2').pace, { minutes: 8, source: 'classKind', copies: 20 });
  assert.equal(plan.status.get('a3').pace.source, 'estimate');
  // Only today's records use today's time: 3 copies today at the learned pace.
  recordProgress(data, 'a2', 3, MON);
  plan = makePlan(data, MON);
  assert.equal(plan.days[0].used, 24);
  assert.equal(minutesGradedOn(data, '2025-03-02'), 160);
  // Another class's 作文 learns from the 类型 alone.
  data.classes.push({ id: 'c2', name: '四年一班', color: '#5a9e6f', size: null });
  data.assignments.push({ id: 'a4', title: '作文三', kind: '作文', classId: 'c2', collected: MON, due: '2025-03-20', submissions: 5, minutesEach: 5, graded: 0 });
  assert.equal(paceOf(data, data.assignments[3]).source, 'kind');
});

test('undo: deleted assignments and classes come back, copies come back several at once', () => {
  const data = dataWith({ weekly: every(60), assignments: [{ due: '2025-03-07', submissions: 10, minutesEach: 5 }, { due: '2025-03-07', submissions: 10, minutesEach: 5 }] });
  const before = structuredClone(data);
  const undoA = deleteAssignment(data, 'a1');
  assert.equal(restoreAssignment(data, undoA), true);
  assert.equal(restoreAssignment(data, undoA), false); // twice changes nothing
  assert.deepEqual(data, before);
  const undoC = deleteClass(data, 'c1');
  assert.ok(data.assignments.every((a) => a.classId === null));
  restoreClass(data, undoC);
  assert.deepEqual(data, before);

  // Take back 4 of today's 7; never more than a day holds.
  recordProgress(data, 'a1', 7, MON);
  recordProgress(data, 'a1', 2, '2025-03-02');
  assert.equal(recordProgress(data, 'a1', -4, MON), -4);
  assert.deepEqual(recordsOf(data, 'a1'), [{ date: MON, n: 3 }, { date: '2025-03-02', n: 2 }]);
  assert.equal(recordProgress(data, 'a1', -9, '2025-03-02'), -2);
  assert.equal(data.assignments[0].graded, 3);
  assert.equal(minutesGradedOn(data, MON), 15);
});
test('undo: templates come back as they were, once, with their classes in order', () => {
  const data = three();
  saveTemplate(data, { title: '周记', kind: '周记', classIds: ['c1', 'c2', 'c3'], weekday: 0, dueAfter: 7, minutesEach: 3 }, null, MON);
  saveTemplate(data, { title: '听写', kind: '听写', classIds: ['c2'], weekday: 2, dueAfter: 2, minutesEach: 1 }, null, MON);
  runTemplates(data, MON);
  const before = structuredClone(data);
  const undoC = deleteClass(data, 'c1');
  restoreClass(data, undoC);
  assert.deepEqual(data, before);
  const undoT = deleteTemplate(data, data.templates[0].id);
  assert.equal(restoreTemplate(data, undoT), true);
  assert.equal(restoreTemplate(data, undoT), false); // twice changes nothing
  assert.deepEqual(data, before);
  assert.deepEqual(runTemplates(data, '2025-03-05'), []);
});


test('the form\'s 已批份数: a lowering takes back records, a raising gives them back before adding today\'s', () => {
  const WED = '2025-03-05';
  const data = dataWith({ weekly: every(60), assignments: [{ due: '2025-03-20', submissions: 126, minutesEach: 6.5 }] });
  recordProgress(data, 'a1', 10, MON, 73); // timed
  recordProgress(data, 'a1', 12, '2025-03-04');
  recordProgress(data, 'a1', 6, WED);
  const a = data.assignments[0];
  const before = structuredClone(data.progress);
  const recorded = () => Object.values(data.progress).reduce((n, d) => n + (d.a1 ? d.a1.n : 0), 0);
  const edit = (graded, over = {}) => {
    saveAssignment(data, { ...a, ...over, graded }, 'a1', WED);
    assert.equal(a.graded, graded);
    assert.ok(recorded() <= a.graded, `records hold ${recorded()} copies against ${a.graded} graded`);
  };
  // 28 → 20: today's 6 first, then 2 of the latest day's.
  edit(20);
  assert.deepEqual(recordsOf(data, 'a1'), [{ date: '2025-03-04', n: 10 }, { date: MON, n: 10 }]);
  // Back to 28: every day as it was, nothing invented today.
  edit(28);
  assert.deepEqual(data.progress, before);
  // Down to 5 reaches the timed copies of Monday; back up restores them exactly.
  edit(5);
  assert.deepEqual(recordsOf(data, 'a1'), [{ date: MON, n: 5 }]);
  edit(12);
  edit(28);
  assert.deepEqual(data.progress, before);
  // Only what goes beyond the copies taken back is today's new work.
  edit(30);
  assert.equal(data.progress[WED].a1.n, 8);
  assert.equal(data.progress['2025-03-04'].a1.n, 12);
  // Fewer copies in all also lowers what the records hold.
  edit(10, { submissions: 10 });
  assert.equal(recorded(), 10);
});

test('已归还 stops the planning of an assignment, keeps its records, and lasts through a backup', () => {
  const data = dataWith({
    weekly: every(600),
    assignments: [
      { due: '2025-03-05', submissions: 40, minutesEach: 2, graded: 0 },
      { due: '2025-03-20', submissions: 10, minutesEach: 2 },
    ],
  });
  recordProgress(data, 'a1', 5, '2025-03-04');
  const today = '2025-03-10';
  assert.deepEqual(pastDue(data, today).map((a) => a.id), ['a1']);
  assert.deepEqual(setReturned(data, ['a1', 'a2'], true), ['a1', 'a2']);
  assert.deepEqual(pastDue(data, today), []);
  const plan = makePlan(data, today);
  assert.equal(plan.todayCount, 0);
  assert.equal(plan.late.length, 0);
  assert.equal(data.progress['2025-03-04'].a1.n, 5);
  const back = parseBackup(backupText(data));
  assert.ok(back.ok);
  assert.equal(back.data.assignments[0].returned, true);
  setReturned(back.data, ['a2'], false);
  assert.equal(makePlan(back.data, today).todayCount, 10);
});
