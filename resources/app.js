// Dovrelist: start-up, state, saving, the floating ball's count and the
// screen switching. The screens themselves live in the view-*.js modules.

import { addDays, localISO } from './dates.js';
import { makePlan } from './planner.js';
import { KEEP_DELETED_DAYS, pruneDeleted, runTemplates } from './model.js';
import { Store, STORAGE_KEY, SCHEMA_VERSION, backupText, normalize } from './store.js';
import { createNative } from './native.js';
import { h, download, openDialog, toast } from './ui.js';
import { renderToday } from './view-today.js';
import { renderWeek } from './view-week.js';
import { foldLateOnLeave, renderPlan } from './view-plan.js';
import { renderAssignments, renderClasses } from './view-manage.js';
import { renderTime } from './view-time.js';
import { renderSettings } from './view-settings.js';

const VIEWS = {
  today: { label: '今天', render: renderToday },
  week: { label: '本周', render: renderWeek },
  plan: { label: '计划', render: renderPlan },
  assignments: { label: '作业', render: renderAssignments },
  classes: { label: '班级', render: renderClasses },
  time: { label: '可用时间', render: renderTime },
  settings: { label: '设置', render: renderSettings },
};

const store = new Store(safeLocalStorage());
const native = createNative(window);
const loaded = store.load();

const ctx = {
  data: loaded.data,
  today: localISO(new Date()),
  plan: null,
  view: 'today',
  params: {},
  store,
  native,
  saveError: null,
  // What the native side last told us; filled by the settings screen's requests.
  app: { status: null, busy: null, message: null, error: null },
  commit,
  go,
  render: scheduleRender,
  replaceData,
};

function safeLocalStorage() {
  try {
    return window.localStorage;
  } catch {
    // Storage switched off: keep working in memory, and say so.
    const map = new Map();
    return {
      get length() {
        return map.size;
      },
      key: (i) => [...map.keys()][i] ?? null,
      getItem: () => {
        throw new Error('unavailable');
      },
      setItem: () => {
        throw new Error('unavailable');
      },
      removeItem: (k) => map.delete(k),
    };
  }
}

// Every change is saved at once; the plan and the ball follow.
function commit(change) {
  change(ctx.data);
  const result = store.save(ctx.data);
  ctx.saveError = result.ok ? null : result.error;
  replan();
  scheduleRender();
}

function replaceData(data) {
  ctx.data = data;
  ctx.saveError = null;
  replan();
  scheduleRender();
}

// What was deleted more than a month ago is let go.
function pruneKept() {
  if (ctx.data.deleted.some((e) => e.date < addDays(ctx.today, -KEEP_DELETED_DAYS))) commit((d) => pruneDeleted(d, ctx.today));
}

// This week's assignments from the weekly templates, once per week.
function applyTemplates() {
  const probe = structuredClone(ctx.data);
  const made = runTemplates(probe, ctx.today);
  const marked = JSON.stringify(probe.templates) !== JSON.stringify(ctx.data.templates);
  if (!made.length && !marked) return;
  commit((d) => runTemplates(d, ctx.today));
  if (made.length) toast(`已按每周作业添加 ${made.length} 项本周作业。`);
}

function replan() {
  ctx.plan = makePlan(ctx.data, ctx.today);
  postCount(false);
}

function postCount(force) {
  const posted = native.postCount(ctx.plan.todayCount, force);
  if (posted !== null) document.documentElement.dataset.badge = String(posted);
}

function go(view, params = {}) {
  if (!VIEWS[view]) view = 'today';
  foldLateOnLeave(ctx, view);
  ctx.view = view;
  ctx.params = params;
  if (location.hash !== `#${view}`) history.replaceState(null, '', `#${view}`);
  scheduleRender(true);
}

let renderQueued = false;
let moveFocus = false;
// Rendering waits a turn so that a field the teacher is leaving has handed
// focus on; focus then returns to the same control in the new content.
function scheduleRender(focusHeading = false) {
  moveFocus = moveFocus || focusHeading === true;
  if (renderQueued) return;
  renderQueued = true;
  setTimeout(render, 0);
}

function render() {
  renderQueued = false;
  const main = document.getElementById('main');
  const active = document.activeElement;
  const key = active && main.contains(active) ? active.dataset.key : null;
  // The document scrolls, not #main.
  const page = document.scrollingElement || document.documentElement;
  const scroll = page.scrollTop;

  for (const btn of document.querySelectorAll('#nav button')) {
    if (btn.dataset.view === ctx.view) btn.setAttribute('aria-current', 'page');
    else btn.removeAttribute('aria-current');
  }
  const lateTag = document.getElementById('nav-late');
  lateTag.hidden = ctx.plan.late.length === 0;
  lateTag.textContent = String(ctx.plan.late.length);
  const todayTag = document.getElementById('nav-today');
  todayTag.hidden = ctx.plan.todayCount === 0;
  todayTag.textContent = String(ctx.plan.todayCount);

  renderBanner();
  main.replaceChildren(VIEWS[ctx.view].render(ctx));
  if (moveFocus) {
    moveFocus = false;
    page.scrollTop = 0;
    const heading = main.querySelector('h1');
    if (heading) heading.focus({ preventScroll: true });
  } else {
    page.scrollTop = scroll;
    const again = key && main.querySelector(`[data-key="${CSS.escape(key)}"]`);
    if (again) again.focus({ preventScroll: true });
    // The control is gone (a finished task, a deleted row): start from the heading.
    else if (key || active === document.body) {
      const heading = main.querySelector('h1');
      if (heading && !document.querySelector('dialog[open]')) heading.focus({ preventScroll: true });
    }
  }
}

