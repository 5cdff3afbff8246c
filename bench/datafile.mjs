// What one change costs the page's main thread on a school year's data
// (bench/yeardata.mjs) with the page's own modules: the step after the
// frame is painted (stamp the change, save to the engine's storage, here a
// memory stand-in for localStorage) and the write's own step (the backup
// text the data file gets). Beside them, in the same run, a plain write +
// fsync of the same bytes with node's fs, which is what the native side's
// atomic write costs at least. Prints figures; never fails on one.
//
//   node bench/datafile.mjs [--runs N] [--warmup N]
//
// Not measured: handing the text to the native side (postMessage copies it
// once in the engine) and the native write, which runs in the app's process.

import { performance } from 'node:perf_hooks';
import { closeSync, fsyncSync, mkdtempSync, openSync, rmSync, writeSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { Store, backupText } from '../resources/store.js';
import { Clock, Stamper } from '../resources/stamps.js';
import { MemoryStorage } from '../tests/web/fixtures.js';
import { TODAY, option, yearData } from './yeardata.mjs';

const RUNS = option('--runs', 21);
const WARMUP = option('--warmup', 3);

const data = yearData();
const store = new Store(new MemoryStorage());
const stamper = new Stamper(new Clock('bench0002'));
stamper.take(data, TODAY);

const folder = mkdtempSync(join(tmpdir(), 'tldatafile-'));
const file = join(folder, 'dovrelist.json');

const ms = (f) => {
  const t = performance.now();
  const value = f();
  return [performance.now() - t, value];
};

// One change as the page makes it: an assignment's copies graded, as the
// record dialog does, then the page's two steps, then the plain write.
let turn = 0;
function oneChange() {
  const a = data.assignments[turn++ % data.assignments.length];
  a.graded = (a.graded + 1) % a.submissions;
  const [stampMs] = ms(() => stamper.stamp(data, TODAY));
  const [saveMs, saved] = ms(() => store.save(data));
  if (!saved.ok) throw new Error(`save failed: ${saved.error}`);
  const [textMs, text] = ms(() => backupText(data));
  const bytes = Buffer.from(text);
  const [fsyncMs] = ms(() => {
    const fd = openSync(file, 'w');
    try {
      writeSync(fd, bytes);
      fsyncSync(fd);
    } finally {
      closeSync(fd);
    }
  });
  return { stampMs, saveMs, textMs, fsyncMs, bytes: bytes.length, stored: store.storage.getItem('dovrelist').length };
}

for (let i = 0; i < WARMUP; i++) oneChange();
const runs = [];
for (let i = 0; i < RUNS; i++) runs.push(oneChange());
rmSync(folder, { recursive: true, force: true });

const median = (xs) => {
  const s = [...xs].sort((x, y) => x - y);
  return s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};
const fig = (xs) => `${median(xs).toFixed(1)} (min ${Math.min(...xs).toFixed(1)}, max ${Math.max(...xs).toFixed(1)})`;
const col = (k) => runs.map((r) => r[k]);
const stampSave = runs.map((r) => r.stampMs + r.saveMs);
const page = runs.map((r) => r.stampMs + r.saveMs + r.textMs);
const longest = runs.map((r) => Math.max(r.stampMs + r.saveMs, r.textMs));
const last = runs[runs.length - 1];

console.log(`data: ${data.assignments.length} assignments over ${data.classes.length} classes, ${Object.keys(data.progress).length} days of records, ${data.availability.exceptions.length} exceptions`);
console.log(`datafile_bytes=${last.bytes} (the data file); engine_storage_chars=${last.stored}`);
console.log(`datafile_stamp_median_ms=${fig(col('stampMs'))}`);
console.log(`datafile_save_median_ms=${fig(col('saveMs'))}  (JSON into the storage stand-in)`);
console.log(`datafile_stamp_save_median_ms=${fig(stampSave)}  (one task, after the paint)`);
console.log(`datafile_serialise_median_ms=${fig(col('textMs'))}  (one task, the write's)`);
console.log(`datafile_page_total_median_ms=${fig(page)}  (${RUNS} runs after ${WARMUP} warm-ups)`);
console.log(`datafile_longest_task_median_ms=${fig(longest)}`);
console.log(`datafile_write_fsync_median_ms=${fig(col('fsyncMs'))}  (node fs, the same bytes)`);
console.log(`datafile_page_vs_write_fsync=${(median(page) / median(col('fsyncMs'))).toFixed(2)}`);
