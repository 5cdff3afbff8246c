// Assignments and classes: lists, forms and deletion.

import { h, dot, fmtDate, fmtMinutes, field, openDialog, confirmDialog, toast } from './ui.js';
import { addDays } from './dates.js';
import { remainingOf } from './planner.js';
import {
  PALETTE,
  checkAssignment,
  checkClass,
  classOf,
  deleteAssignment,
  deleteClass,
  saveAssignment,
  saveClass,
} from './model.js';

const input = (id, attrs) => h('input', { id, name: id, ...attrs });

export function editAssignment(ctx, id) {
  const { data, today } = ctx;
  const a = id ? data.assignments.find((x) => x.id === id) : null;
  const v = a || { title: '', classId: data.classes[0] ? data.classes[0].id : null, collected: today, due: addDays(today, 7), submissions: '', minutesEach: '', graded: 0 };

  const f = {
    title: input('f-title', { type: 'text', value: v.title, maxlength: '80', autocomplete: 'off' }),
    classId: h(
      'select',
      { id: 'f-class', name: 'f-class' },
      h('option', { value: '', selected: !v.classId }, '未分班'),
      data.classes.map((c) => h('option', { value: c.id, selected: c.id === v.classId }, c.name)),
    ),
    collected: input('f-collected', { type: 'date', value: v.collected, placeholder: 'YYYY-MM-DD' }),
    due: input('f-due', { type: 'date', value: v.due, placeholder: 'YYYY-MM-DD' }),
    submissions: input('f-subs', { type: 'number', min: '0', step: '1', inputmode: 'numeric', value: String(v.submissions) }),
    minutesEach: input('f-mins', { type: 'number', min: '0.5', step: '0.5', inputmode: 'decimal', value: String(v.minutesEach) }),
    graded: input('f-graded', { type: 'number', min: '0', step: '1', inputmode: 'numeric', value: String(v.graded) }),
  };
  const labels = {
    title: ['标题'],
    classId: ['班级', data.classes.length ? null : '可以先在「班级」里添加班级。'],
    collected: ['收取日期'],
    due: ['归还日期', '这一天要把批好的作业发回去。'],
    submissions: ['份数'],
    minutesEach: ['每份约几分钟'],
    graded: ['已批份数'],
  };
  const wrap = h('div', { class: 'form-grid' });
  const draw = (errors = {}) =>
    wrap.replaceChildren(...Object.keys(f).map((k) => field(labels[k][0], f[k], errors[k], labels[k][1])));
  draw();

  return openDialog({
    title: a ? '编辑作业' : '新建作业',
    body: wrap,
    actions: [
      { label: '取消', value: false },
      {
        label: '保存',
        kind: 'primary',
        submit: true,
        onClick: () => {
          const values = Object.fromEntries(Object.entries(f).map(([k, el]) => [k, el.value]));
          const r = checkAssignment(values, data);
          if (!r.ok) {
            draw(r.errors);
            const bad = Object.keys(f).find((k) => r.errors[k]);
            f[bad].focus();
            return false;
          }
          ctx.commit((d) => saveAssignment(d, r.value, a ? a.id : null));
          toast(a ? '已保存。' : `已添加「${r.value.title}」。`);
          return true;
        },
      },
    ],
  });
}

async function removeAssignment(ctx, a) {
  const ok = await confirmDialog({ title: '删除作业', message: `删除「${a.title}」？它的批改进度也会一起删除。`, ok: '删除', danger: true });
  if (ok) ctx.commit((d) => deleteAssignment(d, a.id));
}

export function renderAssignments(ctx) {
  const { data, plan } = ctx;
  const showDone = !!ctx.params.showDone;
  const list = data.assignments
    .filter((a) => showDone || remainingOf(a) > 0)
    .slice()
    .sort((x, y) => (x.due < y.due ? -1 : x.due > y.due ? 1 : x.title < y.title ? -1 : 1));
  const hiddenDone = data.assignments.filter((a) => remainingOf(a) === 0).length;

  const rows = list.map((a) => {
    const cls = classOf(data, a);
    const st = plan.status.get(a.id);
    let state;
    if (!st) state = h('span', { class: 'tag ok' }, '已批完');
    else if (st.late) state = h('span', { class: 'tag warn' }, `差 ${st.late} 份`);
    else state = h('span', { class: 'tag ok' }, st.lastDay ? `${fmtDate(st.lastDay, 'short')} 批完` : '按时');
    return h(
      'tr',
      null,
      h('td', null, dot(cls ? cls.color : '#9a9a9a'), ' ', h('strong', null, a.title)),
      h('td', null, cls ? cls.name : h('span', { class: 'muted' }, '未分班')),
      h('td', null, fmtDate(a.collected, 'short')),
      h('td', null, fmtDate(a.due, 'medium')),
      h('td', null, h('progress', { max: Math.max(1, a.submissions), value: a.graded, 'aria-hidden': 'true' }), ` ${a.graded} / ${a.submissions}`),
      h('td', { class: 'num' }, `${a.minutesEach} 分钟`),
      h('td', { class: 'num' }, fmtMinutes(remainingOf(a) * a.minutesEach)),
      h('td', null, state),
      h(
        'td',
        { class: 'row-actions' },
        h('button', { type: 'button', class: 'btn small', 'data-key': `edit-${a.id}`, 'aria-label': `编辑「${a.title}」`, onclick: () => editAssignment(ctx, a.id) }, '编辑'),
        h('button', { type: 'button', class: 'btn small quiet', 'data-key': `del-${a.id}`, 'aria-label': `删除「${a.title}」`, onclick: () => removeAssignment(ctx, a) }, '删除'),
      ),
    );
  });

  const toggle = h('input', {
    type: 'checkbox',
    id: 'show-done',
    'data-key': 'show-done',
    checked: showDone,
    onchange: (ev) => ctx.go('assignments', { showDone: ev.target.checked }),
  });

  return h(
    'div',
    { class: 'view' },
    h(
      'header',
      { class: 'view-head' },
      h('div', null, h('h1', { tabindex: '-1' }, '作业'), h('p', { class: 'sub' }, `进行中 ${data.assignments.length - hiddenDone} 项，已批完 ${hiddenDone} 项`)),
      h(
        'div',
        { class: 'head-actions' },
        h('label', { class: 'check' }, toggle, '显示已批完'),
        h('button', { type: 'button', class: 'btn primary', 'data-key': 'new-assignment', onclick: () => editAssignment(ctx, null) }, '新建作业'),
      ),
    ),
    rows.length
      ? h(
          'section',
          { class: 'card' },
          h(
            'table',
            { class: 'table' },
            h('thead', null, h('tr', null, ['作业', '班级', '收取', '归还', '进度', '每份', '剩余时间', '状态', h('span', { class: 'sr' }, '操作')].map((t) => h('th', { scope: 'col' }, t)))),
            h('tbody', null, rows),
          ),
        )
      : h('div', { class: 'empty' }, h('p', null, data.assignments.length ? '所有作业都批完了。' : '还没有作业。')),
  );
}

