// Small DOM helpers shared by the views: element building, Chinese dates,
// in-page dialogs and file downloads.

import { toUTCDate } from './dates.js';

// h('button', { class: 'x', onclick: f }, 'text', child, [more]).
// Text always goes in as text, never as markup.
export function h(tag, attrs, ...children) {
  const el = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs || {})) {
    if (v === null || v === undefined || v === false) continue;
    if (k.startsWith('on')) {
      el.addEventListener(k.slice(2), v);
      // Its handler belongs to this drawing: a later one replaces it.
      el.hasHandlers = true;
    }
    else if (k === 'class') el.className = v;
    else if (k === 'style' && typeof v === 'object') Object.assign(el.style, v);
    else if (k in el && typeof v !== 'string') el[k] = v;
    else el.setAttribute(k, v === true ? '' : v);
  }
  append(el, children);
  return el;
}

function append(el, children) {
  for (const c of children) {
    if (c === null || c === undefined || c === false) continue;
    if (Array.isArray(c)) append(el, c);
    else el.append(c instanceof Node ? c : String(c));
  }
}

// A text field whose name is its id.
export const input = (id, attrs) => h('input', { id, name: id, ...attrs });

// Rows of a long table shown at first, and added at a time. Every row shown
// is restyled and drawn again when a dialog opens or closes (the page
// behind it becomes inert): at first about a screen's worth.
export const TABLE_ROWS = { first: 20, more: 60 };

// A long list shown a piece at a time: a year can hold thousands of rows,
// and laying them all out stalls the page. Returns the first `shown` items
// and the button that shows the next `step` (null when all are shown);
// `key` names the button, so focus stays on it.
export function inPieces(items, shown, step, unit, key, more) {
  const rest = items.length - shown;
  return {
    items: rest > 0 ? items.slice(0, shown) : items,
    more:
      rest > 0
        ? h('button', { type: 'button', class: 'btn small more', 'data-key': key, onclick: () => more(shown + step) }, `再显示 ${Math.min(step, rest)} ${unit}（还有 ${rest} ${unit}）`)
        : null,
  };
}

// The `more` of inPieces for a count kept in the view's params.
export const showMore = (ctx, name) => (n) => {
  ctx.params[name] = n;
  ctx.render();
};

// The page is Chinese whatever the system's language.
export const LOCALE = 'zh-CN';

const formats = new Map();
function formatter(style) {
  if (!formats.has(style)) {
    const opts = {
      long: { month: 'long', day: 'numeric', weekday: 'long' },
      full: { year: 'numeric', month: 'long', day: 'numeric', weekday: 'long' },
      medium: { month: 'short', day: 'numeric', weekday: 'short' },
      short: { month: 'numeric', day: 'numeric' },
      shortYear: { year: 'numeric', month: 'numeric', day: 'numeric' },
      weekday: { weekday: 'short' },
      weekdayLong: { weekday: 'long' },
    }[style];
    formats.set(style, new Intl.DateTimeFormat(LOCALE, { ...opts, timeZone: 'UTC' }));
  }
  return formats.get(style);
}

export function fmtDate(iso, style = 'medium') {
  return formatter(style).format(toUTCDate(iso));
}

export function fmtDateTime(date) {
  return new Intl.DateTimeFormat(LOCALE, { dateStyle: 'medium', timeStyle: 'short' }).format(date);
}

export function fmtMinutes(m) {
  const total = Math.round(m);
  if (total < 60) return `${total} 分钟`;
  const hours = Math.floor(total / 60);
  const rest = total % 60;
  return rest ? `${hours} 小时 ${rest} 分钟` : `${hours} 小时`;
}

export function dot(color) {
  return h('span', { class: 'dot', style: { background: color }, 'aria-hidden': 'true' });
}

// Saves text as a file the way a browser page does; inside the app this
// becomes the native save panel.
export function download(name, text, type) {
  const url = URL.createObjectURL(new Blob([text], { type }));
  const a = h('a', { href: url, download: name, hidden: true });
  document.body.append(a);
  a.click();
  a.remove();
  URL.revokeObjectURL(url);
}

