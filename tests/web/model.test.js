// What the teacher types: checks before anything is saved, and deletions.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { checkAssignment, checkClass, deleteClass, deleteAssignment, recordProgress } from '../../resources/model.js';
import { dataWith } from './fixtures.js';

const form = (over = {}) => ({
  title: ' 作文 ', classId: 'c1', collected: '2025-03-03', due: '2025-03-07',
  submissions: '40', minutesEach: '7.5', graded: '', ...over,
});

test('assignment form: a good entry is cleaned, bad ones name the field', () => {
  const data = dataWith();
  assert.deepEqual(checkAssignment(form(), data), {
    ok: true,
    value: { title: '作文', classId: 'c1', collected: '2025-03-03', due: '2025-03-07', submissions: 40, minutesEach: 7.5, graded: 0 },
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

test('deleting a class keeps its assignments; deleting an assignment drops its records', () => {
  const data = dataWith({ assignments: [{ due: '2025-03-07', submissions: 5, minutesEach: 5 }, { due: '2025-03-07', submissions: 5, minutesEach: 5 }] });
  recordProgress(data, 'a1', 2, '2025-03-03');
  recordProgress(data, 'a2', 1, '2025-03-03');
  deleteClass(data, 'c1');
  assert.equal(data.classes.length, 0);
  assert.deepEqual(data.assignments.map((a) => a.classId), [null, null]);
  deleteAssignment(data, 'a1');
  assert.deepEqual(data.progress, { '2025-03-03': { a2: 1 } });
  // Records older than the kept span are pruned on the next change.
  recordProgress(data, 'a2', 1, '2025-06-01');
  assert.deepEqual(Object.keys(data.progress), ['2025-06-01']);
});
