// The dialogs several screens open: an assignment's form, and recording or
// taking back progress.

import { h, checkedForm, describe, dot, field, fmtDate, formDialog, input, toast } from './ui.js';
import { addDays } from './dates.js';
import { remainingOf } from './planner.js';
import {
  KINDS,
  addAssignments,
  assignmentWarning,
  checkAssignment,
  checkAssignmentForClasses,
  checkRecord,
  recordProgress,
  recordsOf,
  saveAssignment,
  titleOf,
  toNumber,
} from './model.js';
import { dateField } from './datefield.js';
import { paceText } from './planparts.js';

// The 类型 field: free text with the usual ones offered. Enter there picks
// a suggestion or ends the input method's word; it never sends the form,
// whose errors would move the focus, and the typing, to another field.
export function kindInput(id, value) {
  const noSubmit = (ev) => {
    if (ev.key === 'Enter') ev.preventDefault();
  };
  return [
    input(id, { type: 'text', value: value || '', list: `${id}-list`, autocomplete: 'off', placeholder: '例如：作文、听写', onkeypress: noSubmit }),
    h('datalist', { id: `${id}-list` }, KINDS.map((k) => h('option', { value: k }))),
  ];
}

function paceHint(ctx, a) {
  const st = a && ctx.plan.status.get(a.id);
  return st && st.pace.source !== 'estimate' ? `计划现在按 ${paceText(ctx, a, st.pace)}。` : null;
}

// The form's controls, filled from `v`; with several classes, a tick and a
// count per class instead of one class and one count.
function assignmentControls(data, v, many, today) {
  const [kindEl, kindList] = kindInput('f-kind', v.kind);
  const f = {
    title: input('f-title', { type: 'text', value: v.title, autocomplete: 'off' }),
    kind: kindEl,
    classId: many
      ? null
      : h(
          'select',
          { id: 'f-class', name: 'f-class' },
          h('option', { value: '', selected: !v.classId }, '未分班'),
          data.classes.map((c) => h('option', { value: c.id, selected: c.id === v.classId }, c.name)),
        ),
    collected: dateField({ id: 'f-collected', value: v.collected, today }),
    due: dateField({ id: 'f-due', value: v.due, today }),
    submissions: many ? null : input('f-subs', { type: 'text', inputmode: 'numeric', autocomplete: 'off', value: String(v.submissions) }),
    minutesEach: input('f-mins', { type: 'text', inputmode: 'decimal', autocomplete: 'off', value: String(v.minutesEach) }),
    graded: many ? null : input('f-graded', { type: 'text', inputmode: 'numeric', autocomplete: 'off', value: String(v.graded) }),
  };
  for (const k of Object.keys(f)) if (!f[k]) delete f[k];
  const rows = many
    ? data.classes.map((c, i) => ({
        c,
        pick: h('input', { type: 'checkbox', id: `f-pick-${c.id}`, checked: i === 0 }),
        count: h('input', { type: 'text', id: `count-${c.id}`, inputmode: 'numeric', autocomplete: 'off', value: c.size ?? '', 'aria-label': `${c.name}的份数` }),
      }))
    : [];
  return { f, kindList, rows };
}

// Which classes get the new assignment, and each one's count.
function classPicks(rows, errors) {
  return h(
    'fieldset',
    { class: 'field classes-pick' },
    h('legend', { class: 'label' }, '班级和份数'),
    rows.map((r) => {
      const err = errors[`count-${r.c.id}`];
      if (err) r.count.setAttribute('aria-invalid', 'true');
      else r.count.removeAttribute('aria-invalid');
      describe(r.count, 'counts-hint', true);
      describe(r.count, `${r.count.id}-error`, !!err);
      return h(
        'div',
        { class: 'pick-row' },
        h('label', { for: r.pick.id, class: 'check' }, r.pick, dot(r.c.color), r.c.name),
        r.count,
        err ? h('span', { class: 'error', id: `${r.count.id}-error`, role: 'alert' }, err) : null,
      );
    }),
    h('div', { class: 'hint', id: 'counts-hint' }, '勾选的每个班级各建一项作业；份数默认是班级人数。'),
  );
}

