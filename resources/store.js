// The teacher's data in local storage, under a versioned schema.
// Version 1 kept "homework" with Sunday-first weekly minutes and a date map of
// exceptions; version 2 kept only a count per day and assignment as progress,
// so a day's minutes changed with the assignment; version 3 forgot what was
// deleted; version 4 kept deleted things for a while; version 5 is what the
// app works with, and stamps every change (see stamps.js). Anything that
// cannot be read is copied aside before the main key is ever written again.

import { isISODate } from './dates.js';
import { emptyStamps, readStamps } from './stamps.js';

export const SCHEMA_VERSION = 5;
export const STORAGE_KEY = 'dovrelist';
export const ASIDE_PREFIX = 'dovrelist.aside.';
export const DEFAULT_COLOR = '#4f7cac';
const MAX_BACKUP_CHARS = 5_000_000;

export function emptyData() {
  return {
    version: SCHEMA_VERSION,
    classes: [],
    assignments: [],
    availability: { weekly: [60, 60, 60, 60, 60, 180, 120], exceptions: [] },
    progress: {},
    templates: [],
    // What the last calendar export contained, so the next one can replace it.
    calendar: { sequence: 0, sent: {} },
    settings: { gradeOnReturnDay: false, sessionStart: '19:00', reminder: 0 },
    // 最近删除: [{ id, kind, date, undo }], newest first; undo is what the
    // model's restore functions take.
    deleted: [],
    stamps: emptyStamps(),
  };
}

const isObj = (v) => v !== null && typeof v === 'object' && !Array.isArray(v);
const isInt = (v, lo, hi) => Number.isInteger(v) && v >= lo && v <= hi;
const nonEmpty = (v) => typeof v === 'string' && v.trim() !== '';
const isNum = (v, lo, hi) => typeof v === 'number' && Number.isFinite(v) && v >= lo && v <= hi;
const optText = (v, max) => (typeof v === 'string' && [...v.trim()].length <= max ? v.trim() : '');

function fromV1(o) {
  const weekly = isObj(o.weekly)
    ? [1, 2, 3, 4, 5, 6, 0].map((js) => o.weekly[String(js)] ?? 0) // Monday first now
    : o.weekly;
  const exceptions = isObj(o.exceptions)
    ? Object.keys(o.exceptions)
        .sort()
        .map((date) => ({ date, minutes: o.exceptions[date], note: '' }))
    : o.exceptions;
  const list = (v, f) => (Array.isArray(v) ? v.map((x) => (isObj(x) ? f(x) : x)) : v);
  return {
    version: 2,
    classes: list(o.classes, (c) => ({ id: c.id, name: c.name, color: c.colour })),
    assignments: list(o.homework, (h) => ({
      id: h.id,
      title: h.title,
      classId: h.classId ?? null,
      collected: h.collectedOn,
      due: h.returnOn,
      submissions: h.count,
      minutesEach: h.minutesPer,
      graded: h.graded ?? 0,
    })),
    availability: { weekly, exceptions },
    progress: {},
  };
}

function readClass(c, where, problems) {
  if (!isObj(c) || !nonEmpty(c.id)) return problems.push(`${where}：编号缺失或重复。`) && null;
  if (!nonEmpty(c.name)) return problems.push(`${where}：缺少名称。`) && null;
  let color = c.color;
  if (typeof color !== 'string' || !/^#[0-9a-fA-F]{6}$/.test(color)) {
    problems.push(`${where}（${c.name}）：颜色无效。`);
    color = DEFAULT_COLOR;
  }
  const size = isInt(c.size, 0, 1000) ? c.size : null;
  return { id: c.id, name: c.name.trim(), color: color.toLowerCase(), size };
}

