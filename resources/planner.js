// Spreads the remaining grading over the teacher's available minutes.
// Earliest return date first; each assignment takes the earliest free time in
// its window, whole submissions only. What does not fit before its return
// date is planned afterwards, marked overdue, in whatever time is left once
// everything that can still be on time has its place.

import { addDays, dayNumber, fromDayNumber, weekdayIndex } from './dates.js';

const EPS = 1e-9;
// A session shorter than this is not worth sitting down for, unless it
// finishes the assignment.
export const MIN_SESSION = 10;
// How far past today overdue work is looked for before giving up.
const OVERDUE_SEARCH_DAYS = 366;
// Measured copies needed before a learned pace replaces the estimate.
const OWN_SAMPLE = 3;
const SHARED_SAMPLE = 5;

export function availableOn(date, availability) {
  const ex = exceptionOn(date, availability);
  return ex ? ex.minutes : availability.weekly[weekdayIndex(date)] || 0;
}

// The exception for `date`, or null; the first, should the list hold two.
export function exceptionOn(date, availability) {
  const { list, dayIndex } = tablesOf(availability.exceptions);
  const j = dayIndex(dayOf(date));
  return j >= 0 ? list[j] : null;
}

// Marked 已归还: handed back, nothing left to plan, its records kept.
export function remainingOf(a) {
  return a.returned ? 0 : Math.max(0, a.submissions - a.graded);
}

// Saved with 0 copies (or made by a weekly template for a class without a
// usual size): not done, and nothing to plan until the count is filled in.
export function needsCount(a) {
  return a.submissions === 0 && !a.returned;
}

// Collected and returned the same day (a quiz handed back that afternoon):
// graded on that day, whatever the rule for return days.
const sameDay = (a) => a.collected === a.due;

// First and last day on which an assignment may be graded, from today on.
// `dayBefore` may answer from what a plan has already worked out.
export function gradingWindow(a, today, gradeOnReturnDay, dayBefore = (iso) => addDays(iso, -1)) {
  const start = a.collected > today ? a.collected : today;
  const end = gradeOnReturnDay || sameDay(a) ? a.due : dayBefore(a.due);
  return { start, end, open: end >= start };
}

// Earliest return date first; on a day, what must be graded that very day
// first. One assignment given to several classes goes in the order the
// teacher lists the classes.
function byDeadline(classOrder) {
  return (a, b) =>
    cmp(a.due, b.due) ||
    sameDay(b) - sameDay(a) ||
    cmp(a.collected, b.collected) ||
    cmp(a.title, b.title) ||
    classOrder(a.classId) - classOrder(b.classId) ||
    cmp(a.id, b.id);
}

function cmp(x, y) {
  return x < y ? -1 : x > y ? 1 : 0;
}

// Where a class stands in the teacher's list; no class comes last.
function classOrderOf(data) {
  const at = new Map(data.classes.map((c, i) => [c.id, i]));
  return (id) => at.get(id) ?? data.classes.length;
}

// Minutes spent on `date`, as recorded then. The record keeps its minutes,
// so later edits or deletions of an assignment never rewrite a past day.
export function minutesGradedOn(data, date) {
  const done = data.progress[date];
  if (!done) return 0;
  let sum = 0;
  for (const e of Object.values(done)) sum += e.min;
  return sum;
}

// The assignments with these ids, by id: a year holds thousands, and a plan
// or a screen names a few of them.
export function assignmentsById(data, ids) {
  const wanted = new Set(ids);
  const found = new Map();
  for (const a of data.assignments) if (wanted.has(a.id)) found.set(a.id, a);
  return found;
}

