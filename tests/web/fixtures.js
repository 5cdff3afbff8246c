// Small builders for test data sets in the stored shape.

import { emptyData } from '../../resources/store.js';

export function dataWith({ weekly, exceptions = [], classes, assignments = [], settings = {} } = {}) {
  const data = emptyData();
  if (weekly) data.availability.weekly = weekly;
  data.availability.exceptions = exceptions;
  data.classes = (classes ?? [{ id: 'c1', name: '三年二班', color: '#4f7cac' }]).map((c) => ({ size: null, ...c }));
  data.assignments = assignments.map((a, i) => ({
    id: `a${i + 1}`,
    title: `作业${i + 1}`,
    kind: '',
    classId: 'c1',
    collected: '2025-03-03',
    graded: 0,
    ...a,
  }));
  Object.assign(data.settings, settings);
  return data;
}

export const every = (m) => [m, m, m, m, m, m, m];

export function sessionsOf(plan, id) {
  return plan.days.flatMap((d) =>
    d.sessions
      .filter((s) => s.assignmentId === id)
      .map((s) => (s.overdue ? { date: d.date, count: s.count, overdue: true } : { date: d.date, count: s.count })),
  );
}

// An in-memory stand-in for window.localStorage.
export class MemoryStorage {
  constructor(entries = {}, { failFor = () => false } = {}) {
    this.map = new Map(Object.entries(entries));
    this.failFor = failFor;
  }
  get length() {
    return this.map.size;
  }
  key(i) {
    return [...this.map.keys()][i] ?? null;
  }
  getItem(k) {
    return this.map.has(k) ? this.map.get(k) : null;
  }
  setItem(k, v) {
    if (this.failFor(k)) throw new Error('QuotaExceededError');
    this.map.set(k, String(v));
  }
  removeItem(k) {
    this.map.delete(k);
  }
}