// A modal dialog in the page. actions: [{ label, kind, onClick }]; onClick
// may return false to keep the dialog open. Resolves with the action's
// `value`, or null when dismissed. With `guard` (a form) a click outside
// dismisses it too, and both ways ask first when guard() says there are
// changes.
let dialogCount = 0;
export function openDialog({ title, body, actions, labelledBy, guard = null }) {
  return new Promise((resolve) => {
    // Each dialog its own id: one may open over another (放弃修改？).
    const headingId = `dlg-title-${++dialogCount}`;
    const heading = h('h2', { id: headingId }, title);
    const buttons = actions.map((a) =>
      h(
        'button',
        {
          type: a.submit ? 'submit' : 'button',
          class: `btn ${a.kind || ''}`,
          onclick: async (ev) => {
            ev.preventDefault();
            const from = document.activeElement;
            const keep = a.onClick ? await a.onClick() : undefined;
            if (keep === false) {
              stayInDialog(from);
              return;
            }
            close(a.value ?? true);
          },
        },
        a.label,
      ),
    );
    const form = h('form', { method: 'dialog', class: 'dialog-body' }, body, h('div', { class: 'dialog-actions' }, buttons));
    const dlg = h('dialog', { class: 'dialog', 'aria-labelledby': labelledBy || headingId }, heading, form);
    // A form drawn again with its errors moves its controls: focus goes
    // back to the control the teacher was in, else to the first wrong one.
    const stayInDialog = (from) => {
      if (dlg.contains(document.activeElement)) return;
      const back = from && dlg.contains(from) ? from : dlg.querySelector('[aria-invalid="true"]') || buttons[0];
      back.focus();
    };
    let done = false;
    const close = (value) => {
      if (done) return;
      done = true;
      dlg.close();
      dlg.remove();
      resolve(value);
    };
    let asking = false;
    const dismiss = async () => {
      if (asking) return;
      if (guard && guard()) {
        asking = true;
        const drop = await confirmDialog({ title: '放弃修改？', message: '这里的修改还没有保存。', ok: '放弃修改', cancel: '继续编辑', danger: true });
        asking = false;
        if (!drop) return;
      }
      close(null);
    };
    dlg.addEventListener('cancel', (ev) => {
      ev.preventDefault();
      dismiss();
    });
    // Outside is the backdrop; a press that starts inside (selecting text)
    // and ends outside is not a click outside.
    const outside = (ev) => {
      const r = dlg.getBoundingClientRect();
      return ev.target === dlg && (ev.clientX < r.left || ev.clientX > r.right || ev.clientY < r.top || ev.clientY > r.bottom);
    };
    let pressedOutside = false;
    if (guard) {
      dlg.addEventListener('mousedown', (ev) => (pressedOutside = outside(ev)));
      dlg.addEventListener('click', (ev) => {
        if (pressedOutside && outside(ev)) dismiss();
        pressedOutside = false;
      });
    }
    document.body.append(dlg);
    dlg.showModal();
    const first = dlg.querySelector('input, select, textarea') || buttons.find((b) => !b.classList.contains('danger')) || buttons[0];
    if (first) first.focus();
  });
}

export function confirmDialog({ title, message, ok = '确定', cancel = '取消', danger = false }) {
  return openDialog({
    title,
    body: h('p', null, message),
    actions: [
      { label: cancel, value: false },
      { label: ok, kind: danger ? 'danger' : 'primary', value: true },
    ],
  }).then((v) => v === true);
}

// A form in a dialog: 取消, and one primary button that submits it. onSubmit
// returns false to keep the dialog open (for example to show errors).
// invalid() gives the ids of the controls whose value is wrong now: a
// control marked wrong loses the mark as soon as it is right.
export function formDialog({ title, body, submit, onSubmit, invalid = null }) {
  const controls = () => [...body.querySelectorAll('input, select, textarea')];
  const state = (el) => (el.type === 'checkbox' || el.type === 'radio' ? el.checked : el.value);
  const start = new Map(controls().map((el) => [el, state(el)]));
  const changed = () => controls().some((el) => start.has(el) && start.get(el) !== state(el));
  const recheck = () => {
    const marked = body.querySelectorAll('[aria-invalid="true"]');
    if (!marked.length || !invalid) return;
    const still = invalid();
    for (const el of marked) if (!still.has(el.id)) clearError(el);
  };
  body.addEventListener('input', recheck);
  body.addEventListener('change', recheck);
  return openDialog({
    title,
    body,
    guard: changed,
    actions: [
      { label: '取消', value: false },
      { label: submit, kind: 'primary', submit: true, onClick: onSubmit },
    ],
  });
}

// A form whose values `check` reads ({ ok, errors, … }): a control is
// marked wrong while an error keyed `k` names it (`idOf(k)` is its id); a
// submit with errors draws them (`redraw`, which may move the focus) and
// stays, else `save` takes the checked result.
export function checkedForm({ check, idOf, redraw, save, ...dialog }) {
  return formDialog({
    ...dialog,
    invalid: () => new Set(Object.keys(check().errors || {}).map(idOf)),
    onSubmit: () => {
      const r = check();
      if (r.ok) return save(r) !== false;
      redraw(r.errors);
      return false;
    },
  });
}

export function clearError(el) {
  el.removeAttribute('aria-invalid');
  const errId = `${el.id}-error`;
  describe(el, errId, false);
  const msg = document.getElementById(errId);
  if (msg) {
    msg.textContent = '';
    msg.removeAttribute('role');
  }
}