// The pace the plan uses for each assignment: the teacher's estimate until
// enough copies have been timed, then what the timing says, from the most
// specific records there are (this assignment, its class and 类型, its 类型).
export function paceFinder(data) {
  // Only the assignments that timed records name are looked up: indexing a
  // year's assignments was a quarter of a plan.
  const timed = [];
  for (const day of Object.values(data.progress)) for (const [id, e] of Object.entries(day)) if (e.tn) timed.push(id);
  const byId = assignmentsById(data, timed);
  const classOrder = classOrderOf(data);
  const own = new Map();
  const classKind = new Map();
  const kind = new Map();
  const add = (map, key, n, min) => {
    const s = map.get(key) || { n: 0, min: 0, classes: new Set() };
    s.n += n;
    s.min += min;
    map.set(key, s);
  };
  for (const day of Object.values(data.progress))
    for (const [id, e] of Object.entries(day)) {
      if (!e.tn) continue;
      const a = byId.get(id);
      if (!a) continue;
      add(own, id, e.tn, e.tmin);
      if (a.kind) {
        add(classKind, `${a.classId}\u0000${a.kind}`, e.tn, e.tmin);
        add(kind, a.kind, e.tn, e.tmin);
        // Which classes gave a 类型's timing, so the page can say whose it is.
        kind.get(a.kind).classes.add(a.classId);
      }
    }
  const learned = (s, need) => (s && s.n >= need && s.min > 0 ? Math.round((s.min / s.n) * 10) / 10 : null);
  return (a) => {
    let m = learned(own.get(a.id), OWN_SAMPLE);
    if (m) return { minutes: m, source: 'own', copies: own.get(a.id).n };
    if (a.kind) {
      const key = `${a.classId}\u0000${a.kind}`;
      m = learned(classKind.get(key), SHARED_SAMPLE);
      if (m) return { minutes: m, source: 'classKind', copies: classKind.get(key).n };
      m = learned(kind.get(a.kind), SHARED_SAMPLE);
      if (m) {
        const s = kind.get(a.kind);
        const classIds = [...s.classes].sort((x, y) => classOrder(x) - classOrder(y));
        return { minutes: m, source: 'kind', copies: s.n, classIds };
      }
    }
    return { minutes: a.minutesEach, source: 'estimate', copies: 0 };
  };
}

export function paceOf(data, a) {
  return paceFinder(data)(a);
}

// Dates and their day numbers, kept from one plan to the next: plan after
// plan asks about the same days. Bounded, should the page stay open for years.
const DAYS_KEPT = 20000;
function memo(of) {
  const kept = new Map();
  return (key) => {
    let value = kept.get(key);
    if (value === undefined) {
      if (kept.size >= DAYS_KEPT) kept.clear();
      kept.set(key, (value = of(key)));
    }
    return value;
  };
}
const isoOf = memo(fromDayNumber);
const dayOf = memo(dayNumber);

// What the exceptions alone decide, kept from one plan to the next: a year
// can hold 20 000 of them. The list is only ever changed by replacing it
// (model.js), as the stamps rely on too, so one list object always holds the
// same exceptions. Tables are made only when a question needs them.
const exceptionTables = new WeakMap();
function tablesOf(exceptions) {
  let t = exceptionTables.get(exceptions);
  if (t) return t;
  let list = exceptions;
  for (let j = 1; j < list.length; j++)
    if (list[j].date < list[j - 1].date) {
      list = [...list].sort((x, y) => (x.date < y.date ? -1 : x.date > y.date ? 1 : 0));
      break;
    }
  let withTime = null;
  let spans = null;
  // The first exception on or after `iso`; the first of equal dates.
  const find = (iso) => {
    let lo = 0;
    let hi = list.length;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (list[mid].date < iso) lo = mid + 1;
      else hi = mid;
    }
    return lo;
  };
  t = {
    list,
    find,
    // Where the exception on day number `n` is, or -1.
    dayIndex: memo((n) => {
      const iso = isoOf(n);
      const j = find(iso);
      return j < list.length && list[j].date === iso ? j : -1;
    }),
    // withTime[j]: the first exception from j on with minutes.
    withTime() {
      if (!withTime) {
        withTime = new Int32Array(list.length + 1).fill(list.length);
        for (let j = list.length - 1; j >= 0; j--) withTime[j] = list[j].minutes > 0 ? j : withTime[j + 1];
      }
      return withTime;
    },
    // The largest minutes over runs of exceptions, and weekdays counted.
    spans() {
      if (spans) return spans;
      // table[k][j]: the largest minutes of the 2^k exceptions from j on.
      const table = [Float64Array.from(list, (e) => e.minutes)];
      for (let k = 1; 1 << k <= list.length; k++) {
        const prev = table[k - 1];
        const half = 1 << (k - 1);
        const row = new Float64Array(list.length - (1 << k) + 1);
        for (let j = 0; j < row.length; j++) row[j] = Math.max(prev[j], prev[j + half]);
        table.push(row);
      }
      // onWeekday[w][j]: how many of the first j exceptions fall on weekday w.
      const onWeekday = Array.from({ length: 7 }, () => new Int32Array(list.length + 1));
      list.forEach((e, j) => {
        const wd = weekdayIndex(e.date);
        for (let w = 0; w < 7; w++) onWeekday[w][j + 1] = onWeekday[w][j] + (wd === w ? 1 : 0);
      });
      spans = { table, onWeekday };
      return spans;
    },
  };
  exceptionTables.set(exceptions, t);
  return t;
}

