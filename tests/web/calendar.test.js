// The calendar export's memory: the page never learns whether a file was
// saved, so nothing may depend on it.
process.env.TZ = 'Asia/Shanghai';

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { planCalendar } from '../../resources/exports.js';
import { makePlan } from '../../resources/planner.js';
import { recordProgress } from '../../resources/model.js';
import { backupText, parseBackup } from '../../resources/store.js';
import { dataWith, every } from './fixtures.js';

const events = (text) =>
  text
    .replace(/\r\n[ \t]/g, '')
    .split('BEGIN:VEVENT')
    .slice(1)
    .map((e) => Object.fromEntries(e.split('\r\n').filter((l) => /^[A-Z;=-]+:/.test(l)).map((l) => [l.slice(0, l.indexOf(':')), l.slice(l.indexOf(':') + 1)])));
const at = (day, hour) => new Date(`${day}T${String(hour).padStart(2, '0')}:00:00Z`);

test('ics: a cancelled save loses no cancellation, and SEQUENCE never goes down', () => {
  const data = dataWith({
    weekly: every(60),
    assignments: [
      { title: '作文', due: '2025-03-07', submissions: 6, minutesEach: 10 },
      { title: '听写', due: '2025-03-07', submissions: 12, minutesEach: 10 },
    ],
  });
  const exportOn = (day, hour) => {
    const out = planCalendar(makePlan(data, day), data, at(day, hour));
    // Saved or not (Esc in the save panel), the page keeps what it exported.
    data.calendar = out.calendar;
    return events(out.text);
  };
  const first = exportOn('2025-03-03', 1);
  const monday = first.find((e) => e.SUMMARY.startsWith('批改「作文」')).UID;
  recordProgress(data, 'a1', 6, '2025-03-03');
  const second = exportOn('2025-03-03', 2);
  assert.deepEqual(second.filter((e) => e.STATUS === 'CANCELLED').map((e) => e.UID), [monday]);
  // This file was never saved: the next one must cancel the session again.
  const third = exportOn('2025-03-03', 2);
  assert.deepEqual(third.filter((e) => e.STATUS === 'CANCELLED').map((e) => e.UID), [monday]);
  const seq = (list) => {
    const values = new Set(list.map((e) => Number(e.SEQUENCE)));
    assert.equal(values.size, 1);
    return [...values][0];
  };
  assert.ok(seq(first) < seq(second) && seq(second) < seq(third), 'SEQUENCE went down or stood still');

  // A backup from before the first export comes back: its memory is older,
  // yet the next file still outranks everything sent so far.
  const old = parseBackup(backupText({ ...data, calendar: { sequence: 0, sent: {} } })).data;
  const afterImport = events(planCalendar(makePlan(old, '2025-03-03'), old, at('2025-03-03', 3)).text);
  assert.ok(seq(afterImport) > seq(third));
  // Stored values ahead of the clock (up to what a backup may hold) still rise.
  const ahead = parseBackup(backupText({ ...data, calendar: { ...data.calendar, sequence: 999999990 } })).data;
  assert.equal(seq(events(planCalendar(makePlan(ahead, '2025-03-03'), ahead, at('2025-03-03', 3)).text)), 999999991);

  // The memory survives a backup, so a reload keeps cancelling.
  const back = parseBackup(backupText(data)).data;
  const fourth = events(planCalendar(makePlan(back, '2025-03-03'), back, at('2025-03-03', 4)).text);
  assert.deepEqual(fourth.filter((e) => e.STATUS === 'CANCELLED').map((e) => e.UID), [monday]);
  // Once its day is past, the cancelled session is history and forgotten.
  const tuesday = exportOn('2025-03-04', 1);
  assert.ok(!tuesday.some((e) => e.UID === monday));
  assert.ok(!(monday in data.calendar.sent));
});
