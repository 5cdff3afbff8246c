// Assignments and classes: lists, forms and deletion.

import { h, checkedForm, dot, fmtDate, fmtMinutes, field, confirmDialog, inPieces, input, showMore, TABLE_ROWS, toast } from './ui.js';
import { addDays, diffDays, startOfWeek } from './dates.js';
import { remainingOf } from './planner.js';
import {
  PALETTE,
  WEEKDAYS,
  checkClass,
  checkTemplate,
  classOf,
  KEEP_DELETED_DAYS,
  deleteKept,
  isFinished,
  pastDue,
  restoreKept,
  runTemplates,
  saveClass,
  saveTemplate,
  setReturned,
  titleOf,
} from './model.js';
import { editAssignment, kindInput, recordDialog } from './dialogs.js';
import { paceSource, paceText } from './planparts.js';
import { rememberedParts } from './patch.js';

// The grading time left at the pace the plan uses.
function remainingMinutes(plan, a) {
  const st = plan.status.get(a.id);
  return remainingOf(a) * (st ? st.pace.minutes : a.minutesEach);
}

async function removeAssignment(ctx, a) {
  const name = titleOf(ctx.data, a);
  const ok = await confirmDialog({ title: '删除作业', message: `删除${name}？已经记下的批改用时会保留。`, ok: '删除', danger: true });
  if (!ok) return;
  remove(ctx, 'assignment', a.id, `已删除${name}。`);
}

// 已归还: no longer planned, its records kept; offered to undo at once.
function markReturned(ctx, ids, on) {
  let changed = [];
  ctx.commit((d) => (changed = setReturned(d, ids, on)));
  if (!changed.length) return;
  const what = changed.length === 1 ? titleOf(ctx.data, ctx.data.assignments.find((a) => a.id === changed[0])) : `${changed.length} 项作业`;
  const message = on ? `${what}已标为已归还，不再安排批改。` : `${what}又会安排批改了。`;
  toast(message, { label: '撤销', done: on ? `已撤销：${what}又会安排批改了。` : `已撤销：${what}仍是已归还。`, onClick: () => ctx.commit((d) => setReturned(d, changed, !on)) });
}

// Deletes, and offers the undo at once; the same undo stays in 最近删除.
function remove(ctx, kind, id, message) {
  let kept = null;
  ctx.commit((d) => (kept = deleteKept(d, kind, id, ctx.today)));
  if (kept) toast(message, { label: '撤销', done: `已撤销删除：${message.replace(/^已删除|。$/g, '')}已恢复。`, onClick: () => ctx.commit((d) => restoreKept(d, kept)) });
}

const DELETED_NAMES = {
  assignment: (data, u) => `作业${titleOf(data, u.assignment)}`,
  class: (data, u) => `班级「${u.cls.name}」`,
  template: (data, u) => `每周作业「${u.template.title}」`,
};

// 最近删除, for the kinds this screen deals with.
function deletedSection(ctx, kinds) {
  const { data, today } = ctx;
  const list = data.deleted.filter((e) => kinds.includes(e.kind));
  if (!list.length) return null;
  const items = list.map((e) => {
    const left = KEEP_DELETED_DAYS - diffDays(e.date, today);
    const name = DELETED_NAMES[e.kind](data, e.undo);
    return h(
      'li',
      { class: 'tpl-row' },
      h('span', { class: 'grow' }, name, h('span', { class: 'muted' }, ` · ${fmtDate(e.date, e.date.slice(0, 4) === today.slice(0, 4) ? 'short' : 'shortYear')} 删除，${left > 0 ? `还保留 ${left} 天` : '今天是最后一天'}`)),
      h(
        'button',
        {
          type: 'button',
          class: 'btn small',
          'data-key': `restore-${e.id}`,
          'aria-label': `恢复${name}`,
          onclick: () => {
            ctx.commit((d) => restoreKept(d, e.id));
            toast(`已恢复${name}。`);
          },
        },
        '恢复',
      ),
    );
  });
  return h(
    'section',
    { class: 'card', 'aria-labelledby': `deleted-${kinds[0]}` },
    h('h2', { id: `deleted-${kinds[0]}` }, '最近删除'),
    h('p', { class: 'muted' }, `删除的内容保留 ${KEEP_DELETED_DAYS} 天，可以恢复；备份里也有。`),
    h('ul', { class: 'tpl-list' }, items),
  );
}

const drawRows = rememberedParts();

