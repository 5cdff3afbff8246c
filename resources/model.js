// Changes to the data set, and the checks of what the teacher types.
// Every function works on plain data; the caller saves afterwards.

import { addDays, dateTextProblem, isISODate, startOfWeek } from './dates.js';
import { needsCount, paceOf, remainingOf } from './planner.js';

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

// Records are kept long enough to learn a pace from a term's work.
const PROGRESS_KEEP_DAYS = 120;
export const TITLE_MAX = 80;
export const KIND_MAX = 20;
export const KINDS = ['作文', '听写', '周记', '试卷', '练习', '默写', '实验报告'];
export const WEEKDAYS = ['周一', '周二', '周三', '周四', '周五', '周六', '周日'];

// Length as the teacher counts it: one per character, emoji included.
const chars = (s) => [...s].length;

export function newId(prefix) {
  const rnd =
    globalThis.crypto && typeof globalThis.crypto.randomUUID === 'function'
      ? globalThis.crypto.randomUUID().slice(0, 8)
      : Math.random().toString(36).slice(2, 10);
  return `${prefix}${Date.now().toString(36)}${rnd}`;
}

// A number as typed: full-width digits and points count, as the date
// fields take them ("１２", "７．５", "7。5"); empty is no number.
export function toNumber(s) {
  const t = String(s ?? '').normalize('NFKC').replace(/。/g, '.').trim();
  return t === '' ? NaN : Number(t);
}

// What a date field says when its text is no date: its own request when it
// is empty, else why the typed text names no day.
export function dateError(text, emptyMessage) {
  const t = String(text ?? '').trim();
  if (t === '') return emptyMessage;
  return dateTextProblem(t) || '看不懂这个日期，请按「2026/12/9」这样填写。';
}

// Form checks return { ok, value } or { ok: false, errors: { field: text } }.
export function checkClass(fields, data, editingId = null) {
  const errors = {};
  const name = String(fields.name ?? '').trim();
  if (!name) errors.name = '请填写班级名称。';
  else if (name.length > 40) errors.name = '名称最多 40 个字。';
  else if (data.classes.some((c) => c.name === name && c.id !== editingId)) errors.name = '已有同名的班级。';
  const color = PALETTE.some((p) => p.color === fields.color) ? fields.color : PALETTE[0].color;
  const sizeText = String(fields.size ?? '').trim();
  const size = sizeText === '' ? null : toNumber(sizeText);
  if (size !== null && !(Number.isInteger(size) && size >= 0 && size <= 1000)) errors.size = '人数应为 0 到 1000 的整数，或不填。';
  return Object.keys(errors).length ? { ok: false, errors } : { ok: true, value: { name, color, size } };
}

export function checkAssignment(fields, data) {
  const errors = {};
  const title = String(fields.title ?? '').trim();
  if (!title) errors.title = '请填写作业标题。';
  else if (chars(title) > TITLE_MAX) errors.title = `标题最多 ${TITLE_MAX} 个字，现在是 ${chars(title)} 个。`;
  const kind = String(fields.kind ?? '').trim();
  if (chars(kind) > KIND_MAX) errors.kind = `类型最多 ${KIND_MAX} 个字。`;
  const classId = fields.classId ? String(fields.classId) : null;
  if (classId && !data.classes.some((c) => c.id === classId)) errors.classId = '请选择班级。';
  const collected = String(fields.collected ?? '').trim();
  const due = String(fields.due ?? '').trim();
  if (!isISODate(collected)) errors.collected = dateError(collected, '请填写收取日期。');
  if (!isISODate(due)) errors.due = dateError(due, '请填写归还日期。');
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
  return { ok: true, value: { title, kind, classId, collected, due, submissions, minutesEach, graded } };
}

// What the form should say before saving: a new assignment whose dates are
// both past is late the moment it is saved. `today` is given for a new
// assignment only: an old one may well lie in the past.
export function assignmentWarning(fields, data, today = null) {
  const collected = String(fields.collected ?? '').trim();
  const due = String(fields.due ?? '').trim();
  if (isISODate(today) && isISODate(collected) && isISODate(due) && collected < today && due < today)
    return '收取日期和归还日期都已经过去：保存后这项作业会立刻算作逾期。请检查日期是否填对。';
  return null;
}

