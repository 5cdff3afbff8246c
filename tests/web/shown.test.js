// What the screens show: the plan's own numbers, read back from the views.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { makePlan } from '../../resources/planner.js';
import { deleteKept, isFinished, recordProgress } from '../../resources/model.js';
import { renderToday } from '../../resources/view-today.js';
import { renderWeek } from '../../resources/view-week.js';
import { renderPlan } from '../../resources/view-plan.js';
import { foldLateOnLeave } from '../../resources/late.js';
import { renderAssignments, renderClasses } from '../../resources/view-manage.js';
import { paceText } from '../../resources/planparts.js';
import { planCSV, planCalendar } from '../../resources/exports.js';
import { installDom, findAll, byClass, byTag } from './dom.js';
import { Store, backupText } from '../../resources/store.js';
import { MemoryStorage, dataWith, every, sessionsOf } from './fixtures.js';

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
  assert.equal(findAll(day, byClass('wday-load'))[0].textContent, '3 小时 10 分钟 / 1 小时 30 分钟');
  assert.ok(byClass('is-over')(day), 'the day is not marked as over its time');
  assert.ok(day.textContent.includes('超出 1 小时 40 分钟'));
  assert.match(day.getAttribute('aria-label'), /超出 1 小时 40 分钟/);
  // A day within its time is not marked.
  const [tomorrow] = findAll(week, (el) => byClass('wday')(el) && !byClass('is-today')(el) && !byClass('is-past')(el));
  assert.ok(!byClass('is-over')(tomorrow));
});

test('an assignment with 0 copies waits as "份数待填" wherever assignments are listed, and gets no sessions', () => {
  const data = dataWith({
    weekly: every(60),
    assignments: [
      { title: '周记', collected: WED, due: '2025-03-07', submissions: 0, minutesEach: 5 },
      { title: '听写', collected: WED, due: '2025-03-07', submissions: 4, minutesEach: 5 },
    ],
  });
  assert.equal(isFinished(data.assignments[0]), false);
  let plan = makePlan(data, WED);
  assert.deepEqual(sessionsOf(plan, 'a1'), []);
  assert.deepEqual(plan.late, []);
  assert.equal(plan.status.get('a1').needsCount, true);

  const row = (root, title) => findAll(root, byTag('tr')).find((tr) => tr.textContent.includes(title));
  const list = view(renderAssignments, data, WED);
  assert.ok(row(list, '周记')?.textContent.includes('份数待填'), '作业 hides it or does not say what it waits for');
  assert.ok(list.textContent.includes('进行中 2 项，已批完 0 项'));
  assert.ok(row(view(renderPlan, data, WED), '周记')?.textContent.includes('份数待填'), '计划 does not list it');
  assert.ok(view(renderClasses, data, WED).textContent.includes('未批 2 项（1 项份数待填）'));
  assert.ok(view(renderWeek, data, WED).textContent.includes('归还：周记（份数待填）'));

  // With its count filled in, it is planned like any other.
  data.assignments[0].submissions = 6;
  plan = makePlan(data, WED);
  assert.equal(sessionsOf(plan, 'a1').reduce((n, s) => n + s.count, 0), 6);
});

test('remaining times use the plan\'s pace, and say truly whose timing it is', () => {
  const data = dataWith({
    weekly: every(60),
    classes: [{ id: 'c1', name: '一班', color: '#4f7cac' }, { id: 'c2', name: '二班', color: '#5a9e6f' }],
    assignments: [
      { title: '作文一', kind: '作文', due: '2025-03-20', submissions: 32, minutesEach: 8 },
      { title: '作文二', kind: '作文', classId: 'c2', due: '2025-03-20', submissions: 5, minutesEach: 8 },
      { title: '听写', kind: '听写', due: '2025-03-20', submissions: 10, minutesEach: 4 },
      { title: '作文三', kind: '作文', classId: 'c2', due: '2025-03-20', submissions: 10, minutesEach: 8 },
    ],
  });
  recordProgress(data, 'a2', 5, '2025-03-04', 48); // 二班's 作文: 9.6 minutes a copy
  recordProgress(data, 'a3', 3, '2025-03-04', 15); // this 听写's own: 5 minutes a copy
  const cells = (title) => {
    const tr = findAll(view(renderAssignments, data, WED), byTag('tr')).find((r) => r.textContent.includes(title));
    return findAll(tr, byTag('td')).map((td) => td.textContent);
  };
  // 作业: 每份, 剩余时间 are columns 6 and 7.
  assert.deepEqual(cells('作文一').slice(5, 7), ['9.6 分钟 按「作文」实测', '5 小时 7 分钟']);
  assert.deepEqual(cells('作文三').slice(5, 7), ['9.6 分钟 按本班「作文」实测', '1 小时 36 分钟']);
  assert.deepEqual(cells('听写').slice(5, 7), ['5 分钟 实测', '35 分钟']);
  // The class card adds up the same times: 32 × 9.6 + 7 × 5.
  assert.ok(view(renderClasses, data, WED).textContent.includes('未批 2 项，约 5 小时 42 分钟'));
});

