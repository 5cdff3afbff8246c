// Stored data: migration, unreadable data kept aside, backups checked whole.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { Store, STORAGE_KEY, ASIDE_PREFIX, SCHEMA_VERSION, backupText, parseBackup, emptyData } from '../../resources/store.js';
import { emptyStamps } from '../../resources/stamps.js';
import { saveAssignment, deleteKept, restoreKept, pruneDeleted } from '../../resources/model.js';
import { MemoryStorage, dataWith, every } from './fixtures.js';

const NOW = new Date(Date.UTC(2025, 2, 3, 9, 0, 0));

const V1 = {
  version: 1,
  classes: [{ id: 'c1', name: '三年二班', colour: '#5A9E6F' }],
  homework: [
    { id: 'h1', title: '作文', classId: 'c1', collectedOn: '2025-03-01', returnOn: '2025-03-07', count: 40, minutesPer: 8, graded: 12 },
  ],
  weekly: { 0: 30, 1: 60, 2: 61, 3: 62, 4: 63, 5: 64, 6: 180 },
  exceptions: { '2025-03-08': 0, '2025-03-05': 120 },
};

test('data of the previous version is migrated, and the original kept', () => {
  const raw = JSON.stringify(V1);
  const storage = new MemoryStorage({ [STORAGE_KEY]: raw });
  const store = new Store(storage);
  const { data, notices } = store.load(NOW);

  assert.equal(data.version, SCHEMA_VERSION);
  assert.deepEqual(data.classes, [{ id: 'c1', name: '三年二班', color: '#5a9e6f', size: null }]);
  assert.deepEqual(data.assignments, [
    { id: 'h1', title: '作文', kind: '', classId: 'c1', collected: '2025-03-01', due: '2025-03-07', submissions: 40, minutesEach: 8, graded: 12 },
  ]);
  // Sunday was first in version 1; Monday is first now.
  assert.deepEqual(data.availability.weekly, [60, 61, 62, 63, 64, 180, 30]);
  assert.deepEqual(data.availability.exceptions, [
    { date: '2025-03-05', minutes: 120, note: '' },
    { date: '2025-03-08', minutes: 0, note: '' },
  ]);
  assert.equal(notices[0].kind, 'migrated');
  assert.equal(storage.getItem(notices[0].asideKey), raw);
  assert.deepEqual(JSON.parse(storage.getItem(STORAGE_KEY)), data);
  // A second start reads version 2 and keeps nothing more aside.
  assert.deepEqual(new Store(storage).load(NOW).notices, []);
  assert.equal(store.listAside().length, 1);
});

test('unreadable data is kept aside, never overwritten, and reported', () => {
  for (const raw of ['{"version": 2, "classes": [', '"just text"', JSON.stringify({ version: 9, classes: [] })]) {
    const storage = new MemoryStorage({ [STORAGE_KEY]: raw });
    const store = new Store(storage);
    const { data, notices } = store.load(NOW);
    assert.equal(notices[0].kind, 'unreadable', raw);
    assert.equal(data.assignments.length, 0);
    assert.equal(store.readAside(notices[0].asideKey), raw);
    assert.deepEqual(
      store.listAside().map((a) => a.reason),
      ['unreadable'],
    );
    // Working on afterwards leaves the kept copy as it was.
    store.save(dataWith({ assignments: [{ due: '2025-03-05', submissions: 1, minutesEach: 1 }] }));
    assert.equal(store.readAside(notices[0].asideKey), raw);
  }
});

test('partly damaged data keeps what is readable and the whole original', () => {
  const good = dataWith({ weekly: every(45), assignments: [{ due: '2025-03-05', submissions: 3, minutesEach: 5 }] });
  const damaged = structuredClone(good);
  damaged.assignments.push({ id: 'x', title: '坏', collected: '2025-13-01', due: '2025-03-05', submissions: 1, minutesEach: 1, graded: 0 });
  const raw = JSON.stringify(damaged);
  const storage = new MemoryStorage({ [STORAGE_KEY]: raw });
  const { data, notices } = new Store(storage).load(NOW);
  assert.equal(notices[0].kind, 'partial');
  assert.match(notices[0].problems.join(), /作业「坏」：日期无效/);
  assert.deepEqual(data.assignments, good.assignments);
  assert.equal(storage.getItem(notices[0].asideKey), raw);
});

test('when the copy aside cannot be made, the stored data is not touched', () => {
  const raw = '{broken';
  const storage = new MemoryStorage({ [STORAGE_KEY]: raw }, { failFor: (k) => k.startsWith(ASIDE_PREFIX) });
  const store = new Store(storage);
  const { notices } = store.load(NOW);
  assert.equal(notices[0].asideKey, null);
  assert.equal(store.save(dataWith()).ok, false);
  assert.equal(storage.getItem(STORAGE_KEY), raw);
});