function renderBanner() {
  const banner = document.getElementById('banner');
  if (!ctx.saveError) {
    banner.hidden = true;
    banner.replaceChildren();
    return;
  }
  banner.hidden = false;
  const text =
    ctx.saveError === 'blocked'
      ? '保存已暂停：原来的数据无法读取，也没能另存一份。为了不覆盖它，现在的修改不会保存。请先导出备份。'
      : '无法保存到本机存储，最近的修改还没有保存。请导出备份，以免丢失。';
  banner.replaceChildren(
    h('span', null, text),
    h('button', { class: 'btn', type: 'button', onclick: exportBackup }, '导出备份'),
  );
}

export function exportBackup() {
  download(`dovrelist-backup-${ctx.today}.json`, backupText(ctx.data), 'application/json');
}
ctx.exportBackup = exportBackup;

const REASONS = {
  unreadable: '已保存的数据无法读取',
  partial: '部分已保存的数据无法读取',
};

function showStartNotices() {
  for (const n of loaded.notices) {
    if (n.kind === 'migrated') toast('数据已更新为新的格式，原来的内容另存了一份。');
    if (n.kind === 'storage') ctx.saveError = 'storage';
    if (n.kind !== 'unreadable' && n.kind !== 'partial') continue;
    if (!n.asideKey) ctx.saveError = 'blocked';
    const kept = n.asideKey
      ? '原来的内容已原样另存，没有被覆盖。可以在「设置 › 数据」里随时导出它。'
      : '原来的内容没能另存；为了不覆盖它，修改暂时不会保存。';
    const readable = n.kind === 'partial' ? '能读取的部分已经载入。' : '现在从空白数据开始。';
    openDialog({
      title: REASONS[n.kind],
      body: [
        h('p', null, `${readable}${kept}`),
        n.problems && n.problems.length
          ? h('ul', { class: 'problems' }, n.problems.slice(0, 6).map((p) => h('li', null, p)))
          : null,
      ],
      actions: [
        n.asideKey
          ? {
              label: '导出原始数据',
              onClick: () => download(`dovrelist-unreadable-${ctx.today}.json`, store.readAside(n.asideKey) ?? '', 'application/json'),
            }
          : null,
        { label: '知道了', kind: 'primary' },
      ].filter(Boolean),
    });
  }
}

// The day changes while the app stays open (it often runs for weeks in the
// background): re-plan from the new day and post the count again.
function checkDay() {
  const now = localISO(new Date());
  if (now === ctx.today) return;
  ctx.today = now;
  replan();
  postCount(true);
  applyTemplates();
  pruneKept();
  scheduleRender();
}

function buildNav() {
  const nav = document.getElementById('nav');
  nav.replaceChildren(
    ...Object.entries(VIEWS).map(([view, v]) =>
      h(
        'button',
        { type: 'button', 'data-view': view, onclick: () => go(view) },
        h('span', null, v.label),
        view === 'today' ? h('span', { id: 'nav-today', class: 'count', hidden: true, 'aria-label': '今天计划份数' }) : null,
        view === 'plan' ? h('span', { id: 'nav-late', class: 'count warn', hidden: true, 'aria-label': '将延误的作业' }) : null,
      ),
    ),
  );
}

function start() {
  buildNav();
  ctx.plan = makePlan(ctx.data, ctx.today);
  postCount(true);
  const fromHash = location.hash.slice(1);
  go(VIEWS[fromHash] ? fromHash : 'today');
  showStartNotices();
  applyTemplates();
  pruneKept();
  if (native.hasLaunch) refreshStatus();

  setInterval(checkDay, 30000);
  document.addEventListener('visibilitychange', checkDay);
  window.addEventListener('focus', checkDay);
  window.addEventListener('hashchange', () => {
    const v = location.hash.slice(1);
    if (VIEWS[v] && v !== ctx.view) go(v);
  });
  // Another tab of the same page saved: take its data rather than overwrite it.
  window.addEventListener('storage', (ev) => {
    if (ev.key !== STORAGE_KEY || ev.newValue === null) return;
    let obj;
    try {
      obj = JSON.parse(ev.newValue);
    } catch {
      return;
    }
    const { data, problems } = normalize(obj);
    if (data && !problems.length && obj.version === SCHEMA_VERSION) replaceData(data);
  });
}

export async function refreshStatus() {
  const status = await native.request('status');
  if (status) ctx.app.status = status;
  scheduleRender();
}
ctx.refreshStatus = refreshStatus;

start();
