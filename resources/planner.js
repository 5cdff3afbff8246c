// Spreads the remaining grading over the teacher's available minutes.
// Earliest return date first; each assignment takes the earliest free time in
// its window, whole submissions only. What does not fit before its return
// date is planned afterwards, marked overdue, in whatever time is left once
// everything that can still be on time has its place.

import { addDays, dayRange, diffDays, weekdayIndex } from './dates.js';

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
  for (const ex of availability.exceptions) if (ex.date === date) return ex.minutes;
  return availability.weekly[weekdayIndex(date)] || 0;
}

export function remainingOf(a) {
  return Math.max(0, a.submissions - a.graded);
}

// First and last day on which an assignment may be graded, from today on.
export function gradingWindow(a, today, gradeOnReturnDay) {
  const start = a.collected > today ? a.collected : today;
  const end = gradeOnReturnDay ? a.due : addDays(a.due, -1);
  return { start, end, open: end >= start };
}

function byDeadline(a, b) {
  return cmp(a.due, b.due) || cmp(a.collected, b.collected) || cmp(a.title, b.title) || cmp(a.id, b.id);
}

function cmp(x, y) {
  return x < y ? -1 : x > y ? 1 : 0;
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

// The pace the plan uses for each assignment: the teacher's estimate until
// enough copies have been timed, then what the timing says, from the most
// specific records there are (this assignment, its class and 类型, its 类型).
export function paceFinder(data) {
  const byId = new Map(data.assignments.map((a) => [a.id, a]));
  const own = new Map();
  const classKind = new Map();
  const kind = new Map();
  const add = (map, key, n, min) => {
    const s = map.get(key) || { n: 0, min: 0 };
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
      if (m) return { minutes: m, source: 'kind', copies: kind.get(a.kind).n };
    }
    return { minutes: a.minutesEach, source: 'estimate', copies: 0 };
  };
}

export function paceOf(data, a) {
  return paceFinder(data)(a);
}

export function makePlan(data, today) {
  const onReturnDay = !!data.settings.gradeOnReturnDay;
  const pace = paceFinder(data);
  const active = data.assignments.filter((a) => remainingOf(a) > 0).sort(byDeadline);

  let horizon = today;
  const windows = new Map();
  for (const a of active) {
    const w = gradingWindow(a, today, onReturnDay);
    windows.set(a.id, w);
    if (w.open && w.end > horizon) horizon = w.end;
  }

  const usedToday = minutesGradedOn(data, today);
  const makeDay = (date) => {
    const available = availableOn(date, data.availability);
    const used = date === today ? Math.min(usedToday, available) : 0;
    return { date, available, used, free: available - used, planned: 0, sessions: [] };
  };
  const days = dayRange(today, horizon).map(makeDay);
  const dayAt = (i) => {
    while (days.length <= i) days.push(makeDay(addDays(today, days.length)));
    return days[i];
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

  const status = new Map();
  const late = [];
  for (const a of active) {
    const w = windows.get(a.id);
    const p = pace(a);
    const m = p.minutes;
    const remaining = remainingOf(a);
    let left = remaining;
    let lastDay = null;
    let largestDay = 0;
    if (w.open)
      for (const d of days) {
        if (d.date < w.start) continue;
        if (d.date > w.end || left === 0) break;
        largestDay = Math.max(largestDay, d.available);
        const n = place(d, a, m, left, false);
        left -= n;
        if (n) lastDay = d.date;
      }
    const info = { assignmentId: a.id, remaining, planned: remaining - left, late: left, lateMinutes: left * m, overdue: 0, unplaced: left, window: w, lastDay, reason: null, pace: p };
    if (left > 0) {
      if (!w.open) info.reason = a.due < today ? 'past' : a.due === today ? 'dueToday' : 'sameDay';
      else if (largestDay === 0) info.reason = 'noTime';
      else if (info.planned === 0 && largestDay < m) info.reason = 'tooLong';
      else info.reason = 'time';
      late.push(info);
    }
    status.set(a.id, info);
  }

  // Overdue work, in return-date order: what is already late goes after its
  // return date, never in front of work that can still be on time.
  const grown = days.length;
  for (const info of late) {
    const a = active.find((x) => x.id === info.assignmentId);
    const m = info.pace.minutes;
    const after = addDays(info.window.end, 1);
    const from = [today, after, a.collected].sort().at(-1);
    let i = diffDays(today, from);
    let left = info.late;
    for (; left > 0 && i <= OVERDUE_SEARCH_DAYS; i++) {
      const d = dayAt(i);
      const n = place(d, a, m, left, true);
      left -= n;
      if (n) info.lastDay = d.date;
    }
    info.overdue = info.late - left;
    info.unplaced = left;
  }
  // Days searched without finding anything are not part of the plan.
  let keep = days.length;
  while (keep > grown && days[keep - 1].sessions.length === 0) keep--;
  days.length = keep;

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