// Availability by day, counted from `today`: the weekly minutes with the
// exceptions laid over them. Exceptions are looked up by halving their list
// (kept in date order), so asking about a day never reads the whole list and
// asking about a span of days never walks it day by day, however far away
// the span lies.
function availabilityFrom(availability, today) {
  const base = dayNumber(today);
  const weekly = availability.weekly;
  const firstWeekday = weekdayIndex(today);
  const tables = tablesOf(availability.exceptions);
  const { list, find } = tables;
  const weekday = (i) => (((firstWeekday + i) % 7) + 7) % 7;
  const date = (i) => isoOf(base + i);
  const offset = (iso) => dayOf(iso) - base;
  const minutes = (i) => {
    const j = tables.dayIndex(base + i);
    return j >= 0 ? list[j].minutes : weekly[weekday(i)] || 0;
  };
  const anyWeekly = weekly.some((m) => m > 0);
  const largest = new Map();

  // The most minutes any single day from `from` to `to` offers.
  const largestUncached = (from, to) => {
    let best = 0;
    if (to - from < 14) {
      for (let i = from; i <= to; i++) best = Math.max(best, minutes(i));
      return best;
    }
    const { table, onWeekday } = tables.spans();
    const lo = find(date(from));
    const hi = find(date(to + 1));
    if (hi > lo) {
      const k = 31 - Math.clz32(hi - lo);
      best = Math.max(table[k][lo], table[k][hi - (1 << k)]);
    }
    // A weekday counts when one of its days in the span is no exception.
    for (let w = 0; w < 7; w++) {
      if (!(weekly[w] > best)) continue;
      const firstDay = from + ((w - weekday(from) + 7) % 7);
      const days = firstDay > to ? 0 : Math.floor((to - firstDay) / 7) + 1;
      if (days > onWeekday[w][hi] - onWeekday[w][lo]) best = weekly[w];
    }
    return best;
  };

  return {
    date,
    offset,
    minutes,
    // The first day from `i` on that has any time at all.
    nextWithTime(i) {
      if (anyWeekly) return i;
      const k = tables.withTime()[find(date(i))];
      return k < list.length ? offset(list[k].date) : Infinity;
    },
    // The same, once per span: many assignments share their window.
    largestIn(from, to) {
      const key = from * 4194304 + to;
      let best = largest.get(key);
      if (best === undefined) largest.set(key, (best = largestUncached(from, to)));
      return best;
    },
  };
}

// The days of a plan as work is placed on them: `placeFrom` puts an
// assignment's copies on the first days with room, and `days` lists today
// and every day that holds work. `usedToday`: minutes already recorded today.
function dayBook(cal, usedToday) {
  // Days are made when work first looks at them, by their offset from today.
  // The plan lists today and every day that holds work.
  const made = new Map();
  const dayAt = (i) => {
    let d = made.get(i);
    if (d) return d;
    const date = cal.date(i);
    const available = cal.minutes(i);
    // Today holds all that was recorded, also beyond its time.
    const used = i === 0 ? usedToday : 0;
    d = { date, available, used, free: Math.max(0, available - used), planned: 0, sessions: [] };
    made.set(i, d);
    return d;
  };
  dayAt(0);

  // The first day from `from` to `last` that can take work, or a number past
  // `last`. A day found useless points on to where the search went next, so
  // each run of such days is crossed once per plan, not once per assignment.
  // Useless to everyone: no time left. Useless to work of at least a
  // session's length: less time left than a session (see `place`).
  const ROOM = MIN_SESSION - 2 * EPS;
  const skipEmpty = new Map();
  const skipSmall = new Map();
  const nextOpen = (from, last, roomy) => {
    const skip = roomy ? skipSmall : skipEmpty;
    const least = roomy ? ROOM : EPS;
    let i = from;
    while (i <= last) {
      let to = skip.get(i);
      if (to === undefined) {
        const d = made.get(i);
        const free = d ? d.free : cal.minutes(i);
        if (roomy ? free >= least : free > least) break;
        to = d ? i + 1 : cal.nextWithTime(i + 1);
        skip.set(i, to);
      }
      i = to;
    }
    // Point everything crossed straight at the day found.
    for (let j = from; j < i && j <= last; ) {
      const to = skip.get(j);
      skip.set(j, i);
      j = to;
    }
    return i;
  };

  // Places up to `left` copies on day d; returns how many.
  const place = (d, a, m, left, overdue) => {
    let n = m > 0 ? Math.min(left, Math.floor((d.free + EPS) / m)) : left;
    if (n <= 0 || (n < left && n * m < MIN_SESSION - EPS)) return 0;
    const s = { assignmentId: a.id, count: n, minutes: n * m };
    if (overdue) s.overdue = true;
    d.sessions.push(s);
    d.free -= n * m;
    d.planned += n * m;
    return n;
  };
  // Places up to `left` copies from day `from` to day `last`; returns how
  // many are left and the last day used.
  const placeFrom = (from, last, a, m, left, overdue) => {
    let lastDay = null;
    let i = nextOpen(from, last, left * m >= MIN_SESSION - EPS);
    while (left > 0 && i <= last) {
      const d = dayAt(i);
      const n = place(d, a, m, left, overdue);
      left -= n;
      if (n) lastDay = d.date;
      if (left > 0) i = nextOpen(i + 1, last, left * m >= MIN_SESSION - EPS);
    }
    return { left, lastDay };
  };

  const days = () =>
    [...made]
      .filter(([i, d]) => i === 0 || d.sessions.length)
      .sort((x, y) => x[0] - y[0])
      .map(([, d]) => d);
  return { placeFrom, days };
}

