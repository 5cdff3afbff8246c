// One week at a glance: each day's planned load against its available time.

import { h, dot, fmtDate, fmtMinutes, inPieces, showMore } from './ui.js';
import { addDays, dayRange, startOfWeek } from './dates.js';
import { assignmentsById, dayLoad, exceptionOn } from './planner.js';
import { classOf, isFinished, titleOf } from './model.js';
import { lateReport } from './late.js';

export function renderWeek(ctx) {
  const { data, plan, today } = ctx;
  const start = ctx.params.week || startOfWeek(today);
  const days = dayRange(start, addDays(start, 6));
  const loads = days.map((d) => dayLoad(plan, data, d));
  const scale = Math.max(60, ...loads.map((l) => Math.max(l.available, l.used + l.planned)));
  const byId = assignmentsById(data, loads.flatMap((l) => l.sessions.map((s) => s.assignmentId)));
  const colorOf = (a) => (classOf(data, a) || { color: '#9a9a9a' }).color;
  const planned = loads.reduce((n, l) => n + l.planned, 0);
  const available = loads.reduce((n, l) => n + (l.past ? 0 : l.available), 0);
  // A title that several classes' items share this week names the class:
  // the dots' colours alone do not tell them apart for every eye.
  const dueThisWeek = data.assignments.filter((a) => a.due >= days[0] && a.due <= days[6] && !isFinished(a));
  const shown = [...byId.values(), ...dueThisWeek];
  const classesOf = new Map();
  for (const a of shown) classesOf.set(a.title, (classesOf.get(a.title) || new Set()).add(a.classId ?? null));
  const classLabel = (a) => {
    if (classesOf.get(a.title).size < 2) return null;
    const cls = classOf(data, a);
    return [' ', h('span', { class: 'cls' }, cls ? cls.name : '未分班')];
  };

  const week = (date) => ctx.go('week', { week: date });

  const columns = loads.map((l) => {
    const ex = exceptionOn(l.date, data.availability);
    // A day that many assignments are due on lists a few of them, and the
    // rest on request.
    const dueKey = `due-${l.date}`;
    const dueHere = inPieces(
      dueThisWeek.filter((a) => a.due === l.date),
      ctx.params[dueKey] || 8,
      40,
      '项',
      `week-${dueKey}`,
      showMore(ctx, dueKey),
    );
    const pct = (m) => `${(m / scale) * 100}%`;
    // Recorded time is shown as recorded, also beyond the day's time.
    // Whole minutes, as every screen writes time: an overrun too small to
    // show is none.
    const over = l.past ? 0 : Math.round(l.used + l.planned - l.available);
    const summary =
      `${fmtDate(l.date, 'long')}：` +
      (l.past ? '已过去' : `计划 ${fmtMinutes(l.planned)}，可用 ${fmtMinutes(l.available)}`) +
      (l.used ? `，已批用时 ${fmtMinutes(l.used)}` : '') +
      (over > 0 ? `，超出 ${fmtMinutes(over)}` : '');
    return h(
      'li',
      { class: `wday${l.date === today ? ' is-today' : ''}${l.past ? ' is-past' : ''}${over > 0 ? ' is-over' : ''}`, 'aria-label': summary },
      h('div', { class: 'wday-head' }, h('span', { class: 'wday-name' }, fmtDate(l.date, 'weekday')), h('span', { class: 'wday-date' }, fmtDate(l.date, 'short'))),
      h(
        'div',
        { class: 'vbar', 'aria-hidden': 'true' },
        h('div', { class: 'vbar-track', style: { height: pct(l.available) } }),
        h(
          'div',
          { class: 'vbar-stack' },
          l.used ? h('div', { class: 'vbar-seg used', style: { height: pct(l.used) } }) : null,
          l.sessions.map((s) => h('div', { class: `vbar-seg${s.overdue ? ' overdue' : ''}`, style: { height: pct(s.minutes), background: colorOf(byId.get(s.assignmentId)) } })),
        ),
      ),
      h('div', { class: 'wday-load' }, l.past ? '已过' : `${fmtMinutes(l.used + l.planned)} / ${fmtMinutes(l.available)}`),
      over > 0 ? h('div', { class: 'tag warn' }, `超出 ${fmtMinutes(over)}`) : null,
      ex ? h('div', { class: 'tag' }, ex.note || (ex.minutes === 0 ? '休息' : '特别安排')) : null,
      h(
        'ul',
        { class: 'wday-list' },
        l.sessions.map((s) => {
          const a = byId.get(s.assignmentId);
          return h(
            'li',
            { class: s.overdue ? 'overdue' : null, title: titleOf(data, a) },
            dot(colorOf(a)),
            h('span', null, h('span', { class: 'title' }, a.title), classLabel(a), h('span', { class: 'num' }, `${s.count} 份`), s.overdue ? h('span', { class: 'tag warn' }, '逾期') : null),
          );
        }),
        dueHere.items.map((a) =>
          h(
            'li',
            { class: 'due', title: `归还${titleOf(data, a)}` },
            dot(colorOf(a)),
            h('span', null, `归还：${a.title}${a.submissions === 0 ? '（份数待填）' : ''}`, classLabel(a)),
          ),
        ),
      ),
      dueHere.more,
    );
  });

  const legend = data.classes.map((c) => h('span', { class: 'legend-item' }, dot(c.color), c.name));

  return h(
    'div',
    { class: 'view' },
    h(
      'header',
      { class: 'view-head' },
      h(
        'div',
        null,
        h('h1', { tabindex: '-1' }, start === startOfWeek(today) ? '本周' : '一周'),
        h('p', { class: 'sub' }, `${fmtDate(days[0], 'medium')} – ${fmtDate(days[6], 'medium')} · 计划 ${fmtMinutes(planned)}，可用 ${fmtMinutes(available)}`),
      ),
      h(
        'div',
        { class: 'head-actions', role: 'group', 'aria-label': '切换周' },
        h('button', { type: 'button', class: 'btn', 'data-key': 'week-prev', onclick: () => week(addDays(start, -7)) }, '‹ 上一周'),
        h('button', { type: 'button', class: 'btn', 'data-key': 'week-now', onclick: () => week(startOfWeek(today)) }, '本周'),
        h('button', { type: 'button', class: 'btn', 'data-key': 'week-next', onclick: () => week(addDays(start, 7)) }, '下一周 ›'),
      ),
    ),
    lateReport(ctx),
    h('ol', { class: 'week card' }, columns),
    h(
      'div',
      { class: 'legend' },
      h('span', { class: 'legend-item' }, h('span', { class: 'swatch track' }), '可用时间'),
      h('span', { class: 'legend-item' }, h('span', { class: 'swatch used' }), '已批用时'),
      h('span', { class: 'legend-item' }, h('span', { class: 'swatch overdue' }), '逾期（归还日之后）'),
      legend,
    ),
  );
}
