// What to grade today, with quick progress buttons that re-plan at once.

import { h, announce, dot, fmtDate, fmtMinutes } from './ui.js';
import { classOf, recordProgress, gradedToday, titleOf } from './model.js';
import { loadBar, paceText } from './planparts.js';
import { lateReport } from './late.js';
import { editAssignment, recordDialog, takeBackDialog } from './dialogs.js';
import { part } from './patch.js';

// A quick change of today's count, said aloud with where it now stands.
function progress(ctx, today, id, delta) {
  let changed = 0;
  ctx.commit((d) => {
    changed = recordProgress(d, id, delta, today);
  });
  const a = ctx.data.assignments.find((x) => x.id === id);
  if (!a) return;
  const name = titleOf(ctx.data, a);
  const n = Math.abs(changed);
  announce(
    !changed
      ? `${name}没有变化。`
      : changed > 0
        ? `已记录${name}今天批了 ${n} 份，已批 ${a.graded} / ${a.submissions}。`
        : `已撤销${name}今天的 ${n} 份，已批 ${a.graded} / ${a.submissions}。`,
  );
}

// One task of today, with its quick buttons.
function taskItem(ctx, a, s) {
  const { data, plan, today } = ctx;
  const cls = classOf(data, a);
  const done = gradedToday(data, today, a.id);
  const st = plan.status.get(a.id);
  const k = (what) => `today-${a.id}-${what}`;
  const name = titleOf(data, a);
  const row = h(
    'li',
    { class: 'task' },
    h(
      'div',
      { class: 'task-main' },
      h('div', { class: 'task-title' }, dot(cls ? cls.color : '#9a9a9a'), h('strong', null, a.title), cls ? h('span', { class: 'muted' }, cls.name) : null),
      h(
        'div',
        { class: 'task-meta' },
        s.overdue ? h('span', { class: 'tag warn' }, '逾期') : null,
        s.overdue ? ' ' : null,
        `今天批 ${s.count} 份，约 ${fmtMinutes(s.minutes)}`,
        h('span', { title: '计划用的批改速度' }, ` · ${paceText(ctx, a, st.pace)}`),
        ' · ',
        `已批 ${a.graded} / ${a.submissions}`,
        done ? ` · 今天已批 ${done} 份` : '',
        ' · ',
        `${fmtDate(a.due)} 归还`,
      ),
      h('progress', { max: a.submissions, value: a.graded, 'aria-label': `${name}批改进度` }),
    ),
    h(
      'div',
      { class: 'task-actions', role: 'group', 'aria-label': `记录${name}的进度` },
      done
        ? h('button', { type: 'button', class: 'btn quiet', 'data-key': k('m1'), 'aria-label': `−1，${name}撤销一份`, onclick: () => progress(ctx, today, a.id, -1) }, '−1')
        : null,
      h('button', { type: 'button', class: 'btn quiet', 'data-key': k('rec'), title: '记录某一天批的份数和实际用时', onclick: () => recordDialog(ctx, a.id) }, '记录…'),
      h('button', { type: 'button', class: 'btn', 'data-key': k('p1'), 'aria-label': `+1，${name}已批加 1 份`, onclick: () => progress(ctx, today, a.id, 1) }, '+1'),
      h('button', { type: 'button', class: 'btn', 'data-key': k('p5'), 'aria-label': `+5，${name}已批加 5 份`, onclick: () => progress(ctx, today, a.id, 5) }, '+5'),
      // No tooltip: the button goes with its task, and a tooltip shown
      // over it would stay on screen until the pointer moves.
      h(
        'button',
        { type: 'button', class: 'btn primary', 'data-key': k('done'), 'aria-label': `今天的批完了：${name}今天的 ${s.count} 份`, onclick: () => progress(ctx, today, a.id, s.count) },
        '今天的批完了',
      ),
    ),
  );
  // Its handlers use the assignment and the day; the rest is what it shows.
  return part(row, a.id, a, today);
}

