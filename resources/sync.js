// Keeping in step with the teacher's other computers through a folder their
// own sync engine carries. Each computer writes only its own file; every
// file there (its own conflict copies included) is one more state merged in.
// Nothing read from the folder can replace or lose local data: a file that
// cannot be read, or is only half there, is skipped for this round.

import { SCHEMA_VERSION, parseBackup } from './store.js';
import { mergeData } from './merge.js';

// How often the folder is looked at when nothing reports a change.
export const SYNC_EVERY_MS = 60_000;

const versionOf = (obj) => (obj && typeof obj === 'object' ? obj.version : undefined);

// `data(cmd, members)` is the data channel; `current()` the data as it is;
// `take(merged)` shows merged data in place of it; `onState()` follows
// `state`. `computer` is { id, name } of this computer.
export class SyncRound {
  constructor({ data, current, take, onState = () => {}, computer }) {
    Object.assign(this, { data, current, take, onState, computer });
    // What each file was when last merged: files that have not changed since
    // are not read again.
    this.merged = new Map();
    this.running = null;
    this.again = false;
    this.state = { trouble: null, computers: [] };
  }

  // One look at the folder; a look asked for while one runs follows it.
  run() {
    if (this.running) {
      this.again = true;
      return this.running;
    }
    this.running = this.look().finally(() => {
      this.running = null;
      if (this.again) {
        this.again = false;
        this.run();
      }
    });
    return this.running;
  }

  async look() {
    const list = await this.data('syncList');
    if (!list || list.ok !== true || !Array.isArray(list.files)) {
      this.set({ trouble: list && list.unset ? null : list && list.missing ? { kind: 'missing' } : { kind: 'error', text: (list && list.error) || '' } });
      return false;
    }
    const computers = new Map(this.state.computers.map((c) => [c.id, c]));
    let trouble = null;
    let changed = false;
    for (const f of list.files) {
      if (!f || typeof f.name !== 'string' || typeof f.computer !== 'string') continue;
      if (f.pending) {
        trouble ??= { kind: 'pending' };
        continue;
      }
      const mark = `${f.size}/${f.modified}`;
      // This computer's own file holds nothing new once it has been read.
      const own = f.name === `${this.computer.id}.dovrelist.json`;
      if (this.merged.get(f.name) === mark || (own && this.merged.has(f.name))) continue;
      const read = await this.data('syncRead', { name: f.name });
      if (!read || read.ok !== true || typeof read.text !== 'string') {
        trouble ??= { kind: 'unreadable' };
        continue;
      }
      let obj = null;
      try {
        obj = JSON.parse(read.text);
      } catch {
        // Half written, or still arriving: next round.
        trouble ??= { kind: 'unreadable' };
        continue;
      }
      const name = obj && obj.computer && typeof obj.computer.name === 'string' ? obj.computer.name.slice(0, 40) : '';
      if (typeof versionOf(obj) === 'number' && versionOf(obj) > SCHEMA_VERSION) {
        trouble = { kind: 'newer', name: name || f.computer };
        continue;
      }
      const parsed = parseBackup(read.text);
      if (!parsed.ok) {
        trouble ??= { kind: 'unreadable' };
        continue;
      }
      this.merged.set(f.name, mark);
      if (f.computer !== this.computer.id)
        computers.set(f.computer, { id: f.computer, name: name || computers.get(f.computer)?.name || f.computer, at: f.modified });
      const now = this.current();
      const merged = mergeData(now, parsed.data);
      if (JSON.stringify(merged.stamps) !== JSON.stringify(now.stamps)) {
        this.take(merged);
        changed = true;
      }
    }
    this.set({ trouble, computers: [...computers.values()].sort((x, y) => (x.id < y.id ? -1 : 1)) });
    return changed;
  }

  set(state) {
    this.state = { ...this.state, ...state };
    this.onState(this.state);
  }
}
