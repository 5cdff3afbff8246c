// What the teacher types into the forms, as typed with a Chinese input method.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync, readdirSync } from 'node:fs';
import {
  assignmentWarning, checkAssignment, checkAssignmentForClasses, checkClass, checkMinutes, checkRecord, checkTemplate,
} from '../../resources/model.js';
import { dataWith } from './fixtures.js';

const form = (over = {}) => ({ title: '作文', classId: 'c1', collected: '2025-03-03', due: '2025-03-07', submissions: '40', minutesEach: '8', graded: '', ...over });

test('full-width digits count in every number field', () => {
  const data = dataWith();
  const a = checkAssignment(form({ submissions: '１２', minutesEach: '３', graded: '２' }), data);
  assert.deepEqual([a.value?.submissions, a.value?.minutesEach, a.value?.graded], [12, 3, 2]);
  assert.equal(checkAssignment(form({ minutesEach: '７．５' }), data).value?.minutesEach, 7.5);
  assert.equal(checkAssignment(form({ minutesEach: '7。5' }), data).value?.minutesEach, 7.5);
  const many = checkAssignmentForClasses(form(), [{ classId: 'c1', submissions: '３９' }], data);
  assert.equal(many.values?.[0].submissions, 39);
  assert.equal(checkClass({ name: '四年一班', size: '４５' }, data).value?.size, 45);
  const t = checkTemplate({ title: '周记', classIds: ['c1'], weekday: '0', dueAfter: '７', minutesEach: '３' }, data);
  assert.deepEqual([t.value?.dueAfter, t.value?.minutesEach], [7, 3]);
  assert.equal(checkMinutes('１２０'), 120);
  assert.deepEqual(checkRecord({ date: '2025-03-03', count: '３', minutes: '２０' }, 10, '2025-03-03').value, { date: '2025-03-03', count: 3, minutes: 20 });
  // What is no number stays refused.
  assert.equal(checkAssignment(form({ submissions: '十二' }), data).ok, false);
  assert.equal(checkRecord({ date: '2025-03-03', count: '３', minutes: '' }, 10, '2025-03-03').value?.minutes, null);
  // The engine's own number box hands the page an empty value for "３":
  // no number field is left to it.
  const dir = new URL('../../resources/', import.meta.url);
  for (const name of readdirSync(dir).filter((n) => n.endsWith('.js')))
    assert.doesNotMatch(readFileSync(new URL(name, dir), 'utf8'), /type: 'number'/, name);
});

test('a date that does not exist is called so, not missing', () => {
  const data = dataWith();
  const errors = (over) => checkAssignment(form(over), data).errors ?? {};
  assert.equal(errors({ due: '2026年2月30日' }).due, '没有这一天：2026年2月只有 28 天。');
  assert.equal(errors({ collected: '2026/13/1' }).collected, '没有这一天：一年只有 12 个月。');
  assert.equal(errors({ due: '2月30日' }).due, '没有这一天：今年2月没有 30 日。');
  assert.match(errors({ due: '下周' }).due, /看不懂这个日期/);
  assert.equal(errors({ due: '' }).due, '请填写归还日期。');
  assert.equal(checkRecord({ date: '2025年2月29日', count: '1' }, 5, '2025-03-03').errors?.date, '没有这一天：2025年2月只有 28 天。');
});

test('a new assignment with both dates past is warned about, as one due the day it comes in', () => {
  const data = dataWith();
  const today = '2025-03-10';
  assert.match(assignmentWarning({ collected: '2025-03-03', due: '2025-03-07' }, data, today), /都已经过去/);
  assert.match(assignmentWarning({ collected: '2025-03-07', due: '2025-03-07' }, data, today), /都已经过去/);
  // Still coming back, or an old one being edited: nothing to say.
  assert.equal(assignmentWarning({ collected: '2025-03-03', due: '2025-03-10' }, data, today), null);
  assert.equal(assignmentWarning({ collected: '2025-03-03', due: '2025-03-07' }, data), null);
  // Collected and returned the same day: graded that day, nothing to warn of.
  assert.equal(assignmentWarning({ collected: '2025-03-12', due: '2025-03-12' }, data, today), null);
});

test('progress is refused for a day before the assignment was collected', () => {
  const refused = checkRecord({ date: '2025-03-02', count: '1' }, 10, '2025-03-05', '2025-03-03');
  assert.equal(refused.errors?.date, '这项作业 3月3日 才收取，不能记在收取之前。');
  assert.equal(checkRecord({ date: '2025-03-03', count: '1' }, 10, '2025-03-05', '2025-03-03').ok, true);
  assert.equal(checkRecord({ date: '2024-12-20', count: '1' }, 10, '2025-01-05', '2024-12-30').errors?.date, '这项作业 2024年12月30日 才收取，不能记在收取之前。');
});
