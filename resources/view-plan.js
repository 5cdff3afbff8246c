// The whole plan day by day, the report of what will be late, and exports.

import { h, dot, fmtDate, fmtMinutes, download, inPieces, showMore, TABLE_ROWS } from './ui.js';
import { planCalendar, planCSV } from './exports.js';
import { assignmentsById } from './planner.js';
import { classOf } from './model.js';
import { loadBar, paceText } from './planparts.js';
import { lateReport } from './late.js';

export function renderPlan(ctx) {
  const { data, plan } = ctx;
  const busy = plan.days.filter((d) => d.sessions.length);
  const scale = Math.max(60, ...plan.days.map((d) => d.available));
  const total = busy.reduce((n, d) => n + d.sessions.reduce((m, s) => m + s.count, 0), 0);

  // The file remembers what it sent, so the next export can replace it.
  const exportICS = () => {
    const { text, calendar } = planCalendar(plan, data);
    download(`dovrelist-plan-${ctx.today}.ics`, text, 'text/calendar');
    ctx.commit((d) => (d.calendar = calendar));
  };
  const exportCSV = () => download(`dovrelist-plan-${ctx.today}.csv`, planCSV(plan, data), 'text/csv');

  // A year holds thousands of rows and hundreds of days: shown in pieces.
  const rowPiece = inPieces([...plan.status.values()], ctx.params.planRows || TABLE_ROWS.first, TABLE_ROWS.more, '项', 'plan-rows-more', showMore(ctx, 'planRows'));
  const dayPiece = inPieces(busy, ctx.params.planDays || 14, 14, '天', 'plan-days-more', showMore(ctx, 'planDays'));
  const byId = assignmentsById(data, [...rowPiece.items.map((st) => st.assignmentId), ...dayPiece.items.flatMap((d) => d.sessions.map((s) => s.assignmentId))]);
  const rows = rowPiece.items.map((st) => {
    const a = byId.get(st.assignmentId);
    const cls = classOf(data, a);
    return h(
      'tr',
      null,
      h('td', { class: 'title-cell' }, dot(cls ? cls.color : '#9a9a9a'), ' ', a.title),
      h('td', { class: 'nowrap' }, cls ? cls.name : '未分班'),
      h('td', { class: 'num' }, st.needsCount ? '份数待填' : `${st.remaining} 份`),
      h('td', { class: 'pace-cell' }, paceText(ctx, a, st.pace)),
      h('td', { class: 'nowrap' }, st.lastDay ? fmtDate(st.lastDay) : h('span', { class: 'muted' }, st.needsCount ? '—' : '排不进去')),
      h('td', { class: 'nowrap' }, fmtDate(a.due)),
      h(
        'td',
        { class: 'nowrap' },
        st.needsCount
          ? h('span', { class: 'tag warn' }, '份数待填')
          : st.late
            ? h('span', { class: 'tag warn' }, st.overdue ? `逾期 ${st.late} 份` : `差 ${st.late} 份`)
            : h('span', { class: 'tag ok' }, '按时'),
      ),
    );
  });

  return h(
    'div',
    { class: 'view' },
    h(
      'header',
      { class: 'view-head' },
      h('div', null, h('h1', { tabindex: '-1' }, '批改计划'), h('p', { class: 'sub' }, busy.length ? `共 ${busy.length} 天、${total} 份` : '没有待批改的作业')),
      h(
        'div',
        { class: 'head-actions' },
        h('button', { type: 'button', class: 'btn', 'data-key': 'export-ics', onclick: exportICS, disabled: !busy.length }, '导出日历（.ics）'),
        h('button', { type: 'button', class: 'btn', onclick: exportCSV, disabled: !busy.length }, '导出 CSV'),
      ),
    ),
    lateReport(ctx),
    rows.length
      ? h(
          'section',
          { class: 'card' },
          h('h2', null, '各项作业'),
          h(
            'table',
            { class: 'table plan-table' },
            h('thead', null, h('tr', null, ['作业', '班级', '剩余', '按多快算', '预计批完', '归还日期', '状态'].map((t) => h('th', { scope: 'col' }, t)))),
            h('tbody', null, rows),
          ),
          rowPiece.more,
        )
      : null,
    dayPiece.items.map((d) =>
      h(
        'section',
        { class: `card day${d.date === ctx.today ? ' is-today' : ''}` },
        h(
          'div',
          { class: 'day-head' },
          h('h2', null, d.date === ctx.today ? `今天 · ${fmtDate(d.date, 'long')}` : fmtDate(d.date, 'long')),
          h('span', { class: 'sub' }, `计划 ${fmtMinutes(d.planned)} / 可用 ${fmtMinutes(d.available)}`),
        ),
        loadBar(d, scale),
        h(
          'ul',
          { class: 'sessions' },
          d.sessions.map((s) => {
            const a = byId.get(s.assignmentId);
            const cls = classOf(data, a);
            return h(
              'li',
              null,
              dot(cls ? cls.color : '#9a9a9a'),
              h('span', { class: 'grow' }, a.title, cls ? h('span', { class: 'muted' }, ` · ${cls.name}`) : null, s.overdue ? h('span', { class: 'tag warn' }, '逾期') : null),
              h('span', { class: 'num' }, `${s.count} 份`),
              h('span', { class: 'num muted' }, fmtMinutes(s.minutes)),
            );
          }),
        ),
      ),
    ),
    dayPiece.more,
  );
}
