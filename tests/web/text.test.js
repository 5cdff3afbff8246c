// What the page says: dates, form limits, the native side's own messages.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { fmtDate, fmtDateTime } from '../../resources/ui.js';
import { checkAssignment } from '../../resources/model.js';
import { replyError } from '../../resources/native.js';
import { templateStart } from '../../resources/view-manage.js';
import { dataWith } from './fixtures.js';

test('dates and weekdays are Chinese whatever the system locale', () => {
  assert.equal(fmtDate('2026-12-08', 'full'), '2026年12月8日星期二');
  assert.equal(fmtDate('2026-12-09'), '12月9日周三');
  assert.equal(fmtDate('2026-12-09', 'long'), '12月9日星期三');
  assert.equal(fmtDate('2026-12-09', 'short'), '12/9');
  assert.equal(fmtDate('2026-12-13', 'weekday'), '周日');
  assert.equal(fmtDate('2026-12-13', 'weekdayLong'), '星期日');
  assert.match(fmtDateTime(new Date(2026, 11, 8, 19, 5)), /^2026年12月8日 19:05$/);
});

test('titles: 80 characters as the teacher counts them, and a clear word beyond', () => {
  const fields = (title) => ({ title, classId: 'c1', collected: '2025-03-03', due: '2025-03-07', submissions: '4', minutesEach: '2' });
  const data = dataWith();
  assert.equal(checkAssignment(fields('📚'.repeat(80)), data).ok, true);
  const r = checkAssignment(fields('长'.repeat(81)), data);
  assert.equal(r.ok, false);
  assert.match(r.errors.title, /最多 80 个字.*81/);
});

test('a failed command shows the native side\'s own message', () => {
  assert.equal(replyError({ ok: true, autostart: true }, '没能开启开机自启。'), null);
  assert.equal(replyError({ ok: false, error: '请先把 Dovrelist 移出临时位置。' }, 'x'), '请先把 Dovrelist 移出临时位置。');
  for (const r of [{ ok: false }, { ok: false, error: '  ' }, { ok: false, error: 3 }, null])
    assert.equal(replyError(r, '没能开启开机自启。'), '没能开启开机自启。');
});

test('a weekly template saved mid-week says when it first adds assignments', () => {
  // Wednesday 2026-12-09: Monday is past, Friday is still to come.
  assert.equal(templateStart(0, false, '2026-12-09'), '下周一（12月14日）起每周一自动添加');
  assert.equal(templateStart(4, false, '2026-12-09'), '本周五（12月11日）起每周五自动添加');
  assert.equal(templateStart(2, false, '2026-12-09'), '本周三（12月9日）起每周三自动添加');
  // A week the template is done with waits for the next; across a month end too.
  assert.equal(templateStart(4, true, '2026-12-30'), '下周五（1月8日）起每周五自动添加');
});