export function makePlan(data, today) {
  const onReturnDay = !!data.settings.gradeOnReturnDay;
  const pace = paceFinder(data);
  const listed = data.assignments.filter((a) => remainingOf(a) > 0 || needsCount(a)).sort(byDeadline(classOrderOf(data)));
  const cal = availabilityFrom(data.availability, today);

  const book = dayBook(cal, minutesGradedOn(data, today));
  const { placeFrom } = book;

  const status = new Map();
  const late = [];
  const dayBefore = (iso) => cal.date(cal.offset(iso) - 1);
  const lateOnes = [];
  for (const a of listed) {
    const w = gradingWindow(a, today, onReturnDay, dayBefore);
    const first = cal.offset(w.start);
    const last = cal.offset(w.end);
    const p = pace(a);
    const m = p.minutes;
    const remaining = remainingOf(a);
    if (needsCount(a)) {
      status.set(a.id, { assignmentId: a.id, remaining: 0, planned: 0, late: 0, lateMinutes: 0, overdue: 0, unplaced: 0, window: w, lastDay: null, reason: null, pace: p, needsCount: true });
      continue;
    }
    const { left, lastDay } = w.open ? placeFrom(first, last, a, m, remaining, false) : { left: remaining, lastDay: null };
    const info = { assignmentId: a.id, remaining, planned: remaining - left, late: left, lateMinutes: left * m, overdue: 0, unplaced: left, window: w, lastDay, reason: null, pace: p };
    if (left > 0) {
      if (!w.open) info.reason = a.due < today ? 'past' : 'dueToday';
      else {
        const largestDay = cal.largestIn(first, last);
        if (largestDay === 0) info.reason = 'noTime';
        else if (info.planned === 0 && largestDay < m) info.reason = 'tooLong';
        else info.reason = 'time';
      }
      late.push(info);
      lateOnes.push(a);
    }
    status.set(a.id, info);
  }

  // Overdue work, in return-date order: what is already late goes after its
  // return date, never in front of work that can still be on time.
  late.forEach((info, k) => {
    const a = lateOnes[k];
    // After the return date, from today, and not before it was collected.
    const from = Math.max(0, cal.offset(info.window.end) + 1, cal.offset(a.collected));
    const { left, lastDay } = placeFrom(from, OVERDUE_SEARCH_DAYS, a, info.pace.minutes, info.late, true);
    if (lastDay) info.lastDay = lastDay;
    info.overdue = info.late - left;
    info.unplaced = left;
  });

  const days = book.days();
  const todayCount = days[0].sessions.reduce((s, x) => s + x.count, 0);
  return { today, days, status, late, todayCount };
}

// Load of one day for display, whether or not it lies inside the plan.
export function dayLoad(plan, data, date) {
  const inPlan = plan.days.find((d) => d.date === date);
  if (inPlan) return inPlan;
  const available = availableOn(date, data.availability);
  const past = date < plan.today;
  // A past day shows what was recorded for it.
  const used = past ? minutesGradedOn(data, date) : 0;
  return { date, available, used, free: available, planned: 0, sessions: [], past };
}
