// When each part of the data last changed, and where. Every change gets a
// stamp from a hybrid logical clock: the wall clock in milliseconds, a
// counter for changes within one millisecond (or while the wall clock lags
// behind a stamp already seen), and the computer's id to break ties. Stamps
// compare as plain text, so the later change is simply the larger string,
// and a clock set back never stamps a change below one already made.
//
// data.stamps = {
//   last:  the largest stamp in the data ('' when none),
//   of:    { thing: stamp, or { field: stamp } where fields differ },
//   gone:  { thing: stamp of its deletion },
//   tally: { count: { computer: { v: [numbers], s: stamp } } },
// }
// Things: 'c/<id>' a class, 'a/<id>' an assignment, 't/<id>' a weekly
// template, 'x/<date>' a day's exception, 'd/<id>' an entry of 最近删除,
// 'w' the weekly minutes, 's' the settings, 'cal' the calendar's memory.
// Counts add up across computers instead of replacing each other, so each
// computer keeps only its own share: 'p/<date>/<id>' a day's grading
// ([copies, minutes, timed copies, timed minutes]) and 'g/<id>' an
// assignment's graded copies. The stamps are found by comparing the data
// with what was last stamped, so the changes themselves need not know.

import { addDays } from './dates.js';

const NODE = /^[0-9a-z]{4,32}$/;
const STAMP = /^[0-9a-z]{12}-[0-9a-z]{4,32}$/;
const COUNTER = 36 ** 3;
// Grading records older than this are let go on every computer alike, by
// their own date, and are then no longer counted.
export const TALLY_KEEP_DAYS = 120;

export const isStamp = (s) => typeof s === 'string' && STAMP.test(s);
export const isNode = (s) => typeof s === 'string' && NODE.test(s);
export const emptyStamps = () => ({ last: '', of: {}, gone: {}, tally: {} });

export function newNode() {
  const bytes = new Uint8Array(10);
  globalThis.crypto.getRandomValues(bytes);
  return Array.from(bytes, (b) => (b % 36).toString(36)).join('');
}

export class Clock {
  constructor(node, wall = Date.now) {
    this.node = node;
    this.wall = wall;
    this.ms = 0;
    this.n = 0;
  }

  // Never stamp below a stamp already seen, whatever the wall clock says.
  observe(stamp) {
    if (!isStamp(stamp)) return;
    const ms = parseInt(stamp.slice(0, 9), 36);
    const n = parseInt(stamp.slice(9, 12), 36);
    if (ms > this.ms || (ms === this.ms && n > this.n)) [this.ms, this.n] = [ms, n];
  }

  next() {
    const wall = Math.floor(this.wall());
    if (wall > this.ms) [this.ms, this.n] = [wall, 0];
    else if (++this.n >= COUNTER) [this.ms, this.n] = [this.ms + 1, 0];
    return `${this.ms.toString(36).padStart(9, '0')}${this.n.toString(36).padStart(3, '0')}-${this.node}`;
  }
}

// Every stamped thing of the data: its key, the object holding its fields,
// and the members of that object that are not its own fields. With `but`,
// the exceptions are left out: a year can hold 20 000 of them, and they are
// only ever changed by replacing the list (model.js), so a list that is the
// same object as before holds the same exceptions.
const ID = ['id'];
export function* things(data, but = null) {
  for (const c of data.classes) yield [`c/${c.id}`, c, ID];
  for (const a of data.assignments) yield [`a/${a.id}`, a, ['id', 'graded']];
  for (const t of data.templates) yield [`t/${t.id}`, t, ID];
  if (data.availability.exceptions !== but) for (const e of data.availability.exceptions) yield [`x/${e.date}`, e, ['date']];
  for (const e of data.deleted) yield [`d/${e.id}`, e, ID];
  yield ['w', data.availability.weekly, []];
  yield ['s', data.settings, []];
  yield ['cal', data.calendar, []];
}

// A thing's own fields as comparable values: objects as their text.
function fieldsOf(obj, skip) {
  const out = {};
  for (const k in obj) {
    if (skip.includes(k)) continue;
    const v = obj[k];
    out[k] = typeof v === 'object' && v !== null ? JSON.stringify(v) : v;
  }
  return out;
}

// The fields that differ; null when none do.
function changedFields(obj, skip, was) {
  let changed = null;
  let n = 0;
  for (const k in obj) {
    if (skip.includes(k)) continue;
    n++;
    const v = obj[k];
    if ((typeof v === 'object' && v !== null ? JSON.stringify(v) : v) !== was[k]) (changed ??= []).push(k);
  }
  if (!changed && n !== Object.keys(was).length) changed = [];
  return changed;
}

// Every count of the data. An assignment that is gone counts nothing here,
// so deleting it and bringing it back changes no one's share.
function counts(data, today) {
  const out = new Map();
  const oldest = addDays(today, -TALLY_KEEP_DAYS);
  for (const [date, day] of Object.entries(data.progress))
    if (date >= oldest)
      for (const [id, e] of Object.entries(day)) out.set(`p/${date}/${id}`, [e.n, e.min, e.tn || 0, e.tmin || 0]);
  for (const a of data.assignments) out.set(`g/${a.id}`, [a.graded]);
  return out;
}

const round = (x) => Math.round(x * 100) / 100;
const sumOf = (shares) => {
  let sum = null;
  for (const { v } of Object.values(shares)) sum = sum ? sum.map((x, i) => round(x + (v[i] || 0))) : v.slice();
  return sum;
};

// Keeps the data's stamps up to date with its content. take() starts from
// data whose stamps are its own (as loaded); stamp() then stamps whatever
// changed since, and adopt() takes other data (an import, a restored copy)
// as a change made now to everything it changes.
export class Stamper {
  constructor(clock) {
    this.clock = clock;
    this.seen = new Map();
    this.shares = new Map();
  }