// One assignment for several classes: the shared fields once, and a count
// per ticked class. rows: [{ classId, submissions }].
export function checkAssignmentForClasses(fields, rows, data) {
  const picked = rows.filter((r) => r.classId);
  if (!picked.length) {
    const r = checkAssignment({ ...fields, classId: '' }, data);
    return r.ok ? { ok: true, values: [r.value] } : r;
  }
  const errors = {};
  const values = [];
  for (const row of picked) {
    const r = checkAssignment({ ...fields, classId: row.classId, submissions: row.submissions }, data);
    if (r.ok) values.push(r.value);
    else
      for (const [k, v] of Object.entries(r.errors)) {
        if (k === 'submissions') errors[`count-${row.classId}`] = v;
        else if (k === 'graded') errors.graded = v;
        else errors[k] = v;
      }
  }
  return Object.keys(errors).length ? { ok: false, errors } : { ok: true, values };
}

// The record dialog: a day from the assignment's collection up to today, 1
// to `left` copies, and the minutes really spent if given (whole, 1 to 1440).
// A day before the copies were collected is refused: its timing would become
// the plan's pace.
export function checkRecord(fields, left, today, collected = null) {
  const errors = {};
  const date = String(fields.date ?? '').trim();
  if (!isISODate(date)) errors.date = dateError(date, '请填写今天或更早的日期。');
  else if (date > today) errors.date = '请填写今天或更早的日期。';
  else if (isISODate(collected) && date < collected) errors.date = `这项作业 ${dayName(collected, today)} 才收取，不能记在收取之前。`;
  const count = toNumber(fields.count);
  if (!Number.isInteger(count) || count < 1 || count > left) errors.count = `应为 1 到 ${left} 的整数。`;
  const minutes = String(fields.minutes ?? '').trim() === '' ? null : toNumber(fields.minutes);
  if (minutes !== null && !(Number.isInteger(minutes) && minutes >= 1 && minutes <= 1440)) errors.minutes = '应为 1 到 1440 的整数，或不填。';
  return Object.keys(errors).length ? { ok: false, errors } : { ok: true, value: { date, count, minutes } };
}