function readAssignment(a, where, problems) {
  const bad = (p) => problems.push(`${where}：${p}`) && null;
  if (!isObj(a) || !nonEmpty(a.id)) return bad('编号缺失或重复。');
  if (!nonEmpty(a.title)) return bad('缺少标题。');
  if (!isISODate(a.collected) || !isISODate(a.due)) return bad('日期无效。');
  if (a.due < a.collected) return bad('归还日期早于收取日期。');
  if (!isInt(a.submissions, 0, 100000)) return bad('份数无效。');
  if (typeof a.minutesEach !== 'number' || !(a.minutesEach > 0 && a.minutesEach <= 1440)) return bad('每份分钟数无效。');
  if (!isInt(a.graded, 0, a.submissions)) return bad('已批份数无效。');
  const kept = {
    id: a.id,
    title: a.title.trim(),
    kind: optText(a.kind, 20),
    classId: a.classId ?? null,
    collected: a.collected,
    due: a.due,
    submissions: a.submissions,
    minutesEach: a.minutesEach,
    graded: a.graded,
  };
  if (nonEmpty(a.templateId) && isISODate(a.week)) Object.assign(kept, { templateId: a.templateId, week: a.week });
  // Handed back without being graded through: no longer planned.
  if (a.returned === true) kept.returned = true;
  return kept;
}

function readTemplate(t) {
  if (
    !isObj(t) || !nonEmpty(t.id) || !nonEmpty(t.title) || !Array.isArray(t.classIds) || !t.classIds.every(nonEmpty) ||
    !isInt(t.weekday, 0, 6) || !isInt(t.dueAfter, 0, 28) || !isNum(t.minutesEach, 0.01, 1440) ||
    (t.lastWeek !== null && t.lastWeek !== undefined && !isISODate(t.lastWeek))
  )
    return null;
  return {
    id: t.id,
    title: t.title.trim(),
    kind: optText(t.kind, 20),
    classIds: t.classIds.slice(),
    weekday: t.weekday,
    dueAfter: t.dueAfter,
    minutesEach: t.minutesEach,
    lastWeek: t.lastWeek ?? null,
  };
}

// What restoring a deleted thing needs, in the shape the model's delete
// functions give it; null when anything is missing or malformed.
function readUndo(kind, u) {
  if (!isObj(u) || !isInt(u.index, 0, 1e6)) return null;
  const none = [];
  if (kind === 'assignment') {
    const assignment = readAssignment(u.assignment, '', none);
    return assignment && (assignment.classId === null || nonEmpty(assignment.classId)) ? { assignment, index: u.index } : null;
  }
  if (kind === 'template') {
    const template = readTemplate(u.template);
    return template && { template, index: u.index };
  }
  if (kind !== 'class') return null;
  const cls = readClass(u.cls, '', none);
  const okTemplates =
    Array.isArray(u.templates) && u.templates.every((t) => isObj(t) && nonEmpty(t.id) && isInt(t.at, 0, 1e6));
  if (!cls || none.length || !Array.isArray(u.assignmentIds) || !u.assignmentIds.every(nonEmpty) || !okTemplates) return null;
  return {
    cls,
    index: u.index,
    assignmentIds: u.assignmentIds.slice(),
    templates: u.templates.map((t) => ({ id: t.id, at: t.at })),
  };
}

// Returns { data, problems }: data is the readable part (null when nothing
// is), problems the reasons, in Chinese, why anything was left out.
export function normalize(input) {
  if (!isObj(input)) return { data: null, problems: ['内容不是 Dovrelist 的数据。'] };
  let o = input;
  const from = o.version;
  if (from === 1) o = fromV1(o);
  else if (typeof from === 'number' && from > SCHEMA_VERSION)
    return { data: null, problems: [`数据来自更新版本的 Dovrelist（版本 ${from}），这一版读不了。`] };
  else if (![2, 3, 4, SCHEMA_VERSION].includes(from)) return { data: null, problems: ['无法识别的数据版本。'] };

  const problems = [];
  const data = emptyData();

  const classIds = readClasses(o, data, problems);
  readAssignments(o, data, classIds, problems);
  readAvailability(o, data, problems);
  readProgress(o, from, data, problems);
  readTemplates(o, data, classIds, problems);
  readDeleted(o, data, problems);
  readCalendar(o, data);
  // Data from before the stamps has none: all of it counts as changed when
  // it is first stamped.
  if (from === SCHEMA_VERSION) data.stamps = readStamps(o.stamps);
  readSettings(o, data, problems);
  return { data, problems };
}