test('a 类型\'s timing names the classes that gave it', () => {
  const data = dataWith({
    weekly: every(60),
    classes: [
      { id: 'c1', name: '初二(1)班', color: '#4f7cac' },
      { id: 'c2', name: '初二(2)班', color: '#5a9e6f' },
      { id: 'c3', name: '初二(3)班', color: '#c98a3a' },
    ],
    assignments: [
      { title: '默写一', kind: '默写', classId: 'c1', due: '2025-03-20', submissions: 40, minutesEach: 2 },
      { title: '默写一', kind: '默写', classId: 'c2', due: '2025-03-20', submissions: 40, minutesEach: 2 },
      { title: '默写一', kind: '默写', classId: 'c3', due: '2025-03-20', submissions: 40, minutesEach: 2 },
    ],
  });
  recordProgress(data, 'a1', 5, '2025-03-04', 15);
  const label = (id) => {
    const plan = makePlan(data, WED);
    return paceText({ data, plan }, data.assignments.find((a) => a.id === id), plan.status.get(id).pace);
  };
  assert.equal(label('a2'), '每份 3 分钟（初二(1)班「默写」记下的用时，5 份）');
  assert.equal(label('a3'), '每份 3 分钟（初二(1)班「默写」记下的用时，5 份）');
  // Two copies from 初二(3)班 too: several classes, and 本班 among them.
  recordProgress(data, 'a3', 2, '2025-03-04', 6);
  assert.equal(label('a2'), '每份 3 分钟（初二(1)班、初二(3)班「默写」记下的用时，7 份）');
  assert.equal(label('a3'), '每份 3 分钟（本班、初二(1)班「默写」记下的用时，7 份）');
});

test('one way of writing time: 本周, 计划 and the exports round a day alike', () => {
  // 3 copies at 29.4 minutes: 88.2 minutes of a 90-minute day.
  const data = dataWith({ weekly: every(90), assignments: [{ due: '2025-03-06', submissions: 3, minutesEach: 29.4 }] });
  const [day] = findAll(view(renderWeek, data, WED), byClass('is-today'));
  assert.equal(findAll(day, byClass('wday-load'))[0].textContent, '1 小时 28 分钟 / 1 小时 30 分钟');
  assert.ok(view(renderPlan, data, WED).textContent.includes('计划 1 小时 28 分钟 / 可用 1 小时 30 分钟'));
  const plan = makePlan(data, WED);
  assert.match(planCSV(plan, data), /,3,88,2025-03-06,/);
  const ics = planCalendar(plan, data, new Date('2025-03-05T08:00:00Z')).text.replace(/\r\n /g, '');
  assert.match(ics, /预计 1 小时 28 分钟/);
});

test('本周 names the class of a title several classes share, in the day\'s list and on its return day', () => {
  const data = dataWith({
    weekly: every(60),
    classes: [{ id: 'c1', name: '初二(1)班', color: '#c98a3a' }, { id: 'c2', name: '初二(2)班', color: '#5a9e6f' }],
    assignments: [
      { title: '默写一', classId: 'c1', due: '2025-03-07', submissions: 4, minutesEach: 5 },
      { title: '默写一', classId: 'c2', due: '2025-03-07', submissions: 4, minutesEach: 5 },
      { title: '周记', classId: 'c1', due: '2025-03-07', submissions: 4, minutesEach: 5 },
    ],
  });
  const texts = findAll(view(renderWeek, data, WED), byClass('wday-list')).flatMap((ul) => ul.children.map((li) => li.textContent));
  assert.ok(texts.includes('默写一 初二(1)班4 份'), texts.join(' | '));
  assert.ok(texts.includes('默写一 初二(2)班4 份'), texts.join(' | '));
  assert.ok(texts.includes('归还：默写一 初二(1)班') && texts.includes('归还：默写一 初二(2)班'), texts.join(' | '));
  // A title of one class alone is not crowded with its name.
  assert.ok(texts.includes('周记4 份') && texts.includes('归还：周记'), texts.join(' | '));
});

test('本周 lists a few of a crowded return day at first, and every one on request', () => {
  const assignments = Array.from({ length: 11 }, (_, i) => ({ title: `练习${i + 1}`, due: '2025-03-07', submissions: 4, minutesEach: 5 }));
  const data = dataWith({ weekly: every(0), assignments });
  const ctx = { data, plan: makePlan(data, WED), today: WED, params: {}, go() {}, commit() {} };
  ctx.render = () => (ctx.shown = renderWeek(ctx));
  ctx.render();
  const due = () => findAll(ctx.shown, byClass('due')).map((li) => li.textContent);
  const more = () => findAll(ctx.shown, (el) => el.getAttribute('data-key') === 'week-due-2025-03-07')[0];
  assert.equal(due().length, 8);
  assert.equal(more().textContent, '再显示 3 项（还有 3 项）');
  more().click();
  assert.deepEqual(due(), assignments.map((a) => `归还：${a.title}`));
  assert.equal(more(), undefined);
});

