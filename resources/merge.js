// One merge for every two copies of the data: this computer's file against
// the engine's storage, and every other computer's file. It forgets nothing
// and gives the same result whatever the order, however often: each field
// goes to its later change (the larger stamp, ties broken by the value
// itself), a deletion holds against every change older than it, and each
// computer's share of the grading is kept as that computer last wrote it.
// What it shows is then made from the merged state: the counts are the
// shares added up, never below zero or above the assignment's copies.

import { addDays } from './dates.js';
import { emptyData } from './store.js';
import { TALLY_KEEP_DAYS, emptyStamps, things } from './stamps.js';

const later = (x, y) => {
  if (x.s !== y.s) return x.s > y.s ? x : y;
  if (x.v === y.v) return x;
  return JSON.stringify(x.v) > JSON.stringify(y.v) ? x : y;
};
const maxStamp = (a, b) => (a > b ? a : b);

// Each stamped thing: the object holding it, what is not its own, its stamp.
function thingsOf(data) {
  const out = new Map();
  for (const [key, obj, skip] of things(data)) out.set(key, { obj, skip, st: data.stamps.of[key] });
  return out;
}

// Its fields, each with its value and stamp.
function stampedFields({ obj, skip, st }) {
  const fields = {};
  for (const f of Object.keys(obj)) if (!skip.includes(f)) fields[f] = { v: obj[f], s: (typeof st === 'string' ? st : st && st[f]) || '' };
  return fields;
}

const copy = (v) => (typeof v === 'object' && v !== null ? structuredClone(v) : v);
function ownValues({ obj, skip }) {
  const out = {};
  for (const f in obj) if (!skip.includes(f)) out[f] = copy(obj[f]);
  return out;
}

const sameValue = (x, y) => x === y || (typeof x === 'object' && x !== null && JSON.stringify(x) === JSON.stringify(y));
function sameThing(x, y) {
  const keys = Object.keys(x.obj);
  return keys.length === Object.keys(y.obj).length && keys.every((f) => x.skip.includes(f) || sameValue(x.obj[f], y.obj[f]));
}

function mergeFields(x, y) {
  const out = { ...x };
  for (const [f, e] of Object.entries(y)) out[f] = out[f] ? later(out[f], e) : e;
  return out;
}

// The day the merged data has reached: the date of its latest stamp, so
// that every computer lets the same old records go.
function reachedDay(last) {
  const ms = last ? parseInt(last.slice(0, 9), 36) : 0;
  return ms ? new Date(ms).toISOString().slice(0, 10) : '1970-01-01';
}

export function mergeData(a, b) {
  const stamps = emptyStamps();
  for (const st of [a.stamps, b.stamps]) for (const [k, s] of Object.entries(st.gone)) stamps.gone[k] = maxStamp(stamps.gone[k] ?? '', s);
  stamps.last = maxStamp(a.stamps.last, b.stamps.last);
  const oldest = addDays(reachedDay(stamps.last), -TALLY_KEEP_DAYS);
  for (const st of [a.stamps, b.stamps])
    for (const [key, shares] of Object.entries(st.tally)) {
      if (key.startsWith('p/') && key.slice(2, 12) < oldest) continue;
      const kept = (stamps.tally[key] ??= {});
      for (const [node, e] of Object.entries(shares)) kept[node] = kept[node] ? later(kept[node], e) : e;
    }

  const ta = thingsOf(a);
  const tb = thingsOf(b);
  const live = new Map();
  for (const key of new Set([...ta.keys(), ...tb.keys()])) {
    const x = ta.get(key);
    const y = tb.get(key);
    // Most things are the same change on both sides: taken whole.
    const one = !x ? y : !y ? x : typeof x.st === 'string' && x.st === y.st && sameThing(x, y) ? x : null;
    let values;
    let st;
    if (one) {
      values = ownValues(one);
      st = one.st || '';
    } else {
      const fields = mergeFields(stampedFields(x), stampedFields(y));
      values = {};
      const per = {};
      for (const [f, e] of Object.entries(fields)) [values[f], per[f]] = [copy(e.v), e.s];
      const all = new Set(Object.values(per));
      st = all.size === 1 ? [...all][0] : per;
    }
    const newest = typeof st === 'string' ? st : Object.values(st).reduce(maxStamp, '');
    const gone = stamps.gone[key];
    if (gone !== undefined && gone >= newest) continue;
    delete stamps.gone[key];
    live.set(key, values);
    if (newest) stamps.of[key] = st;
  }
  // The calendar's memory is everything either computer sent, so that the
  // next export of either updates or cancels what the other sent.
  const cal = live.get('cal');
  if (cal) {
    const stampOf = (d) => (typeof d.stamps.of.cal === 'string' ? d.stamps.of.cal : Object.values(d.stamps.of.cal ?? {}).reduce(maxStamp, ''));
    const [older, newer] = stampOf(a) > stampOf(b) || (stampOf(a) === stampOf(b) && JSON.stringify(a.calendar) > JSON.stringify(b.calendar)) ? [b, a] : [a, b];
    cal.sent = structuredClone({ ...older.calendar.sent, ...newer.calendar.sent });
    cal.sequence = Math.max(a.calendar.sequence, b.calendar.sequence);
  }
  return shownFrom(live, stamps);
}