test('an invalid backup is rejected and replaces nothing', () => {
  const current = dataWith({ assignments: [{ due: '2025-03-05', submissions: 3, minutesEach: 5 }] });
  const storage = new MemoryStorage();
  const store = new Store(storage);
  store.save(current);
  const before = new Map(storage.map);

  const wrongGraded = JSON.parse(backupText(current, NOW));
  wrongGraded.assignments[0].graded = 9; // more than submitted
  const unknownClass = JSON.parse(backupText(current, NOW));
  unknownClass.assignments[0].classId = 'nope';
  const cases = ['', 'not json', '[]', JSON.stringify({ version: 3 }), JSON.stringify(wrongGraded), JSON.stringify(unknownClass)];
  for (const text of cases) {
    const r = store.importBackup(text, current, NOW);
    assert.equal(r.ok, false, text);
    assert.ok(r.problems.length > 0);
    assert.deepEqual(storage.map, before, `storage changed by ${text}`);
  }
});

test('an import that cannot first keep the current data aside changes nothing', () => {
  const current = dataWith({ assignments: [{ due: '2025-03-05', submissions: 3, minutesEach: 5 }] });
  const storage = new MemoryStorage({}, { failFor: (k) => k.startsWith(ASIDE_PREFIX) });
  const store = new Store(storage);
  store.save(current);
  const before = storage.getItem(STORAGE_KEY);
  const r = store.importBackup(backupText(dataWith(), NOW), current, NOW);
  assert.equal(r.ok, false);
  assert.equal(storage.getItem(STORAGE_KEY), before);
});

test('a valid backup round-trips and the replaced data is kept aside', () => {
  const current = dataWith({ assignments: [{ due: '2025-03-05', submissions: 3, minutesEach: 5 }] });
  const incoming = dataWith({
    weekly: [10, 20, 30, 40, 50, 60, 70],
    exceptions: [{ date: '2025-04-01', minutes: 0, note: '春游' }],
    assignments: [{ title: '测验, "二"', due: '2025-04-03', submissions: 31, minutesEach: 2.5, graded: 4 }],
    settings: { gradeOnReturnDay: true, sessionStart: '07:45' },
  });
  incoming.progress = { '2025-03-02': { a1: { n: 4, min: 10 } }, '2025-03-01': { gone: { n: 2, min: 7, tn: 2, tmin: 7 } } };
  incoming.templates = [{ id: 't1', title: '周记', kind: '周记', classIds: ['c1'], weekday: 0, dueAfter: 7, minutesEach: 3, lastWeek: '2025-03-03' }];
  incoming.calendar = { sequence: 2, sent: { 'u@dovrelist': { start: '20250303T110000Z', end: '20250303T113000Z', summary: 's', allDay: false } } };
  incoming.settings.reminder = 15;
  assert.deepEqual(parseBackup(backupText(incoming, NOW)).data, incoming);
  assert.equal(parseBackup(JSON.stringify(V1)).ok, true);

  const storage = new MemoryStorage();
  const store = new Store(storage);
  store.save(current);
  const r = store.importBackup('\uFEFF' + backupText(incoming, NOW), current, NOW);
  assert.equal(r.ok, true);
  assert.deepEqual(JSON.parse(storage.getItem(STORAGE_KEY)), incoming);
  assert.deepEqual(JSON.parse(store.readAside(r.asideKey)), current);
});

// What the previous version stored: progress as a bare count per day.
const V2 = {
  version: 2,
  classes: [{ id: 'c1', name: '三年二班', color: '#4f7cac' }],
  assignments: [{ id: 'a1', title: '作文', classId: 'c1', collected: '2025-03-01', due: '2025-03-07', submissions: 40, minutesEach: 8, graded: 12 }],
  availability: { weekly: [60, 60, 60, 60, 60, 180, 120], exceptions: [] },
  progress: { '2025-03-03': { a1: 5 }, '2025-03-02': { a1: 7 } },
  settings: { gradeOnReturnDay: false, sessionStart: '19:00' },
};

test('data and backups of the previous version keep their day\'s minutes', () => {
  const raw = JSON.stringify(V2);
  const storage = new MemoryStorage({ [STORAGE_KEY]: raw });
  const store = new Store(storage);
  const { data, notices } = store.load(NOW);
  assert.equal(notices[0].kind, 'migrated');
  assert.equal(storage.getItem(notices[0].asideKey), raw);
  assert.equal(data.version, SCHEMA_VERSION);
  assert.deepEqual(data.progress, { '2025-03-03': { a1: { n: 5, min: 40 } }, '2025-03-02': { a1: { n: 7, min: 56 } } });
  assert.deepEqual([data.templates, data.calendar, data.settings.reminder], [[], { sequence: 0, sent: {} }, 0]);
  assert.deepEqual(new Store(storage).load(NOW).notices, []);
  // A backup written by the previous version imports.
  const r = new Store(new MemoryStorage()).importBackup(JSON.stringify({ app: 'Dovrelist', exportedAt: NOW.toISOString(), ...V2 }), data, NOW);
  assert.equal(r.ok, true);
  assert.deepEqual(r.data, data);
  // Records of this version are checked: a count without minutes is refused.
  const bad = { ...JSON.parse(backupText(data, NOW)), progress: { '2025-03-03': { a1: 5 } } };
  assert.equal(parseBackup(JSON.stringify(bad)).ok, false);
});

