// Changes to the data set, and the checks of what the teacher types.
// Every function works on plain data; the caller saves afterwards.

import { addDays, isISODate } from './dates.js';
import { remainingOf } from './planner.js';

export const PALETTE = [
  { color: '#4f7cac', name: '蓝' },
  { color: '#5a9e6f', name: '绿' },
  { color: '#c98a3a', name: '橙' },
  { color: '#b95c5c', name: '红' },
  { color: '#8a6bb0', name: '紫' },
  { color: '#3f9a9a', name: '青' },
  { color: '#b0708f', name: '粉' },
  { color: '#7d7d6b', name: '灰' },
];

const PROGRESS_KEEP_DAYS = 60;

export function newId(prefix) {
  const rnd =
    globalThis.crypto && typeof globalThis.crypto.randomUUID === 'function'
      ? globalThis.crypto.randomUUID().slice(0, 8)
      : Math.random().toString(36).slice(2, 10);
  return `${prefix}${Date.now().toString(36)}${rnd}`;
}

function toNumber(s) {
  const t = String(s ?? '').trim();
  return t === '' ? NaN : Number(t);
}

// Form checks return { ok, value } or { ok: false, errors: { field: text } }.
export function checkClass(fields, data, editingId = null) {
  const errors = {};
  const name = String(fields.name ?? '').trim();
  if (!name) errors.name = '请填写班级名称。';
  else if (name.length > 40) errors.name = '名称最多 40 个字。';
  else if (data.classes.some((c) => c.name === name && c.id !== editingId)) errors.name = '已有同名的班级。';
  const color = PALETTE.some((p) => p.color === fields.color) ? fields.color : PALETTE[0].color;
  return Object.keys(errors).length ? { ok: false, errors } : { ok: true, value: { name, color } };
}

export function checkAssignment(fields, data) {
  const errors = {};
  const title = String(fields.title ?? '').trim();
  if (!title) errors.title = '请填写作业标题。';
  else if (title.length > 80) errors.title = '标题最多 80 个字。';
  const classId = fields.classId ? String(fields.classId) : null;
  if (classId && !data.classes.some((c) => c.id === classId)) errors.classId = '请选择班级。';
  const collected = String(fields.collected ?? '').trim();
  const due = String(fields.due ?? '').trim();
  if (!isISODate(collected)) errors.collected = '请填写收取日期。';
  if (!isISODate(due)) errors.due = '请填写归还日期。';
  else if (isISODate(collected) && due < collected) errors.due = '归还日期不能早于收取日期。';
  const submissions = toNumber(fields.submissions);
  if (!Number.isInteger(submissions) || submissions < 0 || submissions > 100000)
    errors.submissions = '份数应为 0 或正整数。';
  const minutesEach = toNumber(fields.minutesEach);
  if (!(minutesEach > 0 && minutesEach <= 600)) errors.minutesEach = '每份分钟数应大于 0，最多 600。';
  const graded = fields.graded === undefined || String(fields.graded).trim() === '' ? 0 : toNumber(fields.graded);
  if (!Number.isInteger(graded) || graded < 0) errors.graded = '已批份数应为 0 或正整数。';
  else if (Number.isInteger(submissions) && graded > submissions) errors.graded = '已批份数不能多于总份数。';
  if (Object.keys(errors).length) return { ok: false, errors };
  return { ok: true, value: { title, classId, collected, due, submissions, minutesEach, graded } };
}

export function checkMinutes(s) {
  const n = toNumber(s);
  return Number.isInteger(n) && n >= 0 && n <= 1440 ? n : null;
}

export function saveClass(data, value, id = null) {
  if (id) {
    const c = data.classes.find((x) => x.id === id);
    if (c) Object.assign(c, value);
    return id;
  }
  const c = { id: newId('c'), ...value };
  data.classes.push(c);
  return c.id;
}

// Assignments of a deleted class stay, without a class.
export function deleteClass(data, id) {
  data.classes = data.classes.filter((c) => c.id !== id);
  for (const a of data.assignments) if (a.classId === id) a.classId = null;
}

export function saveAssignment(data, value, id = null) {
  if (id) {
    const a = data.assignments.find((x) => x.id === id);
    if (a) Object.assign(a, value);
    return id;
  }
  const a = { id: newId('a'), ...value };
  data.assignments.push(a);
  return a.id;
}

export function deleteAssignment(data, id) {
  data.assignments = data.assignments.filter((a) => a.id !== id);
  for (const day of Object.values(data.progress)) delete day[id];
}

// Records grading done today. Returns how many submissions actually changed
// (never beyond 0 … submissions). Today's record is what lets the plan
// deduct the time already spent today.
export function recordProgress(data, id, delta, today) {
  const a = data.assignments.find((x) => x.id === id);
  if (!a || !Number.isInteger(delta)) return 0;
  const target = Math.min(a.submissions, Math.max(0, a.graded + delta));
  const change = target - a.graded;
  if (change === 0) return 0;
  a.graded = target;
  const day = (data.progress[today] ??= {});
  const n = Math.max(0, (day[id] || 0) + change);
  if (n > 0) day[id] = n;
  else delete day[id];
  if (!Object.keys(day).length) delete data.progress[today];
  pruneProgress(data, today);
  return change;
}

export function pruneProgress(data, today) {
  const oldest = addDays(today, -PROGRESS_KEEP_DAYS);
  for (const date of Object.keys(data.progress)) if (date < oldest) delete data.progress[date];
}

export function gradedToday(data, today, id) {
  return (data.progress[today] && data.progress[today][id]) || 0;
}

export function setException(data, date, minutes, note) {
  const list = data.availability.exceptions.filter((e) => e.date !== date);
  list.push({ date, minutes, note: String(note ?? '').trim() });
  list.sort((x, y) => (x.date < y.date ? -1 : 1));
  data.availability.exceptions = list;
}

export function removeException(data, date) {
  data.availability.exceptions = data.availability.exceptions.filter((e) => e.date !== date);
}

export function classOf(data, a) {
  return data.classes.find((c) => c.id === a.classId) || null;
}

export function isFinished(a) {
  return remainingOf(a) === 0;
}
