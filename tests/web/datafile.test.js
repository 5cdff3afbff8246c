// The data file beside the engine's storage: which one a start takes, the
// coalesced writes, and the stamps that decide which holds the later change.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { Store, STORAGE_KEY, SCHEMA_VERSION, backupText, normalize } from '../../resources/store.js';
import { FileWriter, WRITE_GAP_MS, startData } from '../../resources/datafile.js';
import { Clock, Stamper } from '../../resources/stamps.js';
import { deleteKept, recordProgress, saveClass } from '../../resources/model.js';
import { MemoryStorage, dataWith } from './fixtures.js';

const TODAY = '2025-03-03';

function stamped(data, wall, node = 'aaaa1111') {
  const stamper = new Stamper(new Clock(node, () => wall));
  stamper.stamp(data, TODAY);
  return data;
}

// A data channel that answers from a file held in memory.
function folder(fileText, { fail = {} } = {}) {
  const f = { text: fileText, asideText: null, kept: [], sent: [] };
  f.data = async (cmd, members = {}) => {
    f.sent.push(cmd);
    if (fail[cmd]) return { ok: false, error: fail[cmd] };
    if (cmd === 'read') return { ok: true, text: f.text };
    if (cmd === 'setAside') {
      [f.asideText, f.text] = [f.text, null];
      return { ok: true, name: 'dovrelist.aside-1.json' };
    }
    if (cmd === 'keep') {
      f.kept.push([members.reason, f.text]);
      return { ok: true };
    }
    return { ok: false, error: 'unknown cmd' };
  };
  return f;
}

const engineWith = (data) => new Store(new MemoryStorage(data ? { [STORAGE_KEY]: JSON.stringify(data) } : {})).load();

test('a start takes the file or the engine storage, whichever holds the later change', async () => {
  const older = stamped(dataWith({ classes: [{ id: 'c1', name: '旧班', color: '#4f7cac' }] }), 1000);
  const newer = stamped(dataWith({ classes: [{ id: 'c1', name: '新班', color: '#4f7cac' }] }), 2000);

  // The engine storage only: nothing to read, the file is written from it.
  let r = await startData(engineWith(newer), folder(null).data);
  assert.deepEqual(r, { from: 'engine', asideFile: false });
  // The file only: the data comes back from it.
  r = await startData(engineWith(null), folder(backupText(older)).data);
  assert.equal(r.from, 'file');
  assert.deepEqual(r.data, older);
  // Both, each way newer: the later change is shown; equal stamps keep the
  // engine's working copy.
  assert.equal((await startData(engineWith(older), folder(backupText(newer)).data)).data.classes[0].name, '新班');
  assert.equal((await startData(engineWith(newer), folder(backupText(older)).data)).data.classes[0].name, '新班');
  assert.deepEqual(await startData(engineWith(newer), folder(backupText(newer)).data), { from: 'engine', asideFile: false, current: true });

  // Unreadable engine storage and a good file: the file, with no question.
  const storage = new MemoryStorage({ [STORAGE_KEY]: '{"version": 5, "classes": [' });
  const broken = new Store(storage).load();
  assert.equal(broken.notices[0].kind, 'unreadable');
  r = await startData(broken, folder(backupText(older)).data);
  assert.equal(r.from, 'file');
  assert.equal(r.data.classes[0].name, '旧班');

  // A damaged file, or one of a newer version, is set aside before anything
  // can replace it; the engine storage carries on.
  for (const text of ['{"app": "Dovrelist", "version": 5, "classes": [', JSON.stringify({ ...newer, version: SCHEMA_VERSION + 1 })]) {
    const f = folder(text);
    assert.deepEqual(await startData(engineWith(older), f.data), { from: 'engine', asideFile: true });
    assert.equal(f.asideText, text);
  }
  // Where it cannot be set aside, or not even read, it is left alone.
  const stuck = folder('not json', { fail: { setAside: 'Permission denied' } });
  assert.deepEqual(await startData(engineWith(older), stuck.data), { from: 'engine', asideFile: false, blocked: 'Permission denied' });
  assert.equal(stuck.text, 'not json');
  assert.equal((await startData(engineWith(older), folder('', { fail: { read: 'EIO' } }).data)).blocked, 'EIO');

  // A file of the version before is copied before it is taken or replaced.
  const v4 = { ...older, version: 4 };
  delete v4.stamps;
  const v4Text = backupText(v4);
  const f = folder(v4Text);
  r = await startData(engineWith(null), f.data);
  assert.deepEqual(f.kept, [['upgrade', v4Text]]);
  assert.equal(r.from, 'file');
  assert.equal(r.data.version, SCHEMA_VERSION);
  const cannot = folder(backupText(v4), { fail: { keep: 'No space left on device' } });
  assert.equal((await startData(engineWith(null), cannot.data)).blocked, 'No space left on device');
});

