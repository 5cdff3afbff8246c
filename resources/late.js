// The report of what will be late, above the work of 今天, 本周 and 计划.

import { h, inPieces } from './ui.js';
import { lateText } from './planparts.js';
import { editAssignment } from './dialogs.js';

// The list opened on one screen is folded again on the next: left open it
// would push that screen's own content out of sight. Another week of 本周
// is the same screen.
export function foldLateOnLeave(ctx, view) {
  if (view !== ctx.view) {
    ctx.lateOpen = false;
    ctx.lateShown = 0;
  }
}

// One late assignment: why, and the two ways out.
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
