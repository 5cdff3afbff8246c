// Planning time for a large data set with return dates decades ahead (one in
// 2999) and 20 000 availability exceptions, against a baseline measured in
// the same run: the same assignments with near return dates and no
// exceptions. Prints figures; never fails on one.
//
//   node bench/planner.mjs [--runs N] [--warmup N] [--planner path/to/planner.js]
//
// --planner times another copy of the planner module (for a before/after
// comparison); it is given the same data.

import { performance } from 'node:perf_hooks';
import { pathToFileURL } from 'node:url';
import { resolve } from 'node:path';
import { addDays } from '../resources/dates.js';
import { option, seededRandom } from './yeardata.mjs';

const RUNS = option('--runs', 21);
const WARMUP = option('--warmup', 3);
const args = process.argv.slice(2);
const given = args.indexOf('--planner');
const plannerPath = resolve(given >= 0 && args[given + 1] ? args[given + 1] : new URL('../resources/planner.js', import.meta.url).pathname);
const { makePlan } = await import(pathToFileURL(plannerPath).href);

const TODAY = '2026-12-09';
const ASSIGNMENTS = 5000;
const FAR_EVERY = 50; // one assignment in 50 is due decades ahead
const EXCEPTIONS = 20000;

// The same data on every run.
const random = seededRandom(20261209);
const between = (lo, hi) => lo + Math.floor(random() * (hi - lo + 1));

function dataSet(far) {
  const classes = Array.from({ length: 12 }, (_, i) => ({ id: `c${i}`, name: `${i + 1} 班`, color: '#4f7cac', size: 40 }));
  const kinds = ['作文', '听写', '周记', '试卷', '练习', ''];
  const assignments = [];
  for (let i = 0; i < ASSIGNMENTS; i++) {
    const collected = addDays(TODAY, between(-40, 20));
    const near = addDays(collected, between(1, 14));
    const submissions = between(20, 45);
    let due = near;
    if (far && i % FAR_EVERY === 0) due = i === 0 ? '2999-12-31' : addDays(collected, between(20, 60) * 365);
    assignments.push({
      id: `a${i}`,
      title: `作业 ${i}`,
      kind: kinds[i % kinds.length],
      classId: classes[i % classes.length].id,
      collected,
      due,
      submissions,
      minutesEach: [2, 3, 5, 8, 10][i % 5],
      graded: between(0, submissions - 1),
    });
  }
  // A term of timed records, so paces are learned as in real use.
  const progress = {};
  for (let d = -100; d <= 0; d++) {
    const day = {};
    for (let k = 0; k < 8; k++) {
      const id = `a${between(0, ASSIGNMENTS - 1)}`;
      const n = between(1, 10);
      day[id] = { n, min: n * 6, tn: n, tmin: n * 6 };
    }
    progress[addDays(TODAY, d)] = day;
  }
  const exceptions = [];
  if (far) {
    // 20 000 distinct dates spread over a century around today.
    const used = new Set();
    while (exceptions.length < EXCEPTIONS) {
      const date = addDays(TODAY, between(-36500, 36500));
      if (used.has(date)) continue;
      used.add(date);
      exceptions.push({ date, minutes: [0, 0, 30, 90, 240][between(0, 4)], note: '' });
    }
    exceptions.sort((x, y) => (x.date < y.date ? -1 : 1));
  }
  return {
    version: 3,
    classes,
    assignments,
    availability: { weekly: [60, 60, 60, 60, 60, 180, 120], exceptions },
    progress,
    templates: [],
    calendar: { sequence: 0, sent: {} },
    settings: { gradeOnReturnDay: false, sessionStart: '19:00', reminder: 0 },
  };
}

const median = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  return s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};
// Wall-clock time, and this process's CPU time, which other jobs on a busy
// machine disturb less.
const time = (data) => {
  const cpu = process.cpuUsage();
  const t = performance.now();
  const plan = makePlan(data, TODAY);
  const ms = performance.now() - t;
  const used = process.cpuUsage(cpu);
  return { ms, cpuMs: (used.user + used.system) / 1000, plan };
};

const far = dataSet(true);
const base = dataSet(false);
// Warm up both, then interleave so that load from other jobs hits both alike.
for (let i = 0; i < WARMUP; i++) time(far), time(base);
const farMs = [];
const baseMs = [];
const farCpu = [];
const baseCpu = [];
let farPlan = null;
let basePlan = null;
for (let i = 0; i < RUNS; i++) {
  const f = time(far);
  const b = time(base);
  farMs.push(f.ms);
  baseMs.push(b.ms);
  farCpu.push(f.cpuMs);
  baseCpu.push(b.cpuMs);
  farPlan = f.plan;
  basePlan = b.plan;
}

const open = far.assignments.filter((a) => a.graded < a.submissions).length;
const describe = (p) => `${p.days.length} days in the plan, ${p.days.reduce((n, d) => n + d.sessions.length, 0)} sessions, ${p.late.length} late`;
console.log(`planner: ${plannerPath}`);
console.log(`data: ${ASSIGNMENTS} assignments (${open} open), one in ${FAR_EVERY} due 20-60 years ahead and one on 2999-12-31, ${EXCEPTIONS} exceptions over a century`);
console.log(`far plan: ${describe(farPlan)}`);
console.log(`baseline plan: ${describe(basePlan)}`);
console.log(`planner_far_median_ms=${median(farMs).toFixed(1)} (min ${Math.min(...farMs).toFixed(1)}, max ${Math.max(...farMs).toFixed(1)}, ${RUNS} runs)`);
console.log(`planner_baseline_median_ms=${median(baseMs).toFixed(1)} (min ${Math.min(...baseMs).toFixed(1)}, max ${Math.max(...baseMs).toFixed(1)})`);
console.log(`planner_far_cpu_median_ms=${median(farCpu).toFixed(1)} planner_baseline_cpu_median_ms=${median(baseCpu).toFixed(1)}`);
console.log(`planner_far_vs_baseline=${(median(farMs) / median(baseMs)).toFixed(2)} (cpu ${(median(farCpu) / median(baseCpu)).toFixed(2)})  (aim: under 50 ms)`);