// Each part of the data is read on its own; what cannot be read is left
// out and named in `problems`.
function readClasses(o, data, problems) {
  const classIds = new Set();
  if (!Array.isArray(o.classes)) problems.push('缺少班级列表。');
  else
    o.classes.forEach((c, i) => {
      if (isObj(c) && classIds.has(c.id)) return problems.push(`班级 ${i + 1}：编号缺失或重复。`);
      const kept = readClass(c, `班级 ${i + 1}`, problems);
      if (!kept) return;
      classIds.add(kept.id);
      data.classes.push(kept);
    });
  return classIds;
}

function readAssignments(o, data, classIds, problems) {
  const ids = new Set();
  if (!Array.isArray(o.assignments)) problems.push('缺少作业列表。');
  else
    o.assignments.forEach((a, i) => {
      const where = isObj(a) && nonEmpty(a.title) ? `作业「${a.title}」` : `作业 ${i + 1}`;
      if (isObj(a) && ids.has(a.id)) return problems.push(`${where}：编号缺失或重复。`);
      const kept = readAssignment(a, where, problems);
      if (!kept) return;
      if (kept.classId !== null && !classIds.has(kept.classId)) {
        problems.push(`${where}：所属班级不存在。`);
        kept.classId = null;
      }
      ids.add(kept.id);
      data.assignments.push(kept);
    });
}

function readAvailability(o, data, problems) {
  const av = o.availability;
  if (!isObj(av)) problems.push('缺少可用时间。');
  else {
    if (Array.isArray(av.weekly) && av.weekly.length === 7 && av.weekly.every((m) => isInt(m, 0, 1440)))
      data.availability.weekly = av.weekly.slice();
    else problems.push('每周可用时间无效。');
    const dates = new Set();
    if (!Array.isArray(av.exceptions)) problems.push('缺少例外日期列表。');
    else
      av.exceptions.forEach((e, i) => {
        if (!isObj(e) || !isISODate(e.date) || dates.has(e.date) || !isInt(e.minutes, 0, 1440))
          return problems.push(`例外日期 ${i + 1} 无效。`);
        dates.add(e.date);
        data.availability.exceptions.push({ date: e.date, minutes: e.minutes, note: typeof e.note === 'string' ? e.note : '' });
      });
    data.availability.exceptions.sort((x, y) => (x.date < y.date ? -1 : 1));
  }
}

function readProgress(o, from, data, problems) {
  // Version 2 kept a bare count: its minutes are taken at today's estimate,
  // once, and kept from then on. Version 3 records keep their own minutes and
  // outlive their assignment.
  const minutesOf = new Map(data.assignments.map((a) => [a.id, a.minutesEach]));
  if (o.progress !== undefined && !isObj(o.progress)) problems.push('批改记录无效。');
  else
    for (const [date, done] of Object.entries(o.progress ?? {})) {
      if (!isISODate(date) || !isObj(done)) {
        problems.push(`批改记录 ${date} 无效。`);
        continue;
      }
      const day = {};
      for (const [id, e] of Object.entries(done)) {
        if (from < 3) {
          if (minutesOf.has(id) && isInt(e, 1, 100000)) day[id] = { n: e, min: e * minutesOf.get(id) };
          continue;
        }
        // As many minutes as the most copies at the longest pace: whatever
        // the page can record must read back.
        if (!isObj(e) || !isInt(e.n, 1, 100000) || !isNum(e.min, 0, 100000 * 1440)) {
          problems.push(`批改记录 ${date} 无效。`);
          continue;
        }
        const entry = { n: e.n, min: e.min };
        if (isInt(e.tn, 1, e.n) && isNum(e.tmin, 0, e.min)) Object.assign(entry, { tn: e.tn, tmin: e.tmin });
        day[id] = entry;
      }
      if (Object.keys(day).length) data.progress[date] = day;
    }
}