function classForm(ctx, c) {
  const name = input(c ? `cn-${c.id}` : 'cn-new', { type: 'text', value: c ? c.name : '', maxlength: '40', autocomplete: 'off' });
  const current = c ? c.color : PALETTE[ctx.data.classes.length % PALETTE.length].color;
  const group = c ? c.id : 'new';
  const swatches = h(
    'div',
    { class: 'palette', role: 'radiogroup', 'aria-label': '颜色' },
    PALETTE.map((p) =>
      h(
        'label',
        { class: 'swatch-pick', title: p.name },
        h('input', { type: 'radio', name: `color-${group}`, value: p.color, checked: p.color === current, 'aria-label': p.name }),
        h('span', { style: { background: p.color }, 'aria-hidden': 'true' }),
      ),
    ),
  );
  return { name, swatches, color: () => (swatches.querySelector('input:checked') || {}).value };
}

async function editClass(ctx, c) {
  const form = classForm(ctx, c);
  const wrap = h('div');
  const draw = (err) => wrap.replaceChildren(field('名称', form.name, err), h('div', { class: 'field' }, h('span', { class: 'label' }, '颜色'), form.swatches));
  draw();
  await openDialog({
    title: c ? '编辑班级' : '新建班级',
    body: wrap,
    actions: [
      { label: '取消', value: false },
      {
        label: '保存',
        kind: 'primary',
        submit: true,
        onClick: () => {
          const r = checkClass({ name: form.name.value, color: form.color() }, ctx.data, c ? c.id : null);
          if (!r.ok) {
            draw(r.errors.name);
            form.name.focus();
            return false;
          }
          ctx.commit((d) => saveClass(d, r.value, c ? c.id : null));
          return true;
        },
      },
    ],
  });
}

async function removeClass(ctx, c) {
  const n = ctx.data.assignments.filter((a) => a.classId === c.id).length;
  const ok = await confirmDialog({
    title: '删除班级',
    message: n ? `删除「${c.name}」？它的 ${n} 项作业会保留，变为未分班。` : `删除「${c.name}」？`,
    ok: '删除',
    danger: true,
  });
  if (ok) ctx.commit((d) => deleteClass(d, c.id));
}

export function renderClasses(ctx) {
  const { data } = ctx;
  const cards = data.classes.map((c) => {
    const own = data.assignments.filter((a) => a.classId === c.id);
    const open = own.filter((a) => remainingOf(a) > 0);
    const minutes = open.reduce((m, a) => m + remainingOf(a) * a.minutesEach, 0);
    return h(
      'li',
      { class: 'class-card', style: { borderLeftColor: c.color } },
      h('div', { class: 'grow' }, h('strong', null, c.name), h('div', { class: 'muted' }, `${own.length} 项作业，未批 ${open.length} 项，约 ${fmtMinutes(minutes)}`)),
      h('button', { type: 'button', class: 'btn small', 'data-key': `cedit-${c.id}`, 'aria-label': `编辑「${c.name}」`, onclick: () => editClass(ctx, c) }, '编辑'),
      h('button', { type: 'button', class: 'btn small quiet', 'data-key': `cdel-${c.id}`, 'aria-label': `删除「${c.name}」`, onclick: () => removeClass(ctx, c) }, '删除'),
    );
  });
  return h(
    'div',
    { class: 'view' },
    h(
      'header',
      { class: 'view-head' },
      h('div', null, h('h1', { tabindex: '-1' }, '班级'), h('p', { class: 'sub' }, `共 ${data.classes.length} 个班级`)),
      h('button', { type: 'button', class: 'btn primary', 'data-key': 'new-class', onclick: () => editClass(ctx, null) }, '新建班级'),
    ),
    cards.length ? h('ul', { class: 'classes' }, cards) : h('div', { class: 'empty' }, h('p', null, '还没有班级。班级的颜色会标在计划和周视图里。')),
  );
}