test('data of version 4 keeps every field in version 5', () => {
  const v4 = {
    version: 4,
    classes: [{ id: 'c1', name: '三年二班', color: '#5a9e6f', size: 40 }],
    assignments: [
      { id: 'a1', title: '作文', kind: '作文', classId: 'c1', collected: '2025-03-01', due: '2025-03-07', submissions: 40, minutesEach: 8, graded: 12, templateId: 't1', week: '2025-02-24' },
    ],
    availability: { weekly: [60, 61, 62, 63, 64, 180, 30], exceptions: [{ date: '2025-03-05', minutes: 120, note: '开会' }] },
    progress: { '2025-03-02': { a1: { n: 12, min: 90, tn: 2, tmin: 15 } } },
    templates: [{ id: 't1', title: '周记', kind: '周记', classIds: ['c1'], weekday: 0, dueAfter: 7, minutesEach: 3, lastWeek: '2025-02-24' }],
    calendar: { sequence: 4, sent: { 'u@dovrelist': { start: '20250303T110000Z', end: '20250303T113000Z', summary: 's', allDay: false } } },
    settings: { gradeOnReturnDay: true, sessionStart: '20:15', reminder: 15 },
    deleted: [{ id: 'd1', kind: 'class', date: '2025-03-02', undo: { cls: { id: 'c2', name: '二班', color: '#4f7cac', size: null }, index: 1, assignmentIds: [], templates: [] } }],
  };
  const { data, problems } = normalize(structuredClone(v4));
  assert.deepEqual(problems, []);
  const { stamps, ...rest } = data;
  assert.deepEqual(rest, { ...v4, version: SCHEMA_VERSION });
  // Nothing was stamped before: the first stamping after the load covers every part.
  assert.equal(stamps.last, '');
  const stamper = new Stamper(new Clock('aaaa1111', () => 5000));
  stamper.take(data, TODAY);
  stamper.stamp(data, TODAY);
  assert.deepEqual(Object.keys(data.stamps.of).sort(), ['a/a1', 'c/c1', 'cal', 'd/d1', 's', 't/t1', 'w', 'x/2025-03-05']);
  assert.deepEqual(data.stamps.tally['g/a1'].aaaa1111.v, [12]);
});

test('stamps follow each field, each deletion and each computer’s share of the grading', () => {
  let wall = 10_000;
  const stamper = new Stamper(new Clock('aaaa1111', () => wall));
  const data = dataWith({ assignments: [{ due: '2025-03-07', submissions: 10, minutesEach: 2 }] });
  stamper.stamp(data, TODAY);
  const first = data.stamps.last;
  assert.equal(typeof data.stamps.of['a/a1'], 'string');
  assert.equal(stamper.stamp(data, TODAY), false, 'nothing changed, nothing stamped');

  // One field changed: only it gets the new stamp. The wall clock set back
  // an hour still stamps later than everything before.
  wall -= 3_600_000;
  data.assignments[0].title = '新标题';
  stamper.stamp(data, TODAY);
  const per = data.stamps.of['a/a1'];
  assert.ok(per.title > first && per.due === first, JSON.stringify(per));
  assert.equal(data.stamps.last, per.title);

  // Grading counts as this computer's share, added and taken back.
  recordProgress(data, 'a1', 3, TODAY);
  stamper.stamp(data, TODAY);
  recordProgress(data, 'a1', -1, TODAY);
  stamper.stamp(data, TODAY);
  assert.deepEqual(data.stamps.tally[`p/${TODAY}/a1`].aaaa1111.v, [2, 4, 0, 0]);
  assert.deepEqual(data.stamps.tally['g/a1'].aaaa1111.v, [2]);

  // A deletion leaves a mark; what another computer stored is taken as it
  // is when the data is loaded again, and the stamps carry on from it.
  saveClass(data, { name: '四班', color: '#4f7cac', size: null });
  deleteKept(data, 'assignment', 'a1', TODAY);
  stamper.stamp(data, TODAY);
  assert.ok(data.stamps.gone['a/a1'] > per.title);
  assert.equal(data.stamps.of['a/a1'], undefined);
  const again = normalize(JSON.parse(JSON.stringify(data))).data;
  assert.deepEqual(again.stamps, data.stamps);
  const other = new Stamper(new Clock('bbbb2222', () => 0));
  other.take(again, TODAY);
  assert.equal(other.stamp(again, TODAY), false);
  again.settings.reminder = 5;
  other.stamp(again, TODAY);
  assert.ok(again.stamps.of.s.reminder > data.stamps.last && again.stamps.of.s.reminder.endsWith('-bbbb2222'));
  // Records past the horizon are let go by their own date, on every computer alike.
  other.stamp(again, '2025-07-10');
  assert.equal(again.stamps.tally[`p/${TODAY}/a1`], undefined);
});