function readTemplates(o, data, classIds, problems) {
  if (o.templates !== undefined && !Array.isArray(o.templates)) problems.push('每周作业无效。');
  else
    (o.templates ?? []).forEach((t, i) => {
      const kept = readTemplate(t);
      if (!kept) return problems.push(`每周作业 ${i + 1} 无效。`);
      kept.classIds = kept.classIds.filter((c) => classIds.has(c));
      data.templates.push(kept);
    });
}

function readDeleted(o, data, problems) {
  // Deleted things are kept as they were: a deleted assignment may name a
  // class deleted after it, which its restore then leaves out.
  if (o.deleted !== undefined && !Array.isArray(o.deleted)) problems.push('最近删除无效。');
  else {
    const seen = new Set();
    (o.deleted ?? []).forEach((e, i) => {
      const undo = isObj(e) && nonEmpty(e.id) && !seen.has(e.id) && isISODate(e.date) && readUndo(e.kind, e.undo);
      if (!undo) return problems.push(`最近删除 ${i + 1} 无效。`);
      seen.add(e.id);
      data.deleted.push({ id: e.id, kind: e.kind, date: e.date, undo });
    });
  }
}

function readCalendar(o, data) {
  // Only the memory of the last calendar export: a damaged one is forgotten.
  // UIDs and stamps go into the next calendar file as they are, so they must
  // have the shape the export gives them.
  const cal = o.calendar;
  const stamp = /^\d{8}(T\d{6}Z)?$/;
  if (isObj(cal) && isInt(cal.sequence, 0, 1e9) && isObj(cal.sent)) {
    data.calendar.sequence = cal.sequence;
    for (const [uid, e] of Object.entries(cal.sent))
      if (
        /^[A-Za-z0-9-]+@dovrelist$/.test(uid) && isObj(e) && stamp.test(e.start) && stamp.test(e.end) &&
        typeof e.summary === 'string'
      )
        data.calendar.sent[uid] = { start: e.start, end: e.end, summary: e.summary, allDay: e.allDay === true };
  }
}

function readSettings(o, data, problems) {
  const s = o.settings;
  if (s !== undefined) {
    if (!isObj(s)) problems.push('设置无效。');
    else {
      if (typeof s.gradeOnReturnDay === 'boolean') data.settings.gradeOnReturnDay = s.gradeOnReturnDay;
      else if (s.gradeOnReturnDay !== undefined) problems.push('设置「归还日当天」无效。');
      if (typeof s.sessionStart === 'string' && /^([01]\d|2[0-3]):[0-5]\d$/.test(s.sessionStart))
        data.settings.sessionStart = s.sessionStart;
      else if (s.sessionStart !== undefined) problems.push('设置「开始时间」无效。');
      if (isInt(s.reminder, 0, 1440)) data.settings.reminder = s.reminder;
      else if (s.reminder !== undefined) problems.push('设置「提醒」无效。');
    }
  }
}

export function backupText(data, now = new Date()) {
  return JSON.stringify({ app: 'Dovrelist', exportedAt: now.toISOString(), ...data }, null, 2);
}

// A backup is taken only whole: any problem rejects it. Taken, it gives
// { ok, data, version }, the version the text was written in.
export function parseBackup(text) {
  if (typeof text !== 'string' || text.length > MAX_BACKUP_CHARS)
    return { ok: false, problems: ['文件太大，或不是文本文件。'] };
  let obj;
  try {
    obj = JSON.parse(text.replace(/^\uFEFF/, ''));
  } catch {
    return { ok: false, problems: ['文件不是有效的 JSON。'] };
  }
  const { data, problems } = normalize(obj);
  if (!data || problems.length) return { ok: false, problems: problems.length ? problems : ['无法读取。'] };
  return { ok: true, data, version: obj.version };
}

