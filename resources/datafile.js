// The data file the app keeps beside the engine's storage: which of the two
// to start from, and the writes after changes. The native side owns the
// file, its copies and their names; the page sends text and listed names
// only. Without the data channel (a plain browser) none of this runs.

import { SCHEMA_VERSION, parseBackup } from './store.js';
import { mergeData } from './merge.js';

// At most one write a second while changes come, so the last change is in
// the file within two seconds of being made.
export const WRITE_GAP_MS = 1000;

// Runs fn a little after the frame showing the change has been painted (or
// soon, when the window is hidden and frames are not drawn): a quick run of
// changes (+1, +1, +1) then shares one save, and the save keeps off the
// frames that show them.
export const SETTLE_MS = 50;
export function afterPaint(fn) {
  let done = false;
  const run = () => {
    if (done) return;
    done = true;
    fn();
  };
  if (typeof requestAnimationFrame === 'function') requestAnimationFrame(() => setTimeout(run, SETTLE_MS));
  setTimeout(run, 250);
}

// Coalesces the writes: changed() after every change; text() is called at
// write time, so a write carries every change made before it. A failed
// write is tried again at the next change. Nothing is written before
// open(), once what the file holds has been read: a change made at the
// start would otherwise go over a year the page has not taken in yet. While
// blocked (a file that could not be read and was not set aside) nothing is
// written.
export class FileWriter {
  // The timer is called as the writer's own member: the browser's setTimeout
  // throws when called on anything but the window, so it is wrapped.
  constructor({ send, text, onResult = () => {}, after = afterPaint, setTimer = (fn, ms) => setTimeout(fn, ms), clock = Date.now }) {
    Object.assign(this, { send, text, onResult, after, setTimer, clock });
    this.dirty = false;
    this.busy = false;
    this.planned = false;
    this.opened = false;
    this.blocked = false;
    this.lastStart = -Infinity;
    this.waiters = [];
  }

  changed() {
    this.dirty = true;
    this.plan();
  }

  // What changed meanwhile is written now, unless `blocked`.
  open(blocked = false) {
    this.opened = true;
    this.blocked = blocked;
    this.plan();
  }

  plan() {
    if (!this.opened || this.planned || this.busy || this.blocked || !this.dirty) return;
    this.planned = true;
    const wait = this.lastStart + WRITE_GAP_MS - this.clock();
    if (wait > 0) this.setTimer(() => this.after(() => this.run()), wait);
    else this.after(() => this.run());
  }

  async run() {
    this.planned = false;
    if (!this.opened || this.busy || this.blocked || !this.dirty) return this.settle(!this.dirty);
    this.busy = true;
    this.lastStart = this.clock();
    let ok = false;
    try {
      // The text carries every change so far, including those that making
      // it reports (the page stores its pending change first): none of
      // them asks for another write.
      const text = this.text();
      this.dirty = false;
      // At a year's size making the text and handing it over each take
      // the page's thread for a while: a click between them is answered.
      await new Promise((resume) => this.setTimer(resume, 0));
      const reply = await this.send(text);
      ok = !!reply && reply.ok === true;
    } catch {
      ok = false;
    }
    this.busy = false;
    if (!ok) this.dirty = true;
    this.onResult(ok);
    if (ok) this.plan();
    this.settle(ok && !this.dirty);
  }

  // Resolves once every change made so far is in the file (true) or a write
  // of it failed (false).
  flush() {
    if (!this.dirty && !this.busy) return Promise.resolve(!this.blocked);
    if (this.blocked || !this.opened) return Promise.resolve(false);
    const done = new Promise((resolve) => this.waiters.push(resolve));
    if (!this.busy) {
      this.planned = false;
      this.run();
    }
    return done;
  }

  settle(ok) {
    if (this.busy || (ok && this.dirty)) return;
    for (const resolve of this.waiters.splice(0)) resolve(ok);
  }
}

// Whether the engine's storage held nothing a start keeps: the file's data
// is then taken whole.
export const engineLost = (loaded) => loaded.empty || loaded.notices.some((n) => ['unreadable', 'partial', 'storage'].includes(n.kind));

// Which data to start from: `loaded` is the store's load() of the engine's
// storage, `data(cmd, members)` the data channel. Resolves with
//   { from: 'engine' | 'file' | 'merged', data?, asideFile: bool, current?: true, blocked?: text }
// `data` is the file's when the engine's storage had nothing readable or
// nothing stamped, else the two merged; `current` when the file holds what
// the engine's storage does and needs no write. A file that cannot be read is set aside
// natively before anything can be written over it; where that fails, or the
// file could not even be read, the file is left alone (blocked).
export async function startData(loaded, data) {
  const reply = await data('read');
  if (!reply || reply.ok !== true)
    return { from: 'engine', asideFile: false, blocked: (reply && reply.error) || '无法读取数据文件。' };
  let asideFile = typeof reply.setAside === 'string';
  if (typeof reply.text !== 'string') return { from: 'engine', asideFile };
  const parsed = parseBackup(reply.text);
  if (!parsed.ok) {
    const aside = await data('setAside');
    if (!aside || aside.ok !== true) return { from: 'engine', asideFile, blocked: (aside && aside.error) || '无法另存数据文件。' };
    return { from: 'engine', asideFile: true };
  }
  // A file of an older version is kept as it was before it is ever replaced.
  if (parsed.version !== SCHEMA_VERSION) {
    const kept = await data('keep', { reason: 'upgrade' });
    if (!kept || kept.ok !== true) return { from: 'engine', asideFile, blocked: (kept && kept.error) || '无法保存升级前的副本。' };
  }
  const [file, engine] = [parsed.data.stamps.last, loaded.data.stamps.last];
  if (engineLost(loaded) || (file > engine && !engine)) return { from: 'file', data: parsed.data, asideFile };
  if (file === engine) return { from: 'engine', asideFile, current: true };
  // Both stamped: whatever either holds that the other lacks is kept.
  if (file && engine) return { from: 'merged', data: mergeData(loaded.data, parsed.data), asideFile };
  return { from: 'engine', asideFile };
}
