// The page's own date field: a text box showing "2026/12/09 周三" that takes a
// typed date, and a pop-up month calendar in Chinese, Monday first. The
// engine's <input type=date> follows the system's language instead of the
// page's, so it is not used. Values in and out are "YYYY-MM-DD" strings.

import { whole } from './patch.js';
import { h } from './ui.js';
import { addDays, daysInMonth, isISODate, pad2, startOfWeek, weekdayIndex } from './dates.js';

export const WEEKDAY_NAMES = ['一', '二', '三', '四', '五', '六', '日'];

const RELATIVE = { 前天: -2, 昨天: -1, 今天: 0, 明天: 1, 后天: 2 };
const FULL = /^(\d{4})\s*[-/.年]\s*(\d{1,2})\s*[-/.月]\s*(\d{1,2})\s*[日号]?$/;
const COMPACT = /^(\d{4})(\d{2})(\d{2})$/;
const NO_YEAR = /^(\d{1,2})\s*[-/.月]\s*(\d{1,2})\s*[日号]?$/;

const iso = (y, m, d) => `${y}-${pad2(m)}-${pad2(d)}`;

// A typed date as "YYYY-MM-DD", or null. Takes 2026/12/9, 2026-12-09,
// 2026.12.9, 2026年12月9日, 20261209, 12/9 and 12月9日 (in the year of
// `today`), and 今天, 明天 and the like. A weekday after the date is
// ignored, so the shown text reads back unchanged even when edited.
export function parseDateText(text, today) {
  const s = cleanDateText(text);
  if (s in RELATIVE) return isISODate(today) ? addDays(today, RELATIVE[s]) : null;
  let m = FULL.exec(s) || COMPACT.exec(s);
  let out = m ? iso(m[1], +m[2], +m[3]) : null;
  if (!m && (m = NO_YEAR.exec(s)) && isISODate(today)) out = iso(today.slice(0, 4), +m[1], +m[2]);
  return out && isISODate(out) ? out : null;
}

function cleanDateText(text) {
  return String(text ?? '')
    .normalize('NFKC')
    .replace(/[（(]?\s*(周|星期)[一二三四五六日天]\s*[）)]?/g, '')
    .trim();
}

// Why typed text names no day, in the teacher's words; null when it is
// empty or not shaped like a date at all.
export function dateTextProblem(text) {
  const s = cleanDateText(text);
  const full = FULL.exec(s) || COMPACT.exec(s);
  const noYear = full ? null : NO_YEAR.exec(s);
  if (!full && !noYear) return null;
  const [y, mo, d] = full ? [+full[1], +full[2], +full[3]] : [null, +noYear[1], +noYear[2]];
  if (y !== null && (y < 1900 || y > 2999)) return '年份应在 1900 到 2999 之间。';
  if (mo < 1 || mo > 12) return `没有这一天：一年只有 12 个月。`;
  // Without a year it is this year's date, which only fails for 2月29日.
  const last = y !== null ? daysInMonth(y, mo) : mo === 2 ? 28 : daysInMonth(2000, mo);
  if (d < 1 || d > last) return y !== null ? `没有这一天：${y}年${mo}月只有 ${last} 天。` : `没有这一天：今年${mo}月没有 ${d} 日。`;
  return null;
}

export function formatDateText(day) {
  if (!isISODate(day)) return '';
  return `${day.replaceAll('-', '/')} 周${WEEKDAY_NAMES[weekdayIndex(day)]}`;
}

export function clampDate(day, min, max) {
  if (min && day < min) return min;
  if (max && day > max) return max;
  return day;
}

// The same day n months on, or the month's last day when it is shorter.
export function addMonths(day, n) {
  const total = +day.slice(0, 4) * 12 + (+day.slice(5, 7) - 1) + n;
  const y = Math.floor(total / 12);
  const m = total - y * 12 + 1;
  return iso(y, m, Math.min(+day.slice(8, 10), daysInMonth(y, m)));
}

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
  const first = startOfWeek(iso(year, month, 1));
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

// The field. It behaves as an input to the code around it: `value` reads the
// chosen "YYYY-MM-DD" (or the raw text when it is no date, so the form can
// say so), `focus()` focuses the text box, and "input" and "change" events
// bubble from it. `textInput` is the box itself, for labels and errors.
export function dateField({ id, value = '', min = null, max = null, today, key = null }) {
  const popId = `${id}-cal`;
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
  const titleId = `${id}-cal-title-${++serial}`;
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
  const wrap = h('span', { class: 'datefield' }, text, button, pop);

  const inRange = (day) => (!min || day >= min) && (!max || day <= max);
  const chosen = () => parseDateText(text.value, today);
  let focusDay = null;

  const show = (day, { focus = true } = {}) => {
    focusDay = day;
    title.textContent = monthTitle(day);
    const sel = chosen();
    grid.replaceChildren(
      ...monthGrid(+day.slice(0, 4), +day.slice(5, 7)).map((week) =>
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
      ),
    );
    todayBtn.hidden = !isISODate(today) || !inRange(today);
    if (focus) grid.querySelector(`[data-day="${day}"]`)?.focus();
  };

  // Below the field, else above it, else wherever it fits: always inside the
  // viewport, scrolling inside itself when the viewport is lower than it
  // (a zoomed page or a small window).
  const place = () => {
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
  };

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
