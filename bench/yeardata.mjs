// A school year of one teacher's data, the same on every run: 630
// assignments over three classes, 120 days of grading records and 20 000
// availability exceptions, in the stored shape and stamped as the app
// stamps it. For the benchmarks of the data file and of the merge.

import { addDays } from '../resources/dates.js';
import { emptyData } from '../resources/store.js';
import { Clock, Stamper } from '../resources/stamps.js';

export const TODAY = '2026-12-09';

// A number given on the command line as `--name N`.
export function option(name, fallback) {
  const args = process.argv.slice(2);
  const i = args.indexOf(name);
  return i >= 0 && i + 1 < args.length ? Number(args[i + 1]) : fallback;
}

// A fixed pseudo-random sequence (mulberry32), so every run sees the same data.
export function seededRandom(seed) {
  return () => {
    seed = (seed + 0x6d2b79f5) | 0;
    let t = Math.imul(seed ^ (seed >>> 15), 1 | seed);
    t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

export function yearData({ node = 'bench0001', seed = 20261209 } = {}) {
  const random = seededRandom(seed);
  const between = (lo, hi) => lo + Math.floor(random() * (hi - lo + 1));
  const data = emptyData();
  data.classes = [0, 1, 2].map((i) => ({ id: `c${i}`, name: `${i + 1} 班`, color: '#4f7cac', size: 42 }));
  const kinds = ['作文', '听写', '周记', '试卷', '练习', ''];
  for (let i = 0; i < 630; i++) {
    const collected = addDays(TODAY, -between(0, 200));
    data.assignments.push({
      id: `a${i}`,
      title: `第 ${i + 1} 次作业`,
      kind: kinds[i % kinds.length],
      classId: `c${i % 3}`,
      collected,
      due: addDays(collected, between(1, 14)),
      submissions: 42,
      minutesEach: [2, 3, 5, 8, 10][i % 5],
      graded: 0,
    });
  }
  for (let d = 0; d < 120; d++) {
    const date = addDays(TODAY, -d);
    const day = {};
    for (let k = 0; k < 6; k++) {
      const a = data.assignments[between(0, 629)];
      if (day[a.id] || a.graded >= a.submissions) continue;
      const n = Math.min(between(3, 15), a.submissions - a.graded);
      a.graded += n;
      day[a.id] = k % 2 ? { n, min: n * a.minutesEach } : { n, min: n * a.minutesEach, tn: n, tmin: n * a.minutesEach };
    }
    data.progress[date] = day;
  }
  const start = addDays(TODAY, -10000);
  for (let i = 0; i < 20000; i++)
    data.availability.exceptions.push({ date: addDays(start, i), minutes: between(0, 240), note: i % 7 ? '' : '开会' });
  new Stamper(new Clock(node, () => Date.UTC(2026, 11, 9))).stamp(data, TODAY);
  return data;
}
