// Spreads the remaining grading over the teacher's available minutes.
// Earliest return date first; each assignment takes the earliest free time in
// its window, whole submissions only, and nothing is ever placed after the
// last day it may be graded. What does not fit is reported as late.

import { addDays, dayRange, weekdayIndex } from './dates.js';

const EPS = 1e-9;

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

// Minutes already spent on `date` through progress recorded that day.
export function minutesGradedOn(data, date) {
  const done = data.progress[date];
  if (!done) return 0;
  let sum = 0;
  for (const a of data.assignments) if (done[a.id]) sum += done[a.id] * a.minutesEach;
  return sum;
}

export function makePlan(data, today) {
  const onReturnDay = !!data.settings.gradeOnReturnDay;
  const active = data.assignments.filter((a) => remainingOf(a) > 0).sort(byDeadline);

  let horizon = today;
  const windows = new Map();
  for (const a of active) {
    const w = gradingWindow(a, today, onReturnDay);
    windows.set(a.id, w);
    if (w.open && w.end > horizon) horizon = w.end;
  }

  const usedToday = minutesGradedOn(data, today);
  const days = dayRange(today, horizon).map((date) => {
    const available = availableOn(date, data.availability);
    const used = date === today ? Math.min(usedToday, available) : 0;
    return { date, available, used, free: available - used, planned: 0, sessions: [] };
  });

  const status = new Map();
  const late = [];
  for (const a of active) {
    const w = windows.get(a.id);
    const remaining = remainingOf(a);
    const m = a.minutesEach;
    let left = remaining;
    let lastDay = null;
    let largestDay = 0;
    if (w.open) {
      for (const d of days) {
        if (d.date < w.start) continue;
        if (d.date > w.end || left === 0) break;
        largestDay = Math.max(largestDay, d.available);
        const n = m > 0 ? Math.min(left, Math.floor((d.free + EPS) / m)) : left;
        if (n <= 0) continue;
        d.sessions.push({ assignmentId: a.id, count: n, minutes: n * m });
        d.free -= n * m;
        d.planned += n * m;
        left -= n;
        lastDay = d.date;
      }
    }
    const info = {
      assignmentId: a.id,
      remaining,
      planned: remaining - left,
      late: left,
      lateMinutes: left * m,
      window: w,
      lastDay,
      reason: null,
    };
    if (left > 0) {
      if (!w.open) info.reason = 'closed';
      else if (info.planned === 0 && largestDay < m) info.reason = 'tooLong';
      else info.reason = 'time';
      late.push(info);
    }
    status.set(a.id, info);
  }

  const todayCount = days[0].sessions.reduce((s, x) => s + x.count, 0);
  return { today, days, status, late, todayCount };
}

// Load of one day for display, whether or not it lies inside the plan.
export function dayLoad(plan, data, date) {
  const inPlan = plan.days.find((d) => d.date === date);
  if (inPlan) return inPlan;
  const available = availableOn(date, data.availability);
  return { date, available, used: 0, free: available, planned: 0, sessions: [], past: date < plan.today };
}