// Adds or takes `id` from what describes `el`, leaving the other ids.
export function describe(el, id, on) {
  const ids = (el.getAttribute('aria-describedby') || '').split(/\s+/).filter((x) => x && x !== id);
  if (on) ids.push(id);
  if (ids.length) el.setAttribute('aria-describedby', ids.join(' '));
  else el.removeAttribute('aria-describedby');
}

// A short message, read out politely; with `action` ({ label, onClick,
// done }) it carries a button and stays longer, so there is time to reach
// it: it sits just before the view in the tab order (Shift+Tab from the
// view's heading, where focus lands when the row it acted on is gone). It
// stays while focused or hovered; once gone its button is gone too, so
// nothing invisible can be reached or pressed. `done` is said after the
// action.
const toastState = { timer: 0, wait: 0, hovered: false, focused: false, back: null, wired: false, clear: 0 };

function toastEl() {
  const el = document.getElementById('toast');
  if (toastState.wired) return el;
  toastState.wired = true;
  const held = () => toastState.hovered || toastState.focused;
  const resume = () => {
    if (!held() && el.classList.contains('show')) startToastTimer(el, Math.max(toastState.wait, 3000));
  };
  el.addEventListener('mouseenter', () => {
    toastState.hovered = true;
    clearTimeout(toastState.timer);
  });
  el.addEventListener('mouseleave', () => {
    toastState.hovered = false;
    resume();
  });
  el.addEventListener('focusin', (ev) => {
    if (!toastState.focused && ev.relatedTarget && !el.contains(ev.relatedTarget)) toastState.back = ev.relatedTarget;
    toastState.focused = true;
    clearTimeout(toastState.timer);
  });
  el.addEventListener('focusout', (ev) => {
    if (ev.relatedTarget && el.contains(ev.relatedTarget)) return;
    toastState.focused = false;
    resume();
  });
  return el;
}

function startToastTimer(el, ms) {
  clearTimeout(toastState.timer);
  toastState.wait = ms;
  toastState.timer = setTimeout(() => hideToast(el), ms);
}

function hideToast(el) {
  clearTimeout(toastState.timer);
  const button = el.querySelector('button');
  // Focus leaves with the button, back where the teacher was.
  if (button && el.contains(document.activeElement)) {
    const back = toastState.back;
    const main = document.getElementById('main');
    if (back && back.isConnected) back.focus({ preventScroll: true });
    else (main.querySelector('h1') || main).focus({ preventScroll: true });
  }
  toastState.focused = false;
  toastState.back = null;
  if (button) button.remove();
  el.classList.remove('show', 'has-action');
  // The text goes once it has faded: a screen reader finds nothing left.
  clearTimeout(toastState.clear);
  toastState.clear = setTimeout(() => {
    if (!el.classList.contains('show')) el.replaceChildren();
  }, 300);
}

export function toast(message, action = null) {
  const el = toastEl();
  clearTimeout(toastState.clear);
  el.replaceChildren(h('span', null, message));
  if (action)
    el.append(
      h(
        'button',
        {
          type: 'button',
          class: 'btn small',
          onclick: () => {
            hideToast(el);
            action.onClick();
            if (action.done) toast(action.done);
          },
        },
        action.label,
      ),
    );
  el.classList.add('show');
  el.classList.toggle('has-action', !!action);
  toastState.focused = el.contains(document.activeElement);
  if (!toastState.hovered && !toastState.focused) startToastTimer(el, action ? 10000 : 4000);
  else toastState.wait = action ? 10000 : 4000;
}

// Says what a quick action changed, to a screen reader only: the view
// itself shows it.
let saidTimer = 0;
export function announce(text) {
  const el = document.getElementById('said');
  if (!el) return;
  // Emptied first, so the same words twice are read twice.
  el.textContent = '';
  clearTimeout(saidTimer);
  saidTimer = setTimeout(() => (el.textContent = text), 50);
}

// A labelled form field with room for an error message; the hint and the
// error are what describe the control.
// A composite control (the date field) names its text box in `textInput`.
export function field(label, input, error, hint) {
  const box = input.textInput || input;
  const id = box.id;
  const errId = `${id}-error`;
  const hintId = `${id}-hint`;
  if (error) box.setAttribute('aria-invalid', 'true');
  else box.removeAttribute('aria-invalid');
  describe(box, hintId, !!hint);
  describe(box, errId, !!error);
  return h(
    'div',
    { class: 'field' },
    h('label', { for: id }, label),
    input,
    hint ? h('div', { class: 'hint', id: hintId }, hint) : null,
    h('div', { class: 'error', id: errId, role: error ? 'alert' : null }, error || ''),
  );
}