  take(data, today) {
    const st = data.stamps;
    this.clock.observe(st.last);
    // What has a stamp is taken as stamped as it is; what has none is new.
    this.seen = new Map();
    // The first stamp after this looks at every exception.
    this.exceptions = null;
    for (const [key, obj, skip] of things(data)) if (st.of[key] !== undefined) this.seen.set(key, fieldsOf(obj, skip));
    // A count the shares cover is taken as shown: where the shares add up to
    // more than can be shown (more copies than the assignment has), only a
    // change the teacher makes moves them. A count no share covers (data
    // from before the stamps) is this computer's share, whole.
    this.shares = new Map();
    const shown = counts(data, today);
    // An assignment that is gone keeps its count for when it comes back.
    for (const [key, shares] of Object.entries(st.tally)) {
      const sum = sumOf(shares);
      this.shares.set(key, shown.get(key) ?? (key.startsWith('g/') ? sum : sum.map(() => 0)));
    }
  }

  // Returns whether anything was stamped.
  stamp(data, today) {
    const st = data.stamps;
    let stamp = null;
    const now = () => (stamp ??= this.clock.next());
    const present = new Set();
    const back = [];
    const same = this.exceptions === data.availability.exceptions ? this.exceptions : null;
    this.exceptions = data.availability.exceptions;
    for (const [key, obj, skip] of things(data, same)) {
      present.add(key);
      const was = this.seen.get(key);
      const changed = was && changedFields(obj, skip, was);
      if (was && !changed) continue;
      if (!was && key.startsWith('a/')) back.push(obj);
      this.seen.set(key, fieldsOf(obj, skip));
      delete st.gone[key];
      const prior = st.of[key];
      if (!was || prior === undefined) {
        st.of[key] = now();
        continue;
      }
      // Only the changed fields get the new stamp; a field gone takes its stamp along.
      const per = {};
      for (const f of Object.keys(this.seen.get(key)))
        per[f] = changed.includes(f) ? now() : typeof prior === 'string' ? prior : (prior[f] ?? now());
      const all = new Set(Object.values(per));
      st.of[key] = all.size === 1 ? [...all][0] : per;
    }
    for (const key of [...this.seen.keys()])
      if (!present.has(key) && !(same && key.startsWith('x/'))) {
        st.gone[key] = now();
        delete st.of[key];
        this.seen.delete(key);
      }

    // An assignment brought back (restored here, while other computers may
    // have graded it meanwhile) counts what every share says, not what it
    // counted when it went.
    for (const a of back) {
      const shares = st.tally[`g/${a.id}`];
      if (!shares) continue;
      a.graded = Math.min(a.submissions, Math.max(0, Math.round(sumOf(shares)[0])));
      this.shares.set(`g/${a.id}`, [a.graded]);
    }

    const node = this.clock.node;
    const oldest = addDays(today, -TALLY_KEEP_DAYS);
    const live = counts(data, today);
    // A day's records taken back to nothing count zero; an assignment that
    // is gone counts as it was.
    for (const [key, was] of this.shares)
      if (key.startsWith('p/') && !live.has(key) && key.slice(2, 12) >= oldest) live.set(key, was.map(() => 0));
    for (const [key, v] of live) {
      const was = this.shares.get(key) || v.map(() => 0);
      const delta = v.map((x, i) => round(x - was[i]));
      if (delta.every((x) => x === 0)) continue;
      const shares = (st.tally[key] ??= {});
      const own = shares[node] ? shares[node].v : v.map(() => 0);
      shares[node] = { v: own.map((x, i) => round(x + delta[i])), s: now() };
      this.shares.set(key, v);
    }
    // Records past the horizon are let go whole, on every computer alike.
    for (const key of Object.keys(st.tally))
      if (key.startsWith('p/') && key.slice(2, 12) < oldest) {
        delete st.tally[key];
        this.shares.delete(key);
      }
    if (stamp) st.last = stamp > st.last ? stamp : st.last;
    return stamp !== null;
  }

  adopt(current, next, today) {
    const { last } = next.stamps;
    next.stamps = structuredClone(current.stamps);
    this.clock.observe(last);
    this.stamp(next, today);
  }
}

// The stamps as stored, keeping only what has the right shape: a stamp
// that cannot be read is as good as none, and the thing is stamped anew.
export function readStamps(input) {
  const st = emptyStamps();
  if (input === null || typeof input !== 'object') return st;
  const obj = (v) => (v !== null && typeof v === 'object' && !Array.isArray(v) ? v : {});
  // The latest stamp of all is worked out on the way: a year holds tens of
  // thousands.
  let last = isStamp(input.last) ? input.last : '';
  const kept = (s) => {
    if (s > last) last = s;
    return s;
  };
  for (const [key, s] of Object.entries(obj(input.of))) {
    if (isStamp(s)) st.of[key] = kept(s);
    else {
      const per = Object.entries(obj(s)).filter(([, v]) => isStamp(v));
      if (per.length) st.of[key] = Object.fromEntries(per.map(([f, v]) => [f, kept(v)]));
    }
  }
  for (const [key, s] of Object.entries(obj(input.gone))) if (isStamp(s)) st.gone[key] = kept(s);
  for (const [key, shares] of Object.entries(obj(input.tally))) {
    const each = {};
    for (const [node, e] of Object.entries(obj(shares)))
      if (isNode(node) && isStamp(e?.s) && Array.isArray(e.v) && e.v.length <= 4 && e.v.every((x) => Number.isFinite(x)))
        each[node] = { v: e.v.slice(), s: kept(e.s) };
    if (Object.keys(each).length) st.tally[key] = each;
  }
  st.last = last;
  return st;
}