// One row of the table.
function assignmentRow(ctx, a) {
  const { data, plan } = ctx;
  const cls = classOf(data, a);
  const st = plan.status.get(a.id);
  const name = titleOf(data, a);
  let state;
  if (a.returned) state = h('span', { class: 'tag' }, '已归还');
  else if (!st) state = h('span', { class: 'tag ok' }, '已批完');
  else if (st.needsCount) state = h('span', { class: 'tag warn' }, '份数待填');
  else if (st.late) state = h('span', { class: 'tag warn' }, st.overdue ? `逾期 ${st.late} 份` : `差 ${st.late} 份`);
  else state = h('span', { class: 'tag ok' }, st.lastDay ? `${fmtDate(st.lastDay, 'short')} 批完` : '按时');
  return h(
    'tr',
    null,
    h('td', { class: 'title-cell' }, dot(cls ? cls.color : '#9a9a9a'), ' ', h('strong', null, a.title), a.kind ? h('span', { class: 'tag' }, a.kind) : null),
    h('td', { class: 'nowrap' }, cls ? cls.name : h('span', { class: 'muted' }, '未分班')),
    h('td', { class: 'nowrap' }, fmtDate(a.collected, 'short')),
    h('td', { class: 'nowrap' }, fmtDate(a.due, 'medium')),
    h('td', { class: 'progress-cell' }, h('progress', { max: Math.max(1, a.submissions), value: a.graded, 'aria-hidden': 'true' }), ` ${a.graded} / ${a.submissions}`),
    h('td', { class: 'num', title: st ? paceText(ctx, a, st.pace) : null }, `${st ? st.pace.minutes : a.minutesEach} 分钟`, st && paceSource(a, st.pace) ? h('span', { class: 'muted pace-src' }, ` ${paceSource(a, st.pace)}`) : null),
    h('td', { class: 'num' }, st && st.needsCount ? '—' : fmtMinutes(remainingMinutes(ctx.plan, a))),
    h('td', null, state),
    h(
      'td',
      { class: 'row-actions' },
      remainingOf(a) > 0
        ? h('button', { type: 'button', class: 'btn small', 'data-key': `rec-${a.id}`, 'aria-label': `记录${name}的进度`, onclick: () => recordDialog(ctx, a.id) }, '记录')
        : null,
      a.returned || (remainingOf(a) > 0 && a.due < ctx.today)
        ? h(
            'button',
            {
              type: 'button',
              class: 'btn small quiet',
              'data-key': `ret-${a.id}`,
              'aria-label': a.returned ? `${name}取消已归还` : `${name}标为已归还`,
              onclick: () => markReturned(ctx, [a.id], !a.returned),
            },
            a.returned ? '取消已归还' : '已归还',
          )
        : null,
      h('button', { type: 'button', class: 'btn small', 'data-key': `edit-${a.id}`, 'aria-label': `编辑${name}`, onclick: () => editAssignment(ctx, a.id) }, '编辑'),
      h('button', { type: 'button', class: 'btn small quiet', 'data-key': `del-${a.id}`, 'aria-label': `删除${name}`, onclick: () => removeAssignment(ctx, a) }, '删除'),
    ),
  );
}

export function renderAssignments(ctx) {
  const { data, plan } = ctx;
  const showDone = !!ctx.params.showDone;
  const list = data.assignments
    .filter((a) => showDone || !isFinished(a))
    .slice()
    .sort((x, y) => (x.due < y.due ? -1 : x.due > y.due ? 1 : x.title < y.title ? -1 : 1));
  const hiddenDone = data.assignments.filter(isFinished).length;
  const overdue = pastDue(data, ctx.today);

  const piece = inPieces(list, ctx.params.rowsShown || TABLE_ROWS.first, TABLE_ROWS.more, '项', 'rows-more', showMore(ctx, 'rowsShown'));
  // A row is a function of its assignment, its status, the classes and the day.
  const shared = JSON.stringify([data.classes, ctx.today]);
  const rows = drawRows(piece.items, {
    key: (a) => a.id,
    sig: (a) => shared + JSON.stringify([a, plan.status.get(a.id)]),
    // Its handlers use the assignment and the day.
    deps: (a) => [a, ctx.today],
    build: (a) => assignmentRow(ctx, a),
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
        overdue.length
          ? h(
              'button',
              { type: 'button', class: 'btn', 'data-key': 'return-all', onclick: () => markReturned(ctx, overdue.map((a) => a.id), true) },
              `逾期的 ${overdue.length} 项都已归还`,
            )
          : null,
        h('button', { type: 'button', class: 'btn primary', 'data-key': 'new-assignment', onclick: () => editAssignment(ctx, null) }, '新建作业'),
      ),
    ),
    rows.length
      ? h(
          'section',
          { class: 'card' },
          h(
            'table',
            { class: 'table assignment-table' },
            h('thead', null, h('tr', null, ['作业', '班级', '收取', '归还', '进度', '每份', '剩余时间', '状态', h('span', { class: 'sr' }, '操作')].map((t) => h('th', { scope: 'col' }, t)))),
            h('tbody', null, rows),
          ),
          piece.more,
        )
      : h('div', { class: 'empty' }, h('p', null, data.assignments.length ? '所有作业都批完了。' : '还没有作业。')),
    templatesSection(ctx),
    deletedSection(ctx, ['assignment', 'template']),
  );
}

