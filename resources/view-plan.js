// The whole plan day by day, the report of what will be late, and exports.

import { h, dot, fmtDate, fmtMinutes, download, inPieces } from './ui.js';
import { planCalendar, planCSV } from './exports.js';
import { classOf } from './model.js';
import { editAssignment, paceText } from './view-manage.js';

export function lateText(ctx, info) {
  const a = ctx.data.assignments.find((x) => x.id === info.assignmentId);
  const cls = classOf(ctx.data, a);
  const name = `「${a.title}」${cls ? `（${cls.name}）` : ''}`;
  const amount = `${info.late} 份（约 ${fmtMinutes(info.lateMinutes)}）`;
  let cause;
  if (info.reason === 'past') cause = `归还日期已过（${fmtDate(a.due)}），还有 ${amount}没有批完。`;
  else if (info.reason === 'dueToday') cause = `今天（${fmtDate(a.due)}）就要归还，还有 ${amount}没有批完。`;
  else if (info.reason === 'noTime') {
    const { start, end } = info.window;
    const span = start === end ? fmtDate(start) : `${fmtDate(start)} 至 ${fmtDate(end)}`;
    cause = `归还前能批改的日子（${span}）没有可用时间：${amount}排不进去。`;
  } else if (info.reason === 'tooLong')
    cause = `每份约 ${fmtMinutes(info.pace.minutes)}，比归还前任何一天的可用时间都长：${amount}排不进去。`;
  else cause = `时间不够：${fmtDate(a.due)} 归还前还有 ${amount}排不进去。`;
  let after = '';
  if (info.overdue && !info.unplaced) after = `已排在归还日之后，预计 ${fmtDate(info.lastDay)} 批完。`;
  else if (info.overdue) after = `其中 ${info.overdue} 份已排在归还日之后，另外 ${info.unplaced} 份一年内都排不进去。`;
  else if (info.unplaced) after = '一年内都找不到可用时间。';
  return `${name}${cause}${after}`;
}

// The list opened on one screen is folded again on the next: left open it
// would push that screen's own content out of sight. Another week of 本周
// is the same screen.
export function foldLateOnLeave(ctx, view) {
  if (view !== ctx.view) {
    ctx.lateOpen = false;
    ctx.lateShown = 0;
  }
}

function lateItem(ctx, info) {
  return h(
    'li',
    null,
    h('span', null, lateText(ctx, info)),
    h(
      'span',
      { class: 'late-actions' },
      h('button', { type: 'button', class: 'btn small', 'data-key': `late-time-${info.assignmentId}`, onclick: () => ctx.go('time') }, '增加时间'),
      h('button', { type: 'button', class: 'btn small', 'data-key': `late-edit-${info.assignmentId}`, onclick: () => editAssignment(ctx, info.assignmentId) }, '修改归还日期'),
    ),
  );
}

// What will be late, in one line above the day's work; each one's cause
// and the two ways out open below it on request.
export function lateReport(ctx) {
  const late = ctx.plan.late;
  if (!late.length) return null;
  const open = !!ctx.lateOpen;
  const piece = open
    ? inPieces(late, ctx.lateShown || 100, 100, '项', 'late-more', (n) => {
        ctx.lateShown = n;
        ctx.render();
      })
    : null;
  return h(
    'section',
    { class: 'late', 'aria-labelledby': 'late-title' },
    h(
      'div',
      { class: 'late-line' },
      h('h2', { id: 'late-title' }, `${late.length} 项作业来不及批完`),
      h(
        'button',
        {
          type: 'button',
          class: 'btn small',
          'data-key': 'late-toggle',
          'aria-expanded': String(open),
          'aria-controls': 'late-list',
          onclick: () => {
            ctx.lateOpen = !open;
            ctx.render();
          },
        },
        open ? '收起' : '查看原因和办法',
      ),
    ),
    // Built only when opened, and a piece at a time: a year can hold
    // thousands.
    h('ul', { id: 'late-list', hidden: !open }, piece ? piece.items.map((info) => lateItem(ctx, info)) : null),
    piece ? piece.more : null,
  );
}

export function loadBar(day, scale) {
  const pct = (m) => `${Math.min(100, (m / scale) * 100)}%`;
  return h(
    'div',
    { class: 'hbar', 'aria-hidden': 'true' },
    h('div', { class: 'hbar-track', style: { width: pct(day.available) } }),
    h('div', { class: 'hbar-used', style: { width: pct(day.used) } }),
    h('div', { class: 'hbar-fill', style: { left: pct(day.used), width: pct(day.planned) } }),
  );
}

export function renderPlan(ctx) {
  const { data, plan } = ctx;
  const byId = new Map(data.assignments.map((a) => [a.id, a]));
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
  const more = (name) => (n) => {
    ctx.params[name] = n;
    ctx.render();
  };
  const rowPiece = inPieces([...plan.status.values()], ctx.params.planRows || 100, 100, '项', 'plan-rows-more', more('planRows'));
  const dayPiece = inPieces(busy, ctx.params.planDays || 14, 14, '天', 'plan-days-more', more('planDays'));
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
