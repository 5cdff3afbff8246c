// Time available for grading: per weekday, and exceptions for single dates.

import { h, clearError, fmtDate, fmtMinutes, field, inPieces, showMore, toast } from './ui.js';
import { addDays, isISODate, startOfWeek } from './dates.js';
import { checkMinutes, dateError, removeException, setException } from './model.js';
import { dateField } from './datefield.js';
import { rememberedParts } from './patch.js';

const drawSoon = rememberedParts();
const drawPast = rememberedParts();

export function renderTime(ctx) {
  const { data, today } = ctx;
  const weekly = data.availability.weekly;
  const names = Array.from({ length: 7 }, (_, i) => h('span', null, fmtDate(addDays(startOfWeek(today), i), 'weekdayLong')));
  const errors = ctx.params.errors || {};
  // Errors stay beside their field, and focus stays where the teacher is.
  const showErrors = (params, focusOn) => {
    ctx.params = params;
    if (focusOn) focusOn.focus();
    ctx.render();
  };
  const max = Math.max(60, ...weekly);
  // A field marked wrong loses the mark as soon as its value is right.
  const unmark = (el, ok) => () => {
    if (el.getAttribute('aria-invalid') !== 'true' || !ok()) return;
    clearError(el);
    if (ctx.params.errors) delete ctx.params.errors[el.id];
  };

  const dayInputs = weekly.map((m, i) => {
    const id = `wk-${i}`;
    const el = h('input', {
      id,
      type: 'text',
      inputmode: 'numeric',
      autocomplete: 'off',
      value: String(m),
      'data-key': id,
      oninput: (ev) => unmark(ev.target, () => checkMinutes(ev.target.value) !== null)(),
      onchange: (ev) => {
        const n = checkMinutes(ev.target.value);
        if (n === null) return showErrors({ errors: { [id]: '请填 0 到 1440 之间的整数。' } });
        ctx.params.errors = {};
        ctx.commit((d) => (d.availability.weekly[i] = n));
      },
    });
    return h(
      'div',
      { class: 'wk-row' },
      field(names[i].textContent, el, errors[id]),
      h('div', { class: 'wk-bar', 'aria-hidden': 'true' }, h('div', { style: { width: `${(m / max) * 100}%` } })),
      h('span', { class: 'muted wk-text' }, fmtMinutes(m)),
    );
  });

  const exDate = dateField({ id: 'ex-date', key: 'ex-date', value: ctx.params.exDate || addDays(today, 1), today });
  const exMinutes = h('input', { id: 'ex-min', 'data-key': 'ex-min', type: 'text', inputmode: 'numeric', autocomplete: 'off', value: ctx.params.exMin ?? '0' });
  exDate.addEventListener('input', unmark(exDate.textInput, () => isISODate(exDate.value)));
  exMinutes.addEventListener('input', unmark(exMinutes, () => checkMinutes(exMinutes.value) !== null));
  const exNote = h('input', { id: 'ex-note', 'data-key': 'ex-note', type: 'text', maxlength: '40', value: ctx.params.exNote || '', placeholder: '例如：运动会、晚上有空' });

  const addException = (ev) => {
    ev.preventDefault();
    const date = exDate.value.trim();
    const minutes = checkMinutes(exMinutes.value);
    const keep = { exDate: date, exMin: exMinutes.value, exNote: exNote.value };
    if (!isISODate(date)) return showErrors({ ...keep, errors: { 'ex-date': dateError(date, '请填写日期。') } }, exDate);
    if (minutes === null) return showErrors({ ...keep, errors: { 'ex-min': '请填 0 到 1440 之间的整数。' } }, exMinutes);
    const existed = data.availability.exceptions.some((e) => e.date === date);
    ctx.params = {};
    ctx.commit((d) => setException(d, date, minutes, exNote.value));
    toast(existed ? `已更新 ${fmtDate(date)} 的安排。` : `已添加 ${fmtDate(date)}。`);
  };

  const upcoming = data.availability.exceptions.filter((e) => e.date >= today);
  const past = data.availability.exceptions.filter((e) => e.date < today).reverse();
  const piece = (list, name, first) =>
    inPieces(list, ctx.params[name] || first, 100, '个', name, showMore(ctx, name));
  const soon = piece(upcoming, 'exShown', 30);
  // The past ones are built only once opened.
  const pastOpen = !!ctx.params.pastOpen;
  const gone = pastOpen ? piece(past, 'pastShown', 30) : null;
  // A row is its exception; its button acts on that date.
  const exRows = (draw, items) => draw(items, { key: (e) => e.date, sig: (e) => JSON.stringify(e), deps: () => [ctx], build: exRow });
  const exRow = (e) =>
    h(
      'li',
      { class: 'ex-row' },
      h('span', { class: 'ex-date' }, fmtDate(e.date, 'full')),
      h('span', { class: 'num' }, e.minutes === 0 ? '不批改' : fmtMinutes(e.minutes)),
      h('span', { class: 'muted grow' }, e.note),
      h(
        'button',
        {
          type: 'button',
          class: 'btn small quiet',
          'data-key': `exdel-${e.date}`,
          'aria-label': `删除 ${fmtDate(e.date)} 的例外`,
          onclick: () => ctx.commit((d) => removeException(d, e.date)),
        },
        '删除',
      ),
    );

  return h(
    'div',
    { class: 'view' },
    h(
      'header',
      { class: 'view-head' },
      h('div', null, h('h1', { tabindex: '-1' }, '可用时间'), h('p', { class: 'sub' }, `每周共 ${fmtMinutes(weekly.reduce((a, b) => a + b, 0))}，修改后立即重新计划`)),
    ),
    h('div', { class: 'two-col' },
      h('section', { class: 'card' }, h('h2', null, '每周'), h('p', { class: 'muted' }, '每天可以用来批改的分钟数。'), h('div', { class: 'wk' }, dayInputs)),
      h(
        'section',
        { class: 'card' },
        h('h2', null, '例外日期'),
        h('p', { class: 'muted' }, '某一天不按每周的安排：休息填 0，多出时间就填更多分钟。'),
        h(
          'form',
          { class: 'ex-form', onsubmit: addException },
          field('日期', exDate, errors['ex-date']),
          field('分钟', exMinutes, errors['ex-min']),
          field('备注', exNote),
          h('button', { type: 'submit', class: 'btn primary', 'data-key': 'ex-add' }, '添加'),
        ),
        upcoming.length ? [h('ul', { class: 'ex-list' }, exRows(drawSoon, soon.items)), soon.more] : h('p', { class: 'muted' }, '没有即将到来的例外。'),
        past.length
          ? h(
              'details',
              {
                open: pastOpen,
                ontoggle: (ev) => {
                  if (ev.target.open === pastOpen) return;
                  ctx.params.pastOpen = ev.target.open;
                  ctx.render();
                },
              },
              h('summary', { 'data-key': 'ex-past' }, `已过去的 ${past.length} 个`),
              gone ? [h('ul', { class: 'ex-list' }, exRows(drawPast, gone.items)), gone.more] : null,
            )
          : null,
      ),
    ),
  );
}