test('最近删除 gives the year of a deletion made in another year', () => {
  const data = dataWith({ weekly: every(60), assignments: [{ title: '周记', due: '2027-01-20', submissions: 4, minutesEach: 5 }] });
  data.deleted = [{ id: 'd1', kind: 'assignment', date: '2026-12-20', undo: { assignment: data.assignments.pop(), index: 0 } }];
  const line = (today) => findAll(view(renderAssignments, data, today), byClass('tpl-row'))[0].textContent;
  assert.match(line('2026-12-22'), / · 12\/20 删除，还保留 28 天/);
  assert.match(line('2027-01-05'), / · 2026\/12\/20 删除，还保留 14 天/);
});

test('the opened list of late work folds again on another screen, and stays open for another week of 本周', () => {
  const data = dataWith({ weekly: every(10), assignments: [{ title: '作文', due: '2025-03-06', submissions: 30, minutesEach: 5 }] });
  const screens = { today: renderToday, week: renderWeek, plan: renderPlan };
  const ctx = { data, plan: makePlan(data, WED), today: WED, view: 'today', params: {}, go() {}, commit() {} };
  ctx.render = () => (ctx.shown = screens[ctx.view](ctx));
  const go = (v, params = {}) => {
    foldLateOnLeave(ctx, v);
    Object.assign(ctx, { view: v, params });
    ctx.render();
  };
  const part = (id) => findAll(ctx.shown, (el) => el.getAttribute('id') === id || el.getAttribute('data-key') === id)[0];
  const open = () => part('late-list').getAttribute('hidden') === null;
  go('today');
  assert.equal(open(), false);
  part('late-toggle').click();
  assert.equal(open(), true);
  go('week');
  assert.equal(open(), false, '本周 starts with the list 今天 opened');
  part('late-toggle').click();
  go('week', { week: '2025-03-10' });
  assert.equal(open(), true);
  go('today');
  assert.equal(open(), false, 'back on 今天 the list is still open');
});

test('今天 names a deleted assignment whose work was recorded today', () => {
  const data = dataWith({ weekly: every(60), assignments: [{ title: '听写', due: '2025-03-07', submissions: 45, minutesEach: 1 }] });
  recordProgress(data, 'a1', 45, WED);
  deleteKept(data, 'assignment', 'a1', WED);
  const done = () => findAll(view(renderToday, data, WED), byClass('done-item')).map((li) => li.textContent);
  assert.deepEqual(done(), ['已删除的作业「听写」（三年二班）今天已批 45 份']);
  // Once it is no longer kept, the record still counts, unnamed.
  data.deleted = [];
  assert.deepEqual(done(), ['已删除的作业，今天已批 45 份']);
});

test('设置 reads each kept copy once, not at every opening, and an unreadable one again', async () => {
  const data = dataWith({ weekly: every(60), assignments: [{ due: '2025-03-07', submissions: 4, minutesEach: 5 }] });
  const copies = [
    { name: 'dovrelist-2025-03-04.json', date: '2025-03-04', time: '', reason: 'daily' },
    { name: 'dovrelist-2025-03-03.json', date: '2025-03-03', time: '', reason: 'daily' },
  ];
  const storage = new MemoryStorage();
  let reads = [];
  const native = {
    hasLaunch: false,
    data: async (cmd, { name } = {}) => {
      if (cmd === 'copies') return { ok: true, copies };
      reads.push(name);
      return { ok: true, text: name.includes('03-04') ? backupText(data) : '{"version":' };
    },
  };
  // A new start of the page: the module's memory is gone, the storage is not.
  const opening = async (start) => {
    reads = [];
    const { renderSettings } = await import(`../../resources/view-settings.js?start=${start}`);
    const ctx = { data, today: WED, params: {}, native, store: new Store(storage), writer: {}, copies: null, sync: null, app: {}, render() {} };
    renderSettings(ctx);
    for (let i = 0; i < 10; i++) await new Promise((done) => setTimeout(done, 0));
    const rows = findAll(renderSettings(ctx), byTag('li')).map((li) => li.textContent);
    return { reads, rows };
  };
  const first = await opening(1);
  assert.deepEqual(first.reads, copies.map((c) => c.name));
  assert.ok(first.rows.some((r) => r.includes('3月4日') && r.includes('1 个班级、1 项作业')), first.rows.join('\n'));
  assert.ok(first.rows.some((r) => r.includes('3月3日') && r.includes('已损坏')));
  const second = await opening(2);
  assert.deepEqual(second.reads, ['dovrelist-2025-03-03.json'], 'a readable copy was read again');
  assert.ok(second.rows.some((r) => r.includes('3月4日') && r.includes('1 个班级、1 项作业')));
  // What the storage says of a copy is not taken on trust.
  storage.setItem('dovrelist.copyContents', JSON.stringify({ 'dovrelist-2025-03-04.json': { classes: -1, assignments: 'x' } }));
  assert.deepEqual((await opening(3)).reads, copies.map((c) => c.name));
});