// Work recorded today that the plan no longer holds for today; `a` is
// missing for an assignment deleted since.
function doneItem(ctx, a, id, count) {
  const { data, today } = ctx;
  if (!a) {
    // Kept in 最近删除 for a while: named from there.
    const kept = data.deleted.find((e) => e.kind === 'assignment' && e.undo.assignment.id === id);
    const text = kept ? `已删除的作业${titleOf(data, kept.undo.assignment)}今天已批 ${count} 份` : `已删除的作业，今天已批 ${count} 份`;
    return h('li', { class: 'done-item' }, h('span', { class: 'muted' }, text));
  }
  const name = titleOf(data, a);
  return h(
    'li',
    { class: 'done-item' },
    h('span', { class: 'grow' }, `${name}今天已批 ${count} 份`),
    h('button', { type: 'button', class: 'btn small', 'data-key': `today-${id}-undo`, 'aria-label': `撤销一份：${name}`, onclick: () => progress(ctx, today, id, -1) }, '撤销一份'),
    count > 1
      ? h('button', { type: 'button', class: 'btn small quiet', 'data-key': `today-${id}-undo-n`, 'aria-label': `撤销几份：${name}`, onclick: () => takeBackDialog(ctx, id) }, '撤销几份…')
      : null,
  );
}

export function renderToday(ctx) {
  const { data, plan, today } = ctx;
  const day = plan.days[0];
  const byId = new Map(data.assignments.map((a) => [a.id, a]));
  // Records of deleted assignments still count: the work was done.
  const doneToday = Object.entries(data.progress[today] || {}).map(([id, e]) => [id, e.n]);
  const doneCount = doneToday.reduce((n, [, c]) => n + c, 0);

  const items = day.sessions.map((s) => taskItem(ctx, byId.get(s.assignmentId), s));

  // Work recorded today that the plan no longer holds for today.
  const finished = doneToday
    .filter(([id]) => !day.sessions.some((s) => s.assignmentId === id))
    .map(([id, count]) => doneItem(ctx, byId.get(id), id, count));

  const next = plan.days.find((d) => d.date > today && d.sessions.length);
  const remainingToday = day.sessions.reduce((n, s) => n + s.count, 0);

  let empty = null;
  if (!data.assignments.length)
    empty = h(
      'div',
      { class: 'empty' },
      h('p', null, '还没有作业。添加一项作业，就能得到批改计划。'),
      h('button', { type: 'button', class: 'btn primary', 'data-key': 'new-assignment-empty', onclick: () => editAssignment(ctx, null) }, '新建作业'),
    );
  else if (!items.length)
    empty = h(
      'div',
      { class: 'empty' },
      h('p', null, doneCount ? '今天计划的都批完了。' : '今天没有安排批改。'),
      next
        ? h('p', { class: 'muted' }, `下一次：${fmtDate(next.date, 'long')}，共 ${next.sessions.reduce((n, s) => n + s.count, 0)} 份。`)
        : null,
    );

  return h(
    'div',
    { class: 'view' },
    h(
      'header',
      { class: 'view-head' },
      h('div', null, h('h1', { tabindex: '-1' }, '今天'), h('p', { class: 'sub' }, fmtDate(today, 'full'))),
      h('button', { type: 'button', class: 'btn', 'data-key': 'new-assignment', onclick: () => editAssignment(ctx, null) }, '新建作业'),
    ),
    h(
      'section',
      { class: 'card summary', 'aria-label': '今天的时间' },
      h(
        'div',
        { class: 'stats' },
        stat('还要批', `${remainingToday} 份`),
        stat('预计用时', fmtMinutes(day.planned)),
        stat('今天已批', `${doneCount} 份`),
        stat('可用时间', fmtMinutes(day.available)),
      ),
      loadBar(day, Math.max(day.available, day.used + day.planned, 1)),
    ),
    lateReport(ctx),
    items.length ? h('ul', { class: 'tasks' }, items) : null,
    empty,
    finished.length ? h('section', { class: 'card' }, h('h2', null, '今天已记录'), h('ul', { class: 'done-list' }, finished)) : null,
  );
}

function stat(label, value) {
  return h('div', { class: 'stat' }, h('div', { class: 'stat-value' }, value), h('div', { class: 'stat-label' }, label));
}