test('the largest record the forms allow reads back', () => {
  const data = dataWith({ assignments: [{ due: '2025-03-07', submissions: 100000, minutesEach: 600 }] });
  saveAssignment(data, { ...data.assignments[0], graded: 100000 }, 'a1', '2025-03-03');
  assert.equal(data.progress['2025-03-03'].a1.min, 6e7);
  const back = parseBackup(backupText(data, NOW));
  assert.deepEqual(back.problems, undefined);
  assert.deepEqual(back.data.progress, data.progress);
});

test('最近删除: restored from a backup exactly as the undo toast restores, kept 30 days', () => {
  const data = dataWith({
    classes: [
      { id: 'c1', name: '三年二班', color: '#4f7cac', size: 40 },
      { id: 'c2', name: '三年三班', color: '#5a9e6f' },
    ],
    assignments: [
      { title: '阅读理解', due: '2025-03-07', submissions: 40, minutesEach: 3, graded: 5 },
      { title: '阅读理解', classId: 'c2', due: '2025-03-07', submissions: 38, minutesEach: 3 },
      { title: '作文', due: '2025-03-10', submissions: 40, minutesEach: 8 },
    ],
  });
  data.templates = [
    { id: 't1', title: '周记', kind: '周记', classIds: ['c2', 'c1'], weekday: 0, dueAfter: 7, minutesEach: 3, lastWeek: '2025-03-03' },
    { id: 't2', title: '听写', kind: '', classIds: ['c1'], weekday: 2, dueAfter: 1, minutesEach: 1, lastWeek: null },
  ];
  const before = structuredClone(data);
  const a = deleteKept(data, 'assignment', 'a1', '2025-03-03');
  const t = deleteKept(data, 'template', 't1', '2025-03-04');
  const c = deleteKept(data, 'class', 'c1', '2025-03-05');
  assert.deepEqual(data.deleted.map((e) => e.kind), ['class', 'template', 'assignment']);
  assert.equal(data.assignments.find((x) => x.id === 'a3').classId, null);

  // Through a backup and an import, then back newest first.
  const store = new Store(new MemoryStorage());
  const r = store.importBackup(backupText(data, NOW), emptyData(), NOW);
  assert.equal(r.ok, true);
  assert.deepEqual(r.data, data);
  const back = store.load(NOW).data;
  assert.deepEqual(back, data);
  for (const id of [c, t, a]) assert.equal(restoreKept(back, id), true);
  assert.deepEqual(back, before);
  assert.equal(restoreKept(back, a), false);

  // Thirty days after its deletion an entry is still there; a day later it is gone.
  pruneDeleted(data, '2025-04-03');
  assert.deepEqual(data.deleted.map((e) => e.id), [c, t]);
  pruneDeleted(data, '2025-04-05');
  assert.deepEqual(data.deleted, []);

  // A damaged entry is no backup.
  const bad = JSON.parse(backupText(back, NOW));
  bad.deleted = [{ id: 'd1', kind: 'assignment', date: '2025-03-03', undo: { index: 0, assignment: { id: 'a9', title: 'x' } } }];
  assert.equal(parseBackup(JSON.stringify(bad)).ok, false);
});

test('data of version 3 gains an empty 最近删除, and the original is kept', () => {
  const v3 = { ...dataWith({ assignments: [{ due: '2025-03-07', submissions: 40, minutesEach: 8, graded: 3 }] }), version: 3 };
  delete v3.deleted;
  v3.progress = { '2025-03-02': { a1: { n: 3, min: 20, tn: 2, tmin: 15 } } };
  v3.templates = [{ id: 't1', title: '周记', kind: '周记', classIds: ['c1'], weekday: 0, dueAfter: 7, minutesEach: 3, lastWeek: '2025-03-03' }];
  v3.calendar = { sequence: 4, sent: { 'u@dovrelist': { start: '20250303T110000Z', end: '20250303T113000Z', summary: 's', allDay: false } } };
  const raw = JSON.stringify(v3);
  const storage = new MemoryStorage({ [STORAGE_KEY]: raw });
  const { data, notices } = new Store(storage).load(NOW);
  assert.deepEqual(notices.map((n) => [n.kind, n.from]), [['migrated', 3]]);
  assert.equal(storage.getItem(notices[0].asideKey), raw);
  assert.deepEqual(data, { ...v3, version: SCHEMA_VERSION, deleted: [], stamps: emptyStamps() });
  assert.deepEqual(new Store(storage).load(NOW).notices, []);
  assert.deepEqual(parseBackup(backupText(v3, NOW)).data, data);
});
