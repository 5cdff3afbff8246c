// The page's own date field: what it reads from typed text, and its calendar.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { addMonths, formatDateText, parseDateText } from '../../resources/dates.js';
import { monthGrid, moveDate } from '../../resources/datefield.js';

const TODAY = '2026-12-08';

test('typed dates: the usual ways of writing one, and nothing that is not a date', () => {
  for (const text of ['2026/12/09', '2026-12-09', '2026.12.9', '2026年12月9日', '20261209', ' 2026 / 12 / 9 ', '１２月９日', '12/9', '12-09', '明天'])
    assert.equal(parseDateText(text, TODAY), '2026-12-09', text);
  // The shown text reads back as its date, even after the day was edited and the weekday is stale.
  assert.equal(parseDateText(formatDateText('2027-02-28'), TODAY), '2027-02-28');
  assert.equal(parseDateText('2026/12/10 周三', TODAY), '2026-12-10');
  assert.equal(parseDateText('2026年12月10日（星期四）', TODAY), '2026-12-10');
  assert.equal(parseDateText('今天', TODAY), TODAY);
  assert.equal(parseDateText('前天', TODAY), '2026-12-06');
  for (const text of ['', '周三', '2026/02/29', '2026/13/01', '2026/12/32', '12/9/2026', 'abc', '2026/12', '1899/12/31', null])
    assert.equal(parseDateText(text, TODAY), null, String(text));
  assert.equal(parseDateText('12/9', undefined), null);
  assert.equal(formatDateText('2026-12-09'), '2026/12/09 周三');
  assert.equal(formatDateText('2026-12-13'), '2026/12/13 周日');
  assert.equal(formatDateText('nope'), '');
});

test('month grid: six Monday-first weeks around the month', () => {
  const dec = monthGrid(2026, 12); // 1 December 2026 is a Tuesday
  assert.equal(dec.length, 6);
  assert.ok(dec.every((w) => w.length === 7));
  assert.deepEqual(dec[0].slice(0, 2).map((c) => [c.day, c.inMonth]), [['2026-11-30', false], ['2026-12-01', true]]);
  assert.equal(dec.flat().filter((c) => c.inMonth).length, 31);
  assert.deepEqual(dec[5].at(-1), { day: '2027-01-10', date: 10, inMonth: false });
  // A month that starts on a Monday starts in the first cell; a Sunday the 1st ends the first row.
  assert.equal(monthGrid(2027, 2)[0][0].day, '2027-02-01');
  assert.deepEqual(monthGrid(2026, 3)[0].map((c) => c.inMonth), [false, false, false, false, false, false, true]);
});

test('calendar keys move by day, week and month, and stay within the allowed days', () => {
  assert.equal(moveDate('2026-12-31', 'ArrowRight'), '2027-01-01');
  assert.equal(moveDate('2026-12-01', 'ArrowUp'), '2026-11-24');
  assert.equal(moveDate('2026-12-09', 'Home'), '2026-12-07');
  assert.equal(moveDate('2026-12-09', 'End'), '2026-12-13');
  // A shorter month keeps the day as far as it goes.
  assert.equal(moveDate('2026-01-31', 'PageDown'), '2026-02-28');
  assert.equal(moveDate('2028-02-29', 'PageUp', { shift: true }), '2027-02-28');
  assert.equal(addMonths('2026-11-30', 3), '2027-02-28');
  assert.equal(addMonths('2026-03-15', -15), '2024-12-15');
  // Progress can only be recorded up to today: the calendar cannot go past it.
  assert.equal(moveDate(TODAY, 'ArrowRight', { max: TODAY }), TODAY);
  assert.equal(moveDate('2026-12-01', 'PageDown', { max: TODAY }), TODAY);
  assert.equal(moveDate('2026-12-03', 'ArrowUp', { min: '2026-12-01' }), '2026-12-01');
  assert.equal(moveDate(TODAY, 'Enter'), null);
});
