// Two and three computers editing apart, merged in any order and as often as
// they like: all end with the same data, no grading lost or counted twice,
// every field the last one written to it.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { emptyData, normalize } from '../../resources/store.js';
import { Clock, Stamper } from '../../resources/stamps.js';
import { mendMerged, mergeData } from '../../resources/merge.js';
import { addDays } from '../../resources/dates.js';
import * as model from '../../resources/model.js';
import { makePlan } from '../../resources/planner.js';
import { planCalendar } from '../../resources/exports.js';

const TODAY = '2026-12-09';

function computer(node, skew, seedData = emptyData()) {
  let wall = Date.UTC(2026, 11, 9, 8) + skew;
  const c = { node, data: structuredClone(seedData), tick: () => (wall += 1000) };
  c.stamper = new Stamper(new Clock(node, () => wall));
  c.stamper.take(c.data, TODAY);
  c.change = (fn) => {
    c.tick();
    fn(c.data);
    c.stamper.stamp(c.data, TODAY);
  };
  // Takes another computer's data in, as the page does.
  c.merge = (other) => {
    c.data = mergeData(c.data, structuredClone(other.data));
    c.stamper.take(c.data, TODAY);
    c.tick();
    mendMerged(c.data);
    c.stamper.stamp(c.data, TODAY);
  };
  return c;
}