// When a template adds its first assignments: on its day this week, unless
// that day is past or this week is done, else on its day next week.
export function templateStart(weekday, doneThisWeek, today) {
  const week = startOfWeek(today);
  const thisWeek = !doneThisWeek && addDays(week, weekday) >= today;
  const day = addDays(week, weekday + (thisWeek ? 0 : 7));
  const name = WEEKDAYS[weekday];
  return `${thisWeek ? '本' : '下'}${name}（${+day.slice(5, 7)}月${+day.slice(8, 10)}日）起每${name}自动添加`;
}

// A template that has added nothing yet says when it will.
const startNote = (ctx, t) =>
  ctx.data.assignments.some((a) => a.templateId === t.id) ? null : templateStart(t.weekday, !!t.lastWeek && t.lastWeek >= startOfWeek(ctx.today), ctx.today);

// Weekly templates: the homework that comes back every week.
function templatesSection(ctx) {
  const { data } = ctx;
  const items = data.templates.map((t) => {
    const names = t.classIds.map((id) => (data.classes.find((c) => c.id === id) || {}).name).filter(Boolean);
    const note = startNote(ctx, t);
    return h(
      'li',
      { class: 'tpl-row' },
      h(
        'span',
        { class: 'grow' },
        h('strong', null, t.title),
        t.kind ? h('span', { class: 'tag' }, t.kind) : null,
        h('span', { class: 'muted' }, ` · 每${WEEKDAYS[t.weekday]}收，${t.dueAfter} 天后归还 · ${names.join('、') || '没有班级'} · 每份约 ${t.minutesEach} 分钟`),
        note ? h('div', { class: 'tpl-note' }, note) : null,
      ),
      h('button', { type: 'button', class: 'btn small', 'data-key': `tedit-${t.id}`, onclick: () => editTemplate(ctx, t) }, '编辑'),
      h(
        'button',
        {
          type: 'button',
          class: 'btn small quiet',
          'data-key': `tdel-${t.id}`,
          onclick: () => remove(ctx, 'template', t.id, `已删除每周作业「${t.title}」。`),
        },
        '删除',
      ),
    );
  });
  return h(
    'section',
    { class: 'card', 'aria-labelledby': 'tpl-title' },
    h(
      'div',
      { class: 'day-head' },
      h('h2', { id: 'tpl-title' }, '每周作业'),
      h('button', { type: 'button', class: 'btn small', 'data-key': 'new-template', disabled: !data.classes.length, onclick: () => editTemplate(ctx, null) }, '新建每周作业'),
    ),
    items.length
      ? h('ul', { class: 'tpl-list' }, items)
      : h('p', { class: 'muted' }, data.classes.length ? '每周都有的作业（比如周一收的周记）建一次，每周会自动出现，份数用班级人数。' : '先添加班级，再建每周作业。'),
  );
}