const byId = (x, y) => (x.id < y.id ? -1 : x.id > y.id ? 1 : 0);

function shownFrom(live, stamps) {
  const data = emptyData();
  data.stamps = stamps;
  const add = (list, prefix) => {
    for (const [key, fields] of live) if (key.startsWith(prefix)) list.push({ id: key.slice(prefix.length), ...fields });
    list.sort(byId);
  };
  add(data.classes, 'c/');
  add(data.assignments, 'a/');
  add(data.templates, 't/');
  add(data.deleted, 'd/');
  data.deleted.sort((x, y) => (x.date > y.date ? -1 : x.date < y.date ? 1 : byId(x, y)));
  for (const [key, fields] of live) if (key.startsWith('x/')) data.availability.exceptions.push({ date: key.slice(2), ...fields });
  data.availability.exceptions.sort((x, y) => (x.date < y.date ? -1 : 1));
  if (live.has('w')) {
    const w = live.get('w');
    data.availability.weekly = data.availability.weekly.map((m, i) => w[i] ?? m);
  }
  if (live.has('s')) Object.assign(data.settings, live.get('s'));
  if (live.has('cal')) Object.assign(data.calendar, live.get('cal'));

  // The counts: every computer's share added up.
  const sum = (key) => {
    const shares = stamps.tally[key];
    if (!shares) return null;
    const out = [0, 0, 0, 0];
    for (const { v } of Object.values(shares)) v.forEach((x, i) => (out[i] = Math.round((out[i] + x) * 100) / 100));
    return out;
  };
  for (const a of data.assignments) {
    const g = sum(`g/${a.id}`);
    a.graded = Math.min(a.submissions, Math.max(0, g ? Math.round(g[0]) : 0));
  }
  for (const key of Object.keys(stamps.tally)) {
    if (!key.startsWith('p/')) continue;
    const [n, min, tn, tmin] = sum(key).map((x) => Math.max(0, x));
    if (n < 1) continue;
    const date = key.slice(2, 12);
    const entry = { n: Math.round(n), min };
    if (tn >= 1) Object.assign(entry, { tn: Math.min(Math.round(tn), entry.n), tmin: Math.min(tmin, min) });
    (data.progress[date] ??= {})[key.slice(13)] = entry;
  }
  return data;
}

// What a merge leaves that the data must not hold: an assignment or a
// template naming a class that is gone. These are mended as changes of
// their own (the caller stamps them), the same on every computer.
export function mendMerged(data) {
  const classes = new Set(data.classes.map((c) => c.id));
  for (const a of data.assignments) if (a.classId !== null && !classes.has(a.classId)) a.classId = null;
  for (const t of data.templates) if (t.classIds.some((c) => !classes.has(c))) t.classIds = t.classIds.filter((c) => classes.has(c));
}
