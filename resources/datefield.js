// The page's own date field: a text box showing "2026/12/09 周三" that takes a
// typed date, and a pop-up month calendar in Chinese, Monday first. The
// engine's <input type=date> follows the system's language instead of the
// page's, so it is not used. Values in and out are "YYYY-MM-DD" strings.

import { whole } from './patch.js';
import { h } from './ui.js';
import { WEEKDAY_NAMES, addDays, addMonths, clampDate, formatDateText, isISODate, pad2, parseDateText, startOfWeek, weekdayIndex } from './dates.js';

// Where a key moves the calendar's focused day, kept within min..max; null
// for keys that do not move it.
export function moveDate(day, key, { shift = false, min, max } = {}) {
  const step = {
    ArrowLeft: () => addDays(day, -1),
    ArrowRight: () => addDays(day, 1),
    ArrowUp: () => addDays(day, -7),
    ArrowDown: () => addDays(day, 7),
    Home: () => startOfWeek(day),
    End: () => addDays(startOfWeek(day), 6),
    PageUp: () => addMonths(day, shift ? -12 : -1),
    PageDown: () => addMonths(day, shift ? 12 : 1),
  }[key];
  if (!step) return null;
  const next = step();
  return isISODate(next) ? clampDate(next, min, max) : day;
}

// Six weeks of days from the Monday on or before the 1st, so the calendar
// keeps its height from month to month.
export function monthGrid(year, month) {
  const first = startOfWeek(`${year}-${pad2(month)}-01`);
  const prefix = `${year}-${pad2(month)}-`;
  return Array.from({ length: 6 }, (_, w) =>
    Array.from({ length: 7 }, (_, d) => {
      const day = addDays(first, w * 7 + d);
      return { day, date: +day.slice(8, 10), inMonth: day.startsWith(prefix) };
    }),
  );
}

export const monthTitle = (day) => `${+day.slice(0, 4)}年${+day.slice(5, 7)}月`;
const longLabel = (day) =>
  `${+day.slice(0, 4)}年${+day.slice(5, 7)}月${+day.slice(8, 10)}日 星期${WEEKDAY_NAMES[weekdayIndex(day)]}`;

let serial = 0;

// The calendar that opens below the field: a month's title between its
// arrows, the grid of days, and 今天.
function calendarPop(popId) {
  const titleId = `${popId}-title-${++serial}`;
  const title = h('span', { class: 'datefield-title', id: titleId, 'aria-live': 'polite' });
  const grid = h('tbody');
  const prev = h('button', { type: 'button', class: 'datefield-nav', 'aria-label': '上个月' }, '‹');
  const next = h('button', { type: 'button', class: 'datefield-nav', 'aria-label': '下个月' }, '›');
  const todayBtn = h('button', { type: 'button', class: 'btn small quiet' }, '今天');
  const pop = h(
    'div',
    { class: 'datefield-pop', id: popId, role: 'dialog', 'aria-modal': 'true', 'aria-labelledby': titleId, hidden: true },
    h('div', { class: 'datefield-head' }, prev, title, next),
    h(
      'table',
      { class: 'datefield-grid', role: 'grid', 'aria-labelledby': titleId },
      h('thead', null, h('tr', null, WEEKDAY_NAMES.map((n) => h('th', { scope: 'col', abbr: `星期${n}` }, n)))),
      grid,
    ),
    h('div', { class: 'datefield-foot' }, todayBtn),
  );
  return { pop, title, grid, prev, next, todayBtn };
}

// The grid's six weeks around `day`: `sel` is the chosen day, and days
// outside the range cannot be picked.
function monthRows(day, sel, today, inRange) {
  return monthGrid(+day.slice(0, 4), +day.slice(5, 7)).map((week) =>
    h(
      'tr',
      null,
      week.map((c) =>
        h(
          'td',
          { role: 'gridcell', 'aria-selected': c.day === sel ? 'true' : 'false' },
          h(
            'button',
            {
              type: 'button',
              class: ['day', c.inMonth ? '' : 'outside', c.day === today ? 'today' : '', c.day === sel ? 'selected' : '']
                .filter(Boolean)
                .join(' '),
              tabindex: c.day === day ? '0' : '-1',
              'data-day': c.day,
              'aria-label': longLabel(c.day) + (c.day === today ? '（今天）' : ''),
              'aria-current': c.day === today ? 'date' : null,
              disabled: !inRange(c.day),
            },
            String(c.date),
          ),
        ),
      ),
    ),
  );
}

// Below the field, else above it, else wherever it fits: always inside the
// viewport, scrolling inside itself when the viewport is lower than it
// (a zoomed page or a small window).
function placeBeside(pop, text) {
  const r = text.getBoundingClientRect();
  const viewWidth = document.documentElement.clientWidth;
  const viewHeight = window.innerHeight;
  pop.style.maxHeight = `${Math.max(0, viewHeight - 16)}px`;
  const height = pop.offsetHeight;
  const width = pop.offsetWidth;
  const fits = (y) => y >= 8 && y + height <= viewHeight - 8;
  let top = r.bottom + 4;
  if (!fits(top)) top = fits(r.top - 4 - height) ? r.top - 4 - height : Math.max(8, Math.min(top, viewHeight - 8 - height));
  pop.style.top = `${top}px`;
  pop.style.left = `${Math.max(8, Math.min(r.left, viewWidth - width - 8))}px`;
}