// "3月3日", with the year when it is not this year's.
function dayName(iso, today) {
  const md = `${+iso.slice(5, 7)}月${+iso.slice(8, 10)}日`;
  return iso.slice(0, 4) === String(today).slice(0, 4) ? md : `${+iso.slice(0, 4)}年${md}`;
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

// Assignments of a deleted class stay, without a class. Returns what
// restoreClass needs to undo it.
export function deleteClass(data, id) {
  const index = data.classes.findIndex((c) => c.id === id);
  if (index < 0) return null;
  const [cls] = data.classes.splice(index, 1);
  const assignmentIds = [];
  for (const a of data.assignments)
    if (a.classId === id) {
      a.classId = null;
      assignmentIds.push(a.id);
    }
  // Where the class stood in each template, so undo puts it back there.
  const templates = [];
  for (const t of data.templates) {
    const at = t.classIds.indexOf(id);
    if (at < 0) continue;
    t.classIds = t.classIds.filter((c) => c !== id);
    templates.push({ id: t.id, at });
  }
  return { cls, index, assignmentIds, templates };
}

export function restoreClass(data, undo) {
  if (!undo || data.classes.some((c) => c.id === undo.cls.id)) return false;
  data.classes.splice(Math.min(undo.index, data.classes.length), 0, undo.cls);
  for (const a of data.assignments) if (undo.assignmentIds.includes(a.id) && a.classId === null) a.classId = undo.cls.id;
  for (const { id, at } of undo.templates) {
    const t = data.templates.find((x) => x.id === id);
    if (t && !t.classIds.includes(undo.cls.id)) t.classIds.splice(Math.min(at, t.classIds.length), 0, undo.cls.id);
  }
  return true;
}

// Saves the form's values. The graded count is set, and the records follow
// it: a lowering takes back recorded copies (today's first, then the latest
// days'), and a raising gives back what lowerings took before it records
// the rest as graded today. So a correction and its undoing leave every
// day's records as they were, and the records never hold more copies than
// are graded.
export function saveAssignment(data, value, id = null, today = null) {
  const { graded, ...rest } = value;
  let a = id ? data.assignments.find((x) => x.id === id) : null;
  if (id && !a) return id;
  if (!a) {
    a = { id: newId('a'), ...rest, graded: 0 };
    data.assignments.push(a);
  } else Object.assign(a, rest);
  const target = Math.max(0, Math.min(graded, a.submissions));
  if (target < a.graded) lowerGraded(data, a, a.graded - target, today);
  else if (target > a.graded) raiseGraded(data, a, target - a.graded, today);
  return a.id;
}

// What the form's lowerings took from the records, per assignment, newest
// last. It lives as long as the page: the stored data has no place for it.
const takenByForm = new WeakMap();
function takenOf(data, id) {
  let byId = takenByForm.get(data);
  if (!byId) takenByForm.set(data, (byId = new Map()));
  let list = byId.get(id);
  if (!list) byId.set(id, (list = []));
  return list;
}

function lowerGraded(data, a, k, today) {
  const dates = Object.keys(data.progress)
    .filter((d) => data.progress[d][a.id])
    .sort((x, y) => (y === today) - (x === today) || (x < y ? 1 : x > y ? -1 : 0));
  const taken = takenOf(data, a.id);
  let left = k;
  for (const date of dates) {
    if (!left) break;
    const day = data.progress[date];
    const e = { ...day[a.id] };
    const n = Math.min(left, e.n);
    const was = roundEntry(e);
    takeBack(e, n);
    const now = e.n ? roundEntry(e) : { n: 0, min: 0 };
    taken.push({ date, n, min: was.min - now.min, tn: (was.tn || 0) - (now.tn || 0), tmin: (was.tmin || 0) - (now.tmin || 0) });
    if (now.n) day[a.id] = now;
    else delete day[a.id];
    if (!Object.keys(day).length) delete data.progress[date];
    left -= n;
  }
  // Copies graded without a record (a corrected count) only change the count.
  a.graded -= k;
}

function raiseGraded(data, a, k, today) {
  const taken = takenOf(data, a.id);
  let left = k;
  while (left > 0 && taken.length) {
    const t = taken[taken.length - 1];
    const part = t.n <= left ? taken.pop() : splitTaken(t, left);
    const day = (data.progress[part.date] ??= {});
    const e = day[a.id] ? { ...day[a.id] } : { n: 0, min: 0 };
    e.n += part.n;
    e.min += part.min;
    if (part.tn) {
      e.tn = (e.tn || 0) + part.tn;
      e.tmin = (e.tmin || 0) + part.tmin;
    }
    day[a.id] = roundEntry(e);
    a.graded += part.n;
    left -= part.n;
  }
  if (left > 0 && today) recordProgress(data, a.id, left, today);
  else a.graded += left;
}

// The last copies taken were the timed ones (see takeBack): they go back first.
function splitTaken(t, j) {
  const jt = Math.min(j, t.tn);
  const ju = j - jt;
  const tmin = t.tn ? (t.tmin / t.tn) * jt : 0;
  const un = t.n - t.tn;
  const umin = un ? ((t.min - t.tmin) / un) * ju : 0;
  const part = { date: t.date, n: j, min: tmin + umin, tn: jt, tmin };
  t.n -= j;
  t.min -= part.min;
  t.tn -= jt;
  t.tmin -= tmin;
  return part;
}

export function addAssignments(data, values, today) {
  return values.map((v) => saveAssignment(data, v, null, today));
}

// Progress records stay: they say how the time was spent that day.
export function deleteAssignment(data, id) {
  const index = data.assignments.findIndex((a) => a.id === id);
  if (index < 0) return null;
  const [assignment] = data.assignments.splice(index, 1);
  return { assignment, index };
}

export function restoreAssignment(data, undo) {
  if (!undo || data.assignments.some((a) => a.id === undo.assignment.id)) return false;
  const a = undo.assignment;
  if (a.classId && !data.classes.some((c) => c.id === a.classId)) a.classId = null;
  data.assignments.splice(Math.min(undo.index, data.assignments.length), 0, a);
  return true;
}

// Records grading of assignment `id` done on `date`: `delta` copies, and
// optionally the minutes really spent on them. A negative delta takes back
// copies recorded for that date, never more than it holds. Returns how many
// copies actually changed.
export function recordProgress(data, id, delta, date, spentMinutes = null) {
  const a = data.assignments.find((x) => x.id === id);
  if (!a || !Number.isInteger(delta) || !isISODate(date)) return 0;
  const day = (data.progress[date] ??= {});
  const e = day[id] || { n: 0, min: 0 };
  let change = Math.min(a.submissions, Math.max(0, a.graded + delta)) - a.graded;
  if (change < 0) change = Math.max(change, -e.n);
  if (change > 0) {
    const timed = typeof spentMinutes === 'number' && spentMinutes > 0;
    const min = timed ? spentMinutes : change * paceOf(data, a).minutes;
    e.n += change;
    e.min += min;
    if (timed) {
      e.tn = (e.tn || 0) + change;
      e.tmin = (e.tmin || 0) + min;
    }
  } else if (change < 0) takeBack(e, -change);
  a.graded += change;
  if (e.n > 0) day[id] = roundEntry(e);
  else delete day[id];
  if (!Object.keys(day).length) delete data.progress[date];
  pruneProgress(data, date);
  return change;
}

// Copies taken back leave the untimed part first, at its average.
function takeBack(e, k) {
  const tn = e.tn || 0;
  const tmin = e.tmin || 0;
  const un = e.n - tn;
  const umin = e.min - tmin;
  const fromUntimed = Math.min(k, un);
  const fromTimed = k - fromUntimed;
  const newUmin = un ? umin - (umin / un) * fromUntimed : 0;
  const newTmin = tn ? tmin - (tmin / tn) * fromTimed : 0;
  e.n -= k;
  e.tn = tn - fromTimed;
  e.tmin = newTmin;
  e.min = newUmin + newTmin;
  if (!e.tn) {
    delete e.tn;
    delete e.tmin;
  }
}

function roundEntry(e) {
  const r = (x) => Math.round(x * 100) / 100;
  const out = { n: e.n, min: r(e.min) };
  if (e.tn) Object.assign(out, { tn: e.tn, tmin: r(e.tmin) });
  return out;
}

export function pruneProgress(data, today) {
  const oldest = addDays(today, -PROGRESS_KEEP_DAYS);
  for (const date of Object.keys(data.progress)) if (date < oldest) delete data.progress[date];
}

export function gradedOn(data, date, id) {
  return (data.progress[date] && data.progress[date][id] && data.progress[date][id].n) || 0;
}

export function gradedToday(data, today, id) {
  return gradedOn(data, today, id);
}

// Dates with copies recorded for an assignment, newest first.
export function recordsOf(data, id) {
  return Object.keys(data.progress)
    .filter((d) => data.progress[d][id])
    .sort()
    .reverse()
    .map((date) => ({ date, n: data.progress[date][id].n }));
}

// Weekly templates: { id, title, kind, classIds, weekday (0 = Monday),
// dueAfter (days), minutesEach, lastWeek }.
export function checkTemplate(fields, data) {
  const errors = {};
  const title = String(fields.title ?? '').trim();
  if (!title) errors.title = '请填写作业标题。';
  else if (chars(title) > TITLE_MAX) errors.title = `标题最多 ${TITLE_MAX} 个字。`;
  const kind = String(fields.kind ?? '').trim();
  if (chars(kind) > KIND_MAX) errors.kind = `类型最多 ${KIND_MAX} 个字。`;
  const classIds = (fields.classIds || []).filter((id) => data.classes.some((c) => c.id === id));
  if (!classIds.length) errors.classIds = '请至少选一个班级。';
  const weekday = toNumber(fields.weekday);
  if (!(Number.isInteger(weekday) && weekday >= 0 && weekday <= 6)) errors.weekday = '请选择星期几。';
  const dueAfter = toNumber(fields.dueAfter);
  if (!(Number.isInteger(dueAfter) && dueAfter >= 0 && dueAfter <= 28)) errors.dueAfter = '应为 0 到 28 天。';
  const minutesEach = toNumber(fields.minutesEach);
  if (!(minutesEach > 0 && minutesEach <= 600)) errors.minutesEach = '每份分钟数应大于 0，最多 600。';
  if (Object.keys(errors).length) return { ok: false, errors };
  return { ok: true, value: { title, kind, classIds, weekday, dueAfter, minutesEach } };
}

// A new template starts with this week unless its day has already passed.
export function saveTemplate(data, value, id, today) {
  if (id) {
    const t = data.templates.find((x) => x.id === id);
    if (t) Object.assign(t, value);
    return id;
  }
  const week = startOfWeek(today);
  const lastWeek = addDays(week, value.weekday) < today ? week : null;
  const t = { id: newId('t'), ...value, lastWeek };
  data.templates.push(t);
  return t.id;
}

// Returns what restoreTemplate needs to undo it.
export function deleteTemplate(data, id) {
  const index = data.templates.findIndex((t) => t.id === id);
  if (index < 0) return null;
  const [template] = data.templates.splice(index, 1);
  return { template, index };
}

export function restoreTemplate(data, undo) {
  if (!undo || data.templates.some((t) => t.id === undo.template.id)) return false;
  data.templates.splice(Math.min(undo.index, data.templates.length), 0, undo.template);
  return true;
}

// 最近删除: a deleted assignment, class or template stays restorable this
// many days, with the same undo the toast offers right after deleting.
export const KEEP_DELETED_DAYS = 30;
const DELETE = { assignment: deleteAssignment, class: deleteClass, template: deleteTemplate };
const RESTORE = { assignment: restoreAssignment, class: restoreClass, template: restoreTemplate };

// Deletes and keeps the undo. Returns the kept entry's id, or null.
export function deleteKept(data, kind, id, today) {
  const undo = DELETE[kind](data, id);
  if (!undo) return null;
  const entry = { id: newId('d'), kind, date: today, undo };
  data.deleted.unshift(entry);
  pruneDeleted(data, today);
  return entry.id;
}

// Puts a kept thing back and forgets the entry. An entry whose thing is
// already back (the same id exists) is forgotten too: nothing is lost.
export function restoreKept(data, entryId) {
  const at = data.deleted.findIndex((e) => e.id === entryId);
  if (at < 0) return false;
  const [entry] = data.deleted.splice(at, 1);
  return RESTORE[entry.kind](data, entry.undo);
}

// An assignment's title with its class: several classes often share one title.
export function titleOf(data, a) {
  const cls = a.classId ? data.classes.find((c) => c.id === a.classId) : null;
  return `「${a.title}」${cls ? `（${cls.name}）` : ''}`;
}

// Returns whether anything was dropped.
export function pruneDeleted(data, today) {
  const oldest = addDays(today, -KEEP_DELETED_DAYS);
  const before = data.deleted.length;
  data.deleted = data.deleted.filter((e) => e.date >= oldest);
  return data.deleted.length !== before;
}

// Creates this week's assignments from the templates, once per week and
// class however often it runs. Returns the new assignments.
export function runTemplates(data, today) {
  const week = startOfWeek(today);
  const made = [];
  for (const t of data.templates) {
    if (t.lastWeek && t.lastWeek >= week) continue;
    const collected = addDays(week, t.weekday);
    const due = addDays(collected, t.dueAfter);
    for (const classId of t.classIds) {
      const cls = data.classes.find((c) => c.id === classId);
      if (!cls) continue;
      if (data.assignments.some((a) => a.templateId === t.id && a.week === week && a.classId === classId)) continue;
      // The same id on every computer that makes it, so that two computers
      // making this week's copies make one.
      const a = {
        id: `a-${t.id}-${week}-${classId}`,
        title: t.title,
        kind: t.kind,
        classId,
        collected,
        due,
        submissions: cls.size ?? 0,
        minutesEach: t.minutesEach,
        graded: 0,
        templateId: t.id,
        week,
      };
      data.assignments.push(a);
      made.push(a);
    }
    t.lastWeek = week;
  }
  return made;
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

// 已归还 on the given assignments, or taken off again. Returns the ids changed.
export function setReturned(data, ids, on) {
  const changed = [];
  for (const a of data.assignments) {
    if (!ids.includes(a.id) || !!a.returned === on) continue;
    if (on) a.returned = true;
    else delete a.returned;
    changed.push(a.id);
  }
  return changed;
}

// Past their return day and not graded through: what 已归还 for all is for.
export function pastDue(data, today) {
  return data.assignments.filter((a) => !a.returned && a.due < today && !isFinished(a));
}

export function classOf(data, a) {
  return data.classes.find((c) => c.id === a.classId) || null;
}

// An assignment without a count is waiting for it, not finished.
export function isFinished(a) {
  return !needsCount(a) && remainingOf(a) === 0;
}