function random(seed) {
  return () => {
    seed = (seed + 0x6d2b79f5) | 0;
    let t = Math.imul(seed ^ (seed >>> 15), 1 | seed);
    t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

const without = (d) => {
  const { stamps, ...rest } = d;
  return rest;
};

// One random edit on a computer, of every kind the teacher makes.
function edit(c, rnd, graded) {
  const pick = (list) => list[Math.floor(rnd() * list.length)];
  const d = c.data;
  const r = rnd();
  c.change((data) => {
    if (r < 0.1 || !data.classes.length) model.saveClass(data, { name: `班${Math.floor(rnd() * 1e6)}`, color: '#4f7cac', size: 30 });
    else if (r < 0.2) {
      const cls = pick(data.classes);
      model.saveClass(data, { name: `${cls.name}′`, color: cls.color, size: cls.size }, cls.id);
    } else if (r < 0.25) model.deleteKept(data, 'class', pick(data.classes).id, TODAY);
    else if (r < 0.45 || !data.assignments.length)
      model.saveAssignment(data, { title: `作业${Math.floor(rnd() * 1e6)}`, kind: '', classId: pick(data.classes).id, collected: TODAY, due: addDays(TODAY, 5), submissions: 40, minutesEach: 2, graded: 0 }, null, TODAY);
    else if (r < 0.55) {
      const a = pick(data.assignments);
      model.saveAssignment(data, { ...a, title: `${a.title}!`, graded: a.graded }, a.id, TODAY);
    } else if (r < 0.6) model.deleteKept(data, 'assignment', pick(data.assignments).id, TODAY);
    else if (r < 0.65 && data.deleted.length) model.restoreKept(data, pick(data.deleted).id);
    else if (r < 0.85) {
      const a = pick(data.assignments);
      const delta = rnd() < 0.75 ? 1 + Math.floor(rnd() * 3) : -1;
      const day = addDays(TODAY, -Math.floor(rnd() * 3));
      const change = model.recordProgress(data, a.id, delta, day);
      graded.set(a.id, (graded.get(a.id) ?? 0) + change);
    } else if (r < 0.92) model.setException(data, addDays(TODAY, Math.floor(rnd() * 5)), Math.floor(rnd() * 120), rnd() < 0.5 ? '' : '开会');
    else if (r < 0.96) data.availability.weekly[Math.floor(rnd() * 7)] = Math.floor(rnd() * 200);
    else data.settings.reminder = Math.floor(rnd() * 60);
  });
  return d;
}

test('any order of merging, repeated, leaves every computer with the same data and every copy graded counted once', () => {
  for (let run = 0; run < 60; run++) {
    const rnd = random(1000 + run);
    const n = run % 2 ? 3 : 2;
    // Clocks hours apart, one set back.
    const cs = Array.from({ length: n }, (_, i) => computer(`node${i}aaaa`, [0, 3 * 3_600_000, -86_400_000][i]));
    const graded = new Map();
    for (let step = 0; step < 40; step++) {
      const c = cs[Math.floor(rnd() * n)];
      if (rnd() < 0.2) c.merge(cs[Math.floor(rnd() * n)]);
      else edit(c, rnd, graded);
    }
    // Everyone hears from everyone, in random orders, until nothing changes.
    for (let round = 0; round < 4; round++)
      for (const c of [...cs].sort(() => rnd() - 0.5)) for (const o of [...cs].sort(() => rnd() - 0.5)) if (o !== c) c.merge(o);
    for (const c of cs.slice(1)) assert.deepEqual(c.data, cs[0].data, `run ${run}`);
    const data = cs[0].data;
    assert.deepEqual(normalize(JSON.parse(JSON.stringify(data))).problems, [], `run ${run}`);
    // Nothing graded lost or doubled: an assignment's count is every
    // computer's recorded changes added up (none of these reach the cap).
    for (const a of data.assignments) assert.equal(a.graded, Math.max(0, graded.get(a.id) ?? 0), `run ${run} ${a.id}`);
    const recorded = new Map();
    for (const day of Object.values(data.progress)) for (const [id, e] of Object.entries(day)) recorded.set(id, (recorded.get(id) ?? 0) + e.n);
    for (const a of data.assignments) assert.equal(recorded.get(a.id) ?? 0, a.graded, `run ${run}: records and 已批份数 agree`);
  }
});

test('merging is commutative, associative and idempotent', () => {
  for (let run = 0; run < 30; run++) {
    const rnd = random(5000 + run);
    const cs = [0, 1, 2].map((i) => computer(`node${i}bbbb`, i * 7_200_000));
    for (let step = 0; step < 30; step++) {
      const c = cs[Math.floor(rnd() * 3)];
      if (rnd() < 0.15) c.merge(cs[Math.floor(rnd() * 3)]);
      else edit(c, rnd, new Map());
    }
    const [a, b, c] = cs.map((x) => x.data);
    assert.deepEqual(mergeData(a, b), mergeData(b, a));
    assert.deepEqual(mergeData(mergeData(a, b), c), mergeData(a, mergeData(b, c)));
    const ab = mergeData(a, b);
    assert.deepEqual(mergeData(ab, b), ab);
    assert.deepEqual(mergeData(ab, ab), ab);
  }
});

test('the same field on two computers: the later change wins, whatever the clocks; different fields both stay', () => {
  const a = computer('aaaa0000', 0);
  a.change((d) => model.saveClass(d, { name: '三班', color: '#4f7cac', size: 30 }));
  // b's clock runs an hour behind a's, but b's rename comes after it saw a's.
  const b = computer('bbbb0000', -3_600_000, a.data);
  b.stamper.take(b.data, TODAY);
  const id = a.data.classes[0].id;
  a.change((d) => model.saveClass(d, { name: '三班', color: '#5a9e6f', size: 30 }, id));
  b.change((d) => model.saveClass(d, { name: '三(1)班', color: '#4f7cac', size: 30 }, id));
  a.merge(b);
  assert.deepEqual([a.data.classes[0].name, a.data.classes[0].color], ['三(1)班', '#5a9e6f']);
  b.change((d) => model.saveClass(d, { name: '三(2)班', color: '#5a9e6f', size: 30 }, id));
  a.merge(b);
  assert.equal(a.data.classes[0].name, '三(2)班');

  // A deletion later than every change removes the thing; a change after it brings it back.
  b.merge(a);
  a.change((d) => model.deleteKept(d, 'class', id, TODAY));
  b.merge(a);
  assert.equal(b.data.classes.length, 0);
  assert.equal(b.data.deleted[0].kind, 'class');
  b.change((d) => model.restoreKept(d, d.deleted[0].id));
  a.merge(b);
  assert.equal(a.data.classes[0].name, '三(2)班');
  assert.equal(a.data.deleted.length, 0);

  // Copies graded on both for one assignment and day add up, taken back from the total.
  a.change((d) => model.saveAssignment(d, { title: '作文', kind: '', classId: id, collected: TODAY, due: addDays(TODAY, 3), submissions: 10, minutesEach: 2, graded: 0 }, null, TODAY));
  b.merge(a);
  const aid = a.data.assignments[0].id;
  a.change((d) => model.recordProgress(d, aid, 4, TODAY));
  b.change((d) => model.recordProgress(d, aid, 3, TODAY));
  a.merge(b);
  b.merge(a);
  a.merge(b);
  assert.equal(a.data.assignments[0].graded, 7);
  assert.equal(a.data.progress[TODAY][aid].n, 7);
  b.change((d) => model.recordProgress(d, aid, -2, TODAY));
  a.merge(b);
  assert.equal(a.data.assignments[0].graded, 5);
  // More than there are copies is shown as all of them, never more.
  a.change((d) => model.recordProgress(d, aid, 5, TODAY));
  b.change((d) => model.recordProgress(d, aid, 5, TODAY));
  a.merge(b);
  assert.equal(a.data.assignments[0].graded, 10);

  // This week's copies of a weekly template, made on both, are one.
  const t = computer('cccc0000', 0, a.data);
  const u = computer('dddd0000', 0, a.data);
  const tmpl = { title: '周记', kind: '周记', classIds: [id], weekday: 0, dueAfter: 7, minutesEach: 3 };
  t.change((d) => model.saveTemplate(d, tmpl, null, '2026-12-06'));
  u.merge(t);
  t.change((d) => model.runTemplates(d, TODAY));
  u.change((d) => model.runTemplates(d, TODAY));
  t.merge(u);
  assert.equal(t.data.assignments.filter((x) => x.templateId).length, 1);
});

test('what either computer sent to the calendar is updated or cancelled by the other one\'s next export', () => {
  const a = computer('aaaa0000', 0);
  a.change((d) => {
    d.availability.weekly = [600, 600, 600, 600, 600, 600, 600];
    const cls = model.saveClass(d, { name: '三班', color: '#4f7cac', size: 30 });
    model.saveAssignment(d, { title: '作文', kind: '', classId: cls, collected: TODAY, due: addDays(TODAY, 4), submissions: 10, minutesEach: 6, graded: 0 }, null, TODAY);
  });
  const b = computer('bbbb0000', 0, a.data);
  b.stamper.take(b.data, TODAY);
  const exportOn = (c) => c.change((d) => (d.calendar = planCalendar(makePlan(d, TODAY), d, new Date(Date.UTC(2026, 11, 9, 9))).calendar));
  exportOn(a);
  const sentByA = Object.keys(a.data.calendar.sent);
  assert.ok(sentByA.length > 0);
  // B, which never exported, learns what A sent; then the work is done on
  // B and B's export cancels every session A had sent.
  b.merge(a);
  const aid = b.data.assignments[0].id;
  b.change((d) => model.recordProgress(d, aid, 10, TODAY));
  const { text } = planCalendar(makePlan(b.data, TODAY), b.data, new Date(Date.UTC(2026, 11, 9, 10)));
  for (const uid of sentByA.filter((u) => !u.startsWith('due-'))) assert.match(text, new RegExp(`UID:${uid}[\\s\\S]*?STATUS:CANCELLED`));
  // Two exports that crossed: each one's events are kept in the merged memory.
  exportOn(b);
  a.change((d) => (d.calendar.sent['extra@dovrelist'] = { start: '20261210T110000Z', end: '20261210T113000Z', summary: 'x', allDay: false }));
  a.merge(b);
  assert.ok(a.data.calendar.sent['extra@dovrelist']);
  assert.equal(a.data.calendar.sequence, Math.max(b.data.calendar.sequence, a.data.calendar.sequence));
});