function editTemplate(ctx, t) {
  const { data } = ctx;
  const v = t || { title: '', kind: '', classIds: data.classes.map((c) => c.id), weekday: 0, dueAfter: 7, minutesEach: '' };
  const [kindEl, kindList] = kindInput('t-kind', v.kind);
  const title = input('t-title', { type: 'text', value: v.title, autocomplete: 'off' });
  const weekday = h('select', { id: 't-weekday' }, WEEKDAYS.map((w, i) => h('option', { value: String(i), selected: i === v.weekday }, w)));
  // Until it has added anything, the form says when it first will.
  const fresh = !t || !data.assignments.some((a) => a.templateId === t.id);
  const doneThisWeek = !!t && !!t.lastWeek && t.lastWeek >= startOfWeek(ctx.today);
  const startHint = h('span', { 'aria-live': 'polite' });
  const showStart = () => (startHint.textContent = fresh ? `${templateStart(Number(weekday.value), doneThisWeek, ctx.today)}。` : '');
  weekday.addEventListener('change', showStart);
  showStart();
  const dueAfter = input('t-due', { type: 'text', inputmode: 'numeric', autocomplete: 'off', value: String(v.dueAfter) });
  const minutes = input('t-mins', { type: 'text', inputmode: 'decimal', autocomplete: 'off', value: String(v.minutesEach) });
  const picks = data.classes.map((c) => ({ c, el: h('input', { type: 'checkbox', id: `t-pick-${c.id}`, checked: v.classIds.includes(c.id) }) }));
  const wrap = h('div', { class: 'form-grid' });
  const draw = (e = {}) =>
    wrap.replaceChildren(
      field('标题', title, e.title),
      field('类型', kindEl, e.kind),
      kindList,
      field('每周哪天收', weekday, e.weekday, startHint),
      field('几天后归还', dueAfter, e.dueAfter),
      field('每份约几分钟', minutes, e.minutesEach),
      h(
        'fieldset',
        { class: 'field classes-pick', id: 't-classes', 'aria-invalid': e.classIds ? 'true' : null, 'aria-describedby': e.classIds ? 't-classes-error' : null },
        h('legend', { class: 'label' }, '班级'),
        picks.map((p) => h('label', { for: p.el.id, class: 'check' }, p.el, dot(p.c.color), p.c.name, h('span', { class: 'muted' }, p.c.size === null ? '（未填人数）' : `（${p.c.size} 人）`))),
        e.classIds ? h('span', { class: 'error', id: 't-classes-error', role: 'alert' }, e.classIds) : null,
      ),
    );
  draw();
  const check = () =>
    checkTemplate(
      { title: title.value, kind: kindEl.value, weekday: weekday.value, dueAfter: dueAfter.value, minutesEach: minutes.value, classIds: picks.filter((p) => p.el.checked).map((p) => p.c.id) },
      data,
    );
  const ids = { title: 't-title', kind: 't-kind', weekday: 't-weekday', dueAfter: 't-due', minutesEach: 't-mins', classIds: 't-classes' };
  return checkedForm({
    title: t ? '编辑每周作业' : '新建每周作业',
    body: wrap,
    submit: '保存',
    check,
    idOf: (k) => ids[k],
    redraw: draw,
    save: (r) => {
      // This week's assignments come at once, not at the next day or reload:
      // otherwise a template made on its own Sunday never gives that week's.
      let made = [];
      let id = null;
      ctx.commit((d) => {
        id = saveTemplate(d, r.value, t ? t.id : null, ctx.today);
        made = runTemplates(d, ctx.today);
      });
      const saved = ctx.data.templates.find((x) => x.id === id);
      const note = saved && startNote(ctx, saved);
      toast(made.length ? `已保存每周作业，并添加了 ${made.length} 项本周作业。` : note ? `已保存每周作业，${note}。` : '已保存每周作业。');
    },
  });
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
  const size = input(c ? `cs-${c.id}` : 'cs-new', { type: 'text', inputmode: 'numeric', autocomplete: 'off', value: c && c.size !== null && c.size !== undefined ? String(c.size) : '' });
  return { name, size, swatches, color: () => (swatches.querySelector('input:checked') || {}).value };
}

async function editClass(ctx, c) {
  const form = classForm(ctx, c);
  const wrap = h('div');
  const draw = (e = {}) =>
    wrap.replaceChildren(
      field('名称', form.name, e.name),
      field('人数', form.size, e.size, '每次收作业的份数，新建作业和每周作业默认用它。可不填。'),
      h('div', { class: 'field' }, h('span', { class: 'label' }, '颜色'), form.swatches),
    );
  draw();
  const check = () => checkClass({ name: form.name.value, color: form.color(), size: form.size.value }, ctx.data, c ? c.id : null);
  await checkedForm({
    title: c ? '编辑班级' : '新建班级',
    body: wrap,
    submit: '保存',
    check,
    idOf: (k) => form[k].id,
    redraw: (errors) => {
      draw(errors);
      (errors.name ? form.name : form.size).focus();
    },
    save: (r) => {
      ctx.commit((d) => saveClass(d, r.value, c ? c.id : null));
    },
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
  if (!ok) return;
  remove(ctx, 'class', c.id, `已删除班级「${c.name}」。`);
}

export function renderClasses(ctx) {
  const { data } = ctx;
  // Each class's assignments, in one pass over a year of them.
  const byClass = new Map(data.classes.map((c) => [c.id, []]));
  for (const a of data.assignments) byClass.get(a.classId)?.push(a);
  const cards = data.classes.map((c) => {
    const own = byClass.get(c.id);
    const open = own.filter((a) => !isFinished(a));
    const waiting = open.filter((a) => a.submissions === 0).length;
    const minutes = open.reduce((m, a) => m + remainingMinutes(ctx.plan, a), 0);
    return h(
      'li',
      { class: 'class-card', style: { borderLeftColor: c.color } },
      h('div', { class: 'grow' }, h('strong', null, c.name), h('div', { class: 'muted' }, `${c.size === null || c.size === undefined ? '' : `${c.size} 人 · `}${own.length} 项作业，未批 ${open.length} 项${waiting ? `（${waiting} 项份数待填）` : ''}，约 `, h('span', { class: 'num' }, fmtMinutes(minutes)))),
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
    deletedSection(ctx, ['class']),
  );
}