// The text box, and the button beside it that opens the calendar (reached
// by the mouse; the keyboard opens it with ↓).
function fieldBox(id, popId, key) {
  const text = h('input', {
    id,
    name: id,
    type: 'text',
    class: 'datefield-text',
    autocomplete: 'off',
    spellcheck: 'false',
    placeholder: '年/月/日',
    'data-key': key,
  });
  const button = h('button', {
    type: 'button',
    class: 'datefield-btn',
    'aria-label': '从日历中选择',
    'aria-haspopup': 'dialog',
    'aria-expanded': 'false',
    'aria-controls': popId,
    tabindex: '-1',
  });
  return { text, button };
}

// The field. It behaves as an input to the code around it: `value` reads the
// chosen "YYYY-MM-DD" (or the raw text when it is no date, so the form can
// say so), `focus()` focuses the text box, and "input" and "change" events
// bubble from it. `textInput` is the box itself, for labels and errors.
export function dateField({ id, value = '', min = null, max = null, today, key = null }) {
  const popId = `${id}-cal`;
  const { text, button } = fieldBox(id, popId, key);
  const { pop, title, grid, prev, next, todayBtn } = calendarPop(popId);
  const wrap = h('span', { class: 'datefield' }, text, button, pop);

  const inRange = (day) => (!min || day >= min) && (!max || day <= max);
  const chosen = () => parseDateText(text.value, today);
  let focusDay = null;

  const show = (day, { focus = true } = {}) => {
    focusDay = day;
    title.textContent = monthTitle(day);
    grid.replaceChildren(...monthRows(day, chosen(), today, inRange));
    todayBtn.hidden = !isISODate(today) || !inRange(today);
    if (focus) grid.querySelector(`[data-day="${day}"]`)?.focus();
  };

  const place = () => placeBeside(pop, text);

  const onOutside = (ev) => {
    if (!wrap.contains(ev.target)) close(false);
  };
  const open = () => {
    if (!pop.hidden) return;
    // The field first into view, so the calendar opens beside it.
    text.scrollIntoView({ block: 'nearest' });
    pop.hidden = false;
    button.setAttribute('aria-expanded', 'true');
    show(clampDate(chosen() || (isISODate(today) ? today : min || max || '2026-01-01'), min, max), { focus: false });
    place();
    grid.querySelector('[tabindex="0"]')?.focus();
    document.addEventListener('mousedown', onOutside, true);
    window.addEventListener('scroll', place, true);
    window.addEventListener('resize', place);
  };
  function close(refocus = true) {
    if (pop.hidden) return;
    pop.hidden = true;
    button.setAttribute('aria-expanded', 'false');
    document.removeEventListener('mousedown', onOutside, true);
    window.removeEventListener('scroll', place, true);
    window.removeEventListener('resize', place);
    if (refocus) text.focus();
  }
  const pick = (day) => {
    if (!isISODate(day) || !inRange(day)) return;
    text.value = formatDateText(day);
    close();
    text.dispatchEvent(new Event('input', { bubbles: true }));
    text.dispatchEvent(new Event('change', { bubbles: true }));
  };

  button.addEventListener('click', () => (pop.hidden ? open() : close()));
  prev.addEventListener('click', () => show(clampDate(addMonths(focusDay, -1), min, max), { focus: false }));
  next.addEventListener('click', () => show(clampDate(addMonths(focusDay, 1), min, max), { focus: false }));
  todayBtn.addEventListener('click', () => pick(today));
  grid.addEventListener('click', (ev) => {
    const b = ev.target.closest('button[data-day]');
    if (b && !b.disabled) pick(b.dataset.day);
  });
  grid.addEventListener('keydown', (ev) => {
    const to = moveDate(focusDay, ev.key, { shift: ev.shiftKey, min, max });
    if (!to) return;
    ev.preventDefault();
    show(to);
  });
  // Escape closes the calendar only, not the dialog it may sit in.
  pop.addEventListener('keydown', (ev) => {
    if (ev.key !== 'Escape') return;
    ev.preventDefault();
    ev.stopPropagation();
    close();
  });
  wrap.addEventListener('focusout', (ev) => {
    if (!pop.hidden && ev.relatedTarget && !wrap.contains(ev.relatedTarget)) close(false);
  });
  text.addEventListener('keydown', (ev) => {
    if (ev.key === 'ArrowDown') {
      ev.preventDefault();
      open();
    } else if (ev.key === 'Escape' && !pop.hidden) {
      ev.preventDefault();
      ev.stopPropagation();
      close();
    }
  });
  // Typed text settles into the shown form once the teacher leaves the box.
  text.addEventListener('change', () => {
    const day = chosen();
    if (day) text.value = formatDateText(day);
  });

  Object.defineProperty(wrap, 'value', {
    get: () => chosen() || text.value.trim(),
    set: (v) => {
      const day = parseDateText(v, today);
      text.value = day ? formatDateText(day) : String(v ?? '');
    },
  });
  wrap.textInput = text;
  wrap.focus = (opts) => text.focus(opts);
  wrap.value = value;
  // Its handlers were added by hand: drawn again, it is replaced whole.
  return whole(wrap);
}
