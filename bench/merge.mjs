// Merging two year-sized copies of the data that went apart (each computer
// made its own changes), against one plan of the same data in the same run.
// Prints figures; never fails on one.
//
//   node bench/merge.mjs [--runs N] [--warmup N]

import { performance } from 'node:perf_hooks';
import { makePlan } from '../resources/planner.js';
import { mergeData } from '../resources/merge.js';
import { Clock, Stamper } from '../resources/stamps.js';
import { recordProgress, setException } from '../resources/model.js';
import { TODAY, option, yearData } from './yeardata.mjs';

const RUNS = option('--runs', 21);
const WARMUP = option('--warmup', 3);

// Two computers from one year's data, each with a day of its own changes.
function apart(node, offset) {
  const data = yearData();
  const stamper = new Stamper(new Clock(node, () => Date.UTC(2026, 11, 10) + offset));
  stamper.take(data, TODAY);
  for (let i = 0; i < 40; i++) {
    const a = data.assignments[(i * 7 + offset) % data.assignments.length];
    a.title = `${a.title} (${node})`;
    recordProgress(data, a.id, 1, TODAY);
    setException(data, `2027-0${1 + (i % 9)}-1${i % 10}`, 30 + i, node);
  }
  stamper.stamp(data, TODAY);
  return data;
}
const a = apart('school00', 0);
const b = apart('home0000', 3);

const median = (xs) => [...xs].sort((x, y) => x - y)[Math.floor(xs.length / 2)];
const time = (fn) => {
  const t = performance.now();
  fn();
  return performance.now() - t;
};
for (let i = 0; i < WARMUP; i++) {
  mergeData(a, b);
  makePlan(a, TODAY);
}
const merges = [];
const plans = [];
for (let i = 0; i < RUNS; i++) {
  merges.push(time(() => mergeData(a, b)));
  plans.push(time(() => makePlan(a, TODAY)));
}
const merged = mergeData(a, b);
console.log(`data: ${a.assignments.length} assignments over ${a.classes.length} classes, ${Object.keys(a.progress).length} days of records, ${a.availability.exceptions.length} exceptions; ${JSON.stringify(a).length} characters`);
console.log(`merge of the two copies: median ${median(merges).toFixed(1)} ms (min ${Math.min(...merges).toFixed(1)}, max ${Math.max(...merges).toFixed(1)}) over ${RUNS} runs`);
console.log(`one plan of the same data: median ${median(plans).toFixed(1)} ms`);
console.log(`ratio merge / plan: ${(median(merges) / median(plans)).toFixed(2)}`);
console.log(`merged: ${merged.assignments.length} assignments, ${merged.availability.exceptions.length} exceptions`);
