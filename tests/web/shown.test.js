// What the screens show: the plan's own numbers, read back from the views.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { makePlan } from '../../resources/planner.js';
import { recordProgress } from '../../resources/model.js';
import { renderWeek } from '../../resources/view-week.js';
import { installDom, findAll, byClass } from './dom.js';
import { dataWith, every } from './fixtures.js';

installDom();
const WED = '2025-03-05';
const view = (render, data, today, params = {}) => render({ data, plan: makePlan(data, today), today, params, go() {}, commit() {} });

test('本周 shows the minutes recorded today, also beyond the day\'s time, and marks the day', () => {
  const data = dataWith({ weekly: every(90), assignments: [{ due: '2025-03-10', submissions: 40, minutesEach: 5 }] });
  recordProgress(data, 'a1', 30, WED, 189.6);
  const plan = makePlan(data, WED);
  assert.deepEqual([plan.days[0].used, plan.days[0].free, plan.todayCount], [189.6, 0, 0]);
  const week = view(renderWeek, data, WED);
  const [day] = findAll(week, byClass('is-today'));
  assert.match(findAll(day, byClass('wday-load'))[0].textContent, /^189\.6 \/ 90 分钟$/);
  assert.ok(byClass('is-over')(day), 'the day is not marked as over its time');
  assert.ok(day.textContent.includes('超出 99.6 分钟'));
  assert.match(day.getAttribute('aria-label'), /超出 99\.6 分钟/);
  // A day within its time is not marked.
  const [tomorrow] = findAll(week, (el) => byClass('wday')(el) && !byClass('is-today')(el) && !byClass('is-past')(el));
  assert.ok(!byClass('is-over')(tomorrow));
});