test('nothing is written before the start has read the file; then writes come at most once a second, carry the last change within two seconds and retry on the next change', async () => {
  let now = 0;
  const timers = [];
  const writes = [];
  let failing = false;
  let version = 0;
  const writer = new FileWriter({
    send: async (text) => {
      writes.push([now, text]);
      return { ok: !failing };
    },
    text: () => `v${version}`,
    after: (fn) => fn(),
    setTimer: (fn, ms) => timers.push([now + ms, fn]),
    clock: () => now,
  });
  const tick = async (until) => {
    for (;;) {
      timers.sort((a, b) => a[0] - b[0]);
      if (!timers.length || timers[0][0] > until) break;
      const [at, fn] = timers.shift();
      now = at;
      fn();
      // Whatever the timer set going runs to its next timer.
      await new Promise((resume) => setImmediate(resume));
    }
    now = until;
  };
  // Nothing goes over the file before the start has read it; what changed
  // meanwhile is written then.
  writer.changed();
  await tick(0);
  assert.equal(await writer.flush(), false);
  assert.deepEqual(writes, []);
  writer.open();
  await tick(0);
  assert.deepEqual(writes, [[0, 'v0']]);
  writes.length = 0;
  // A change every 100 ms for three seconds.
  for (let t = 0; t <= 3000; t += 100) {
    await tick(t);
    version = t;
    writer.changed();
    await null;
  }
  await tick(6000);
  const times = writes.map(([t]) => t);
  for (let i = 1; i < times.length; i++) assert.ok(times[i] - times[i - 1] >= WRITE_GAP_MS, String(times));
  assert.equal(writes.at(-1)[1], 'v3000');
  assert.ok(writes.at(-1)[0] <= 3000 + 2000);

  // A failed write waits for the next change, then carries it too.
  failing = true;
  version = 'x';
  writer.changed();
  await tick(10_000);
  const afterFailure = writes.length;
  await tick(20_000);
  assert.equal(writes.length, afterFailure, 'no retry without a change');
  failing = false;
  version = 'y';
  writer.changed();
  await tick(30_000);
  assert.equal(writes.at(-1)[1], 'vy');
  // flush() resolves once what is changed is in the file; blocked, nothing is written.
  version = 'z';
  writer.changed();
  const flushed = writer.flush();
  await tick(31_000);
  assert.equal(await flushed, true);
  assert.equal(writes.at(-1)[1], 'vz');
  // A change made while the text waits to be handed over is in the next write.
  await tick(32_000);
  version = 'w1';
  writer.changed();
  version = 'w2';
  writer.changed();
  await tick(40_000);
  assert.deepEqual(writes.slice(-2).map(([, text]) => text), ['vw1', 'vw2']);
  writer.blocked = true;
  writer.changed();
  assert.equal(await writer.flush(), false);
  await tick(50_000);
  assert.equal(writes.at(-1)[1], 'vw2');
});