export function editAssignment(ctx, id) {
  const { data, today } = ctx;
  const a = id ? data.assignments.find((x) => x.id === id) : null;
  const v = a || { title: '', kind: '', classId: null, collected: today, due: addDays(today, 7), submissions: '', minutesEach: '', graded: 0 };
  // A new assignment may go to several classes at once, each with its own count.
  const many = !a && data.classes.length > 0;

  const { f, kindList, rows } = assignmentControls(data, v, many, today);
  const labels = {
    title: ['标题'],
    kind: ['类型', '可不填。同一班级、同一类型的作业会共用记下的批改速度。'],
    classId: ['班级', data.classes.length ? null : '可以先在「班级」里添加班级。'],
    collected: ['收取日期'],
    due: ['归还日期', '这一天要把批好的作业发回去。'],
    submissions: ['份数'],
    minutesEach: ['每份约几分钟', paceHint(ctx, a)],
    graded: ['已批份数', a ? '减少时撤销已记下的批改，先撤今天的，再撤最近几天的；增加时先补回这样撤销的份数，其余的记为今天批的。' : null],
  };
  const warning = h('p', { class: 'notice warn', role: 'status', hidden: true });
  const showWarning = () => {
    const w = assignmentWarning({ collected: f.collected.value, due: f.due.value }, data, a ? null : today);
    warning.hidden = !w;
    warning.textContent = w || '';
  };
  for (const el of [f.collected, f.due]) for (const type of ['input', 'change']) el.addEventListener(type, showWarning);
  showWarning();

  const wrap = h('div', { class: 'form-grid' });
  const draw = (errors = {}) => {
    // With several classes the minutes sit beside 类型 and the dates come last.
    const order = many ? ['title', 'kind', 'minutesEach', 'collected', 'due'] : Object.keys(f);
    const parts = order.map((k) => field(labels[k][0], f[k], errors[k], labels[k][1]));
    parts.splice(2, 0, kindList);
    if (many) parts.splice(4, 0, classPicks(rows, errors));
    parts.push(warning);
    wrap.replaceChildren(...parts);
  };
  draw();

  const check = () => {
    const values = Object.fromEntries(Object.entries(f).map(([k, el]) => [k, el.value]));
    return many
      ? checkAssignmentForClasses(values, rows.map((x) => ({ classId: x.pick.checked ? x.c.id : '', submissions: x.count.value })), data)
      : checkAssignment(values, data);
  };
  // Errors are keyed by field; the form marks controls by id.
  const idOf = (k) => (f[k] ? (f[k].textInput || f[k]).id : k);

  return checkedForm({
    title: a ? '编辑作业' : '新建作业',
    body: wrap,
    submit: '保存',
    check,
    idOf,
    redraw: (errors) => {
      draw(errors);
      const bad = Object.keys(f).find((k) => errors[k]);
      const badRow = rows.find((x) => errors[`count-${x.c.id}`]);
      (bad ? f[bad] : badRow ? badRow.count : f.title).focus();
    },
    save: (r) => {
      if (many) {
        ctx.commit((d) => addAssignments(d, r.values, today));
        toast(r.values.length > 1 ? `已为 ${r.values.length} 个班级添加「${r.values[0].title}」。` : `已添加${titleOf(data, r.values[0])}。`);
      } else {
        ctx.commit((d) => saveAssignment(d, r.value, a ? a.id : null, today));
        toast(a ? `已保存${titleOf(data, r.value)}。` : `已添加${titleOf(data, r.value)}。`);
      }
    },
  });
}

export function recordDialog(ctx, id) {
  const a = ctx.data.assignments.find((x) => x.id === id);
  if (!a) return null;
  const date = dateField({ id: 'rp-date', value: ctx.today, min: a.collected <= ctx.today ? a.collected : null, max: ctx.today, today: ctx.today });
  const count = h('input', { id: 'rp-count', type: 'text', inputmode: 'numeric', autocomplete: 'off', value: '' });
  const minutes = h('input', { id: 'rp-min', type: 'text', inputmode: 'numeric', autocomplete: 'off', value: '', placeholder: '可不填' });
  const wrap = h('div', { class: 'form-grid' });
  const draw = (e = {}) =>
    wrap.replaceChildren(
      field('哪天批的', date, e.date),
      field('份数', count, e.count, `还剩 ${remainingOf(a)} 份`),
      field('实际用了几分钟', minutes, e.minutes, '填了，计划就按你的真实速度来算。'),
    );
  draw();
  const check = () => checkRecord({ date: date.value, count: count.value, minutes: minutes.value }, remainingOf(a), ctx.today, a.collected);
  const ids = { date: 'rp-date', count: 'rp-count', minutes: 'rp-min' };
  return checkedForm({
    title: `记录${titleOf(ctx.data, a)}的进度`,
    body: wrap,
    submit: '记录',
    check,
    idOf: (k) => ids[k],
    redraw: draw,
    save: (r) => {
      const { date: d, count: n, minutes: m } = r.value;
      ctx.commit((data) => recordProgress(data, a.id, n, d, m));
      const name = titleOf(ctx.data, a);
      toast(d === ctx.today ? `已记录${name}今天批了 ${n} 份。` : `已记录${name} ${fmtDate(d)} 批了 ${n} 份。`);
    },
  });
}

export function takeBackDialog(ctx, id) {
  const a = ctx.data.assignments.find((x) => x.id === id);
  const records = a ? recordsOf(ctx.data, id) : [];
  if (!records.length) return null;
  const day = h(
    'select',
    { id: 'tb-date' },
    records.map((r) => h('option', { value: r.date }, `${r.date === ctx.today ? '今天' : fmtDate(r.date)}（${r.n} 份）`)),
  );
  const count = h('input', { id: 'tb-count', type: 'text', inputmode: 'numeric', autocomplete: 'off', value: '1' });
  const wrap = h('div', { class: 'form-grid' });
  const draw = (err) => wrap.replaceChildren(field('记录的日期', day), field('撤销几份', count, err));
  draw();
  const valid = () => {
    const r = records.find((x) => x.date === day.value);
    const n = toNumber(count.value);
    return r && Number.isInteger(n) && n >= 1 && n <= r.n;
  };
  return formDialog({
    title: `撤销${titleOf(ctx.data, a)}的进度`,
    body: wrap,
    submit: '撤销',
    invalid: () => new Set(valid() ? [] : ['tb-count']),
    onSubmit: () => {
      const r = records.find((x) => x.date === day.value);
      const n = toNumber(count.value);
      if (!valid()) {
        draw(`应为 1 到 ${r ? r.n : 0} 的整数。`);
        return false;
      }
      ctx.commit((data) => recordProgress(data, a.id, -n, r.date));
      toast(`已撤销${titleOf(ctx.data, a)} ${n} 份。`);
      return true;
    },
  });
}