// `storage` is anything shaped like window.localStorage.
export class Store {
  constructor(storage) {
    this.storage = storage;
    // Set when stored data could not be copied aside: the main key is then
    // left alone, so nothing unreadable is ever overwritten.
    this.blocked = false;
  }

  // Returns { data, notices, empty }: empty when nothing was stored. Notices: { kind: 'migrated' | 'partial' |
  // 'unreadable' | 'storage', problems?, asideKey? }.
  load(now = new Date()) {
    let raw;
    try {
      raw = this.storage.getItem(STORAGE_KEY);
    } catch {
      return { data: emptyData(), notices: [{ kind: 'storage' }] };
    }
    if (raw === null) return { data: emptyData(), notices: [], empty: true };
    let obj;
    let parsed = true;
    try {
      obj = JSON.parse(raw);
    } catch {
      parsed = false;
    }
    const { data, problems } = parsed ? normalize(obj) : { data: null, problems: ['内容不是有效的 JSON，可能只写入了一部分。'] };
    if (data && problems.length === 0 && obj.version === SCHEMA_VERSION) return { data, notices: [] };

    const clean = data && problems.length === 0;
    const reason = clean ? `v${obj.version}` : 'unreadable';
    const asideKey = this.keepAside(raw, reason, now);
    if (!asideKey) this.blocked = true;
    const notices = [];
    if (clean) notices.push({ kind: 'migrated', from: obj.version, asideKey });
    else notices.push({ kind: data ? 'partial' : 'unreadable', problems, asideKey });
    const result = data ?? emptyData();
    if (asideKey) this.save(result);
    return { data: result, notices };
  }

  save(data) {
    if (this.blocked) return { ok: false, error: 'blocked' };
    try {
      this.storage.setItem(STORAGE_KEY, JSON.stringify(data));
      return { ok: true };
    } catch (e) {
      return { ok: false, error: String((e && e.message) || e) };
    }
  }

  // Replaces the data set with a backup only if the backup is valid and the
  // current data could be copied aside first; otherwise nothing changes.
  importBackup(text, current, now = new Date()) {
    const parsed = parseBackup(text);
    if (!parsed.ok) return parsed;
    const asideKey = this.keepAside(JSON.stringify(current), 'before-import', now);
    if (!asideKey) return { ok: false, problems: ['无法先另存当前数据，导入已取消。'] };
    const saved = this.save(parsed.data);
    if (!saved.ok) {
      this.discardAside(asideKey);
      return { ok: false, problems: ['无法保存导入的数据，当前数据未改变。'] };
    }
    return { ok: true, data: parsed.data, asideKey };
  }

  keepAside(raw, reason, now = new Date()) {
    let key = `${ASIDE_PREFIX}${reason}.${now.toISOString()}`;
    try {
      for (let i = 2; this.storage.getItem(key) !== null; i++) key = `${ASIDE_PREFIX}${reason}.${now.toISOString()}.${i}`;
      this.storage.setItem(key, raw);
      return this.storage.getItem(key) === raw ? key : null;
    } catch {
      return null;
    }
  }

  listAside() {
    const out = [];
    try {
      for (let i = 0; i < this.storage.length; i++) {
        const key = this.storage.key(i);
        if (!key || !key.startsWith(ASIDE_PREFIX)) continue;
        const rest = key.slice(ASIDE_PREFIX.length);
        const dot = rest.indexOf('.');
        out.push({ key, reason: rest.slice(0, dot), at: rest.slice(dot + 1) });
      }
    } catch {
      return out;
    }
    return out.sort((a, b) => (a.at < b.at ? 1 : -1));
  }

  readAside(key) {
    try {
      return this.storage.getItem(key);
    } catch {
      return null;
    }
  }

  discardAside(key) {
    try {
      this.storage.removeItem(key);
      return true;
    } catch {
      return false;
    }
  }
}
