// Dovrelist: start-up, state, saving, the floating ball's count and the
// screen switching. The screens themselves live in the view-*.js modules.

import { addDays, localISO } from './dates.js';
import { makePlan } from './planner.js';
import { KEEP_DELETED_DAYS, pruneDeleted, runTemplates } from './model.js';
import { Store, STORAGE_KEY, SCHEMA_VERSION, backupText, normalize, parseBackup } from './store.js';
import { Clock, Stamper, isNode, newNode } from './stamps.js';
import { FileWriter, afterPaint, engineLost, startData } from './datafile.js';
import { mendMerged } from './merge.js';
import { SYNC_EVERY_MS, SyncRound } from './sync.js';
import { createNative, replyError } from './native.js';
import { h, download, openDialog, toast } from './ui.js';
import { drawInto } from './patch.js';
import { renderToday } from './view-today.js';
import { renderWeek } from './view-week.js';
import { renderPlan } from './view-plan.js';
import { foldLateOnLeave } from './late.js';
import { renderAssignments, renderClasses } from './view-manage.js';
import { renderTime } from './view-time.js';
import { renderSettings, syncTrouble } from './view-settings.js';

// `overlay`: drawn again over what is shown (see patch.js); its handlers
// use only their own elements and live objects.
const VIEWS = {
  today: { label: '今天', render: renderToday, overlay: true },
  week: { label: '本周', render: renderWeek, overlay: true },
  plan: { label: '计划', render: renderPlan, overlay: true },
  assignments: { label: '作业', render: renderAssignments, overlay: true },
  classes: { label: '班级', render: renderClasses },
  time: { label: '可用时间', render: renderTime, overlay: true },
  settings: { label: '设置', render: renderSettings },
};

// Where the page keeps the id its stamps carry.
const COMPUTER_KEY = 'dovrelist.computer';
const store = new Store(safeLocalStorage());
const native = createNative(window);
const loaded = store.load();
const stamper = new Stamper(new Clock(computerId()));
stamper.take(loaded.data, localISO(new Date()));

// All of the page's state, and what the screens may do with it.
const ctx = {
  data: loaded.data,
  today: localISO(new Date()),
  plan: null,
  view: 'today',
  // The shown screen's own state (its form's errors and values, how many
  // rows it shows); a new screen starts without.
  params: {},
  // The report of late work: opened, and how many of its items are shown.
  lateOpen: false,
  lateShown: 0,
  store,
  native,
  // Writes the data file, inside the app (set below).
  writer: null,
  // Why the engine's storage did not take the last change ('blocked', or
  // the error), and why the data file did not (a failed write, or a file
  // left alone because it could not be read).
  saveError: null,
  fileError: null,
  // Keeping in step with the teacher's other computers, where this computer
  // has a sync folder: { computer: {id, name}, folder, trouble, writeError,
  // computers } once the native side has answered.
  sync: null,
  // The data file's kept copies as 设置 lists them; listed afresh each time
  // 设置 is opened.
  copies: null,
  // What the native side last told us; filled by the settings screen's requests.
  app: { status: null, busy: null, message: null, error: null },
  commit,
  go,
  render: scheduleRender,
  replaceData,
  adoptData,
  importData,
  restoreCopy,
  exportBackup,
  refreshStatus,
  beginSync,
  endSync,
};

// Written after the changes, coalesced; only inside the app.
const writer = native.hasData
  ? new FileWriter({
      after: afterDrawn,
      send: (text) => native.data('write', { text }),
      text: () => {
        persist();
        return backupText(ctx.data);
      },
      onResult: (ok) => {
        const error = ok ? null : 'write';
        if (error === ctx.fileError) return;
        ctx.fileError = error;
        renderBanner();
      },
    })
  : null;
ctx.writer = writer;

// The sync folder's round and this computer's file there (ctx.sync).
let syncWriter = null;
let syncRound = null;

// Asked first thing: shares of the grading are kept per computer, so the
// stamps must carry this computer's own id, not one copied along with a
// profile. It is kept for the next start too.
const computerAsked = writer ? native.data('computer') : Promise.resolve(null);
async function takeComputerId() {
  const info = await computerAsked;
  if (!info || info.ok !== true || !isNode(info.id)) return null;
  stamper.clock.node = info.id;
  try {
    window.localStorage.setItem(COMPUTER_KEY, info.id);
  } catch {
    // Only the next start's first moments would use it.
  }
  return info;
}

async function startSync() {
  const info = await computerAsked;
  if (!info || info.ok !== true || !isNode(info.id)) return;
  ctx.sync = { computer: { id: info.id, name: String(info.name ?? '') }, folder: info.folder ?? null, trouble: null, writeError: null, computers: [] };
  if (ctx.sync.folder) beginSync();
  scheduleRender();
  setInterval(() => syncRound && syncRound.run(), SYNC_EVERY_MS);
  window.addEventListener('focus', () => syncRound && syncRound.run());
  // The native side says when the folder reports a change.
  window.__hlvnSyncChanged = () => syncRound && syncRound.run();
}

function beginSync() {
  const { computer } = ctx.sync;
  syncRound = new SyncRound({
    data: native.data,
    computer,
    current: () => {
      persist();
      return ctx.data;
    },
    take: takeMerged,
    onState: (state) => {
      const was = JSON.stringify([ctx.sync.trouble, ctx.sync.computers]);
      Object.assign(ctx.sync, state);
      if (JSON.stringify([ctx.sync.trouble, ctx.sync.computers]) !== was) scheduleRender();
    },
  });
  syncWriter = new FileWriter({
    after: afterDrawn,
    send: (text) => native.data('syncWrite', { text }),
    text: () => {
      persist();
      return backupText({ ...ctx.data, computer });
    },
    onResult: (ok) => {
      const error = ok ? null : 'write';
      if (error === ctx.sync.writeError) return;
      ctx.sync.writeError = error;
      scheduleRender();
    },
  });
  // This computer's file is written once what the folder holds is merged in.
  const writing = syncWriter;
  syncRound.run().then(() => {
    writing.open();
    writing.changed();
  });
}

function endSync() {
  syncRound = null;
  syncWriter = null;
  Object.assign(ctx.sync, { folder: null, trouble: null, writeError: null, computers: [] });
}

// The id the stamps of this copy's changes carry until the native side has
// said which computer this is (or for good, in a plain browser).
function computerId() {
  try {
    const kept = window.localStorage.getItem(COMPUTER_KEY);
    if (isNode(kept)) return kept;
    const made = newNode();
    window.localStorage.setItem(COMPUTER_KEY, made);
    return made;
  } catch {
    return newNode();
  }
}

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

// Every change is shown at once and stored right after the frame that
// shows it (see render); the plan and the ball follow. Data just upgraded
// is stamped and stored at once.
let unsaved = loaded.notices.some((n) => n.kind === 'migrated');
function commit(change) {
  change(ctx.data);
  unsaved = true;
  replan();
  scheduleRender();
}

// Stamps what changed and stores it; then the data file follows.
function persist() {
  if (!unsaved) return;
  unsaved = false;
  stamper.stamp(ctx.data, ctx.today);
  const result = store.save(ctx.data);
  const error = result.ok ? null : result.error;
  if (error !== ctx.saveError) {
    ctx.saveError = error;
    renderBanner();
  }
  if (writer) writer.changed();
  if (syncWriter) syncWriter.changed();
}

// Data whose stamps are its own (as stored, or the file's).
function replaceData(data) {
  ctx.data = data;
  stamper.take(data, ctx.today);
  ctx.saveError = null;
  replan();
  scheduleRender();
}

// Merged data: what the merge had to mend is a change of this computer's.
function takeMerged(data) {
  replaceData(data);
  mendMerged(ctx.data);
  unsaved = true;
  persist();
}

// Other data (an import, a restored copy) as one change made now.
function adoptData(data) {
  persist();
  stamper.adopt(ctx.data, data, ctx.today);
  ctx.data = data;
  unsaved = true;
  persist();
  replan();
  scheduleRender();
}

// What was deleted more than a month ago is let go.
function pruneKept() {
  if (ctx.data.deleted.some((e) => e.date < addDays(ctx.today, -KEEP_DELETED_DAYS))) commit((d) => pruneDeleted(d, ctx.today));
}

// This week's assignments from the weekly templates, once per week.
function applyTemplates() {
  // Tried on copies of what it changes: a year's data is not cloned at each start.
  const probe = { ...ctx.data, assignments: [...ctx.data.assignments], templates: ctx.data.templates.map((t) => ({ ...t })) };
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
  // The copies are listed afresh each time the settings are opened.
  if (view === 'settings' && ctx.view !== 'settings') ctx.copies = null;
  ctx.view = view;
  ctx.params = params;
  if (location.hash !== `#${view}`) history.replaceState(null, '', `#${view}`);
  scheduleRender(true);
}

// While the data file is read at a start the engine's storage had nothing
// for: the empty planner would say the year is gone, and take changes the
// file's data then replaces.
let opening = !!writer && engineLost(loaded);
const openingView = () =>
  h('div', { class: 'view' }, h('header', { class: 'view-head' }, h('div', null, h('h1', { tabindex: '-1' }, '正在打开数据文件…'), h('p', { class: 'sub', role: 'status' }, '数据较多时需要几秒钟。'))));

let renderQueued = false;
let moveFocus = false;
let drawnView = null;
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
  const inMain = !!active && main.contains(active);
  const key = inMain ? active.dataset.key : null;
  // The document scrolls, not #main.
  const page = document.scrollingElement || document.documentElement;
  const scroll = page.scrollTop;

  for (const btn of document.querySelectorAll('#nav button')) {
    if (btn.dataset.view === ctx.view) btn.setAttribute('aria-current', 'page');
    else btn.removeAttribute('aria-current');
  }
  document.getElementById('nav-sync').hidden = !syncTrouble(ctx.sync);
  // The number is shown; what it means is read out with it.
  const count = (id, n, said) => {
    const tag = document.getElementById(id);
    tag.hidden = n === 0;
    tag.textContent = String(n);
    document.getElementById(`${id}-said`).textContent = n ? said : '';
  };
  count('nav-late', ctx.plan.late.length, `，${ctx.plan.late.length} 项作业将延误`);
  count('nav-today', ctx.plan.todayCount, `，今天要批 ${ctx.plan.todayCount} 份`);

  renderBanner();
  const next = opening ? openingView() : VIEWS[ctx.view].render(ctx);
  const overlaid = VIEWS[ctx.view].overlay && drawnView === ctx.view && !moveFocus;
  drawInto(main, next, overlaid);
  drawnView = opening ? null : ctx.view;
  if (unsaved) afterDrawn(persist);
  if (moveFocus) {
    moveFocus = false;
    page.scrollTop = 0;
    const heading = main.querySelector('h1');
    if (heading) heading.focus({ preventScroll: true });
  } else {
    // Laid over, the page keeps its place; setting it would lay out the
    // whole page at once.
    if (!overlaid) page.scrollTop = scroll;
    const again = key && main.querySelector(`[data-key="${CSS.escape(key)}"]`);
    if (again) {
      if (again !== active) again.focus({ preventScroll: true });
    }
    // The control is gone (a finished task, a deleted row, one without a
    // key): start from the heading rather than from the page's body.
    else if (inMain ? !active.isConnected : active === document.body) {
      const heading = main.querySelector('h1');
      if (heading && !document.querySelector('dialog[open]')) heading.focus({ preventScroll: true });
    }
  }
}

// After the frame that shows every change so far: a year's stamps, save
// and file text would otherwise hold up the frame that shows the change.
function afterDrawn(fn) {
  afterPaint(() => (renderQueued ? afterDrawn(fn) : fn()));
}

// What is not being kept, worst first. Where the data file takes the
// changes, the engine's storage failing is no loss.
function bannerText() {
  const { saveError, fileError } = ctx;
  const fileKeeps = writer && !fileError;
  if (saveError === 'blocked' && (!writer || fileError))
    return '保存已暂停：原来的数据无法读取，也没能另存一份。为了不覆盖它，现在的修改不会保存。请先导出备份。';
  if (saveError && !fileKeeps) return '无法保存到本机存储，最近的修改还没有保存。请导出备份，以免丢失。';
  if (fileError === 'write') return '无法写入数据文件，最近的修改只保存在本机存储里。下次修改时会再试；也可以先导出备份。';
  if (fileError) return '数据文件无法读取，也没能另存一份。为了不覆盖它，修改只保存在本机存储里。请先导出备份。';
  return null;
}

function renderBanner() {
  const banner = document.getElementById('banner');
  const text = bannerText();
  if (!text) {
    banner.hidden = true;
    banner.replaceChildren();
    return;
  }
  banner.hidden = false;
  banner.replaceChildren(
    h('span', null, text),
    h('button', { class: 'btn', type: 'button', onclick: exportBackup }, '导出备份'),
  );
}

// An imported backup replaces the data; the data as it was is kept first,
// among the file's copies where there is a data file. Returns { ok, problems }.
async function importData(text) {
  if (!writer) {
    const r = store.importBackup(text, ctx.data);
    if (r.ok) adoptData(r.data);
    return r;
  }
  const parsed = parseBackup(text);
  if (!parsed.ok) return parsed;
  persist();
  const kept = await native.data('keep', { reason: 'import', text: backupText(ctx.data) });
  const error = replyError(kept, '无法先保存现在的数据，导入已取消。');
  if (error) return { ok: false, problems: [`无法先保存现在的数据，导入已取消：${error}`] };
  adoptData(parsed.data);
  ctx.copies = null;
  return { ok: true };
}

// Brings back a copy listed by the data folder; the data as it is now is
// kept as a copy first. Returns null, or why it did not happen.
async function restoreCopy(name) {
  persist();
  const r = await native.data('restore', { name, text: backupText(ctx.data) });
  ctx.copies = null;
  const error = replyError(r, '无法恢复这份副本。');
  const parsed = error ? null : parseBackup(r.text);
  if (!parsed || !parsed.ok) {
    // The file may hold the copy now: it gets the data as it is again.
    writer.changed();
    scheduleRender();
    return error || '这份副本无法读取。';
  }
  adoptData(parsed.data);
  return null;
}

export function exportBackup() {
  download(`dovrelist-backup-${ctx.today}.json`, backupText(ctx.data), 'application/json');
}

const REASONS = {
  unreadable: '已保存的数据无法读取',
  partial: '部分已保存的数据无法读取',
};

// `fromFile`: the data came back from the data file, and what the engine's
// storage lost needs no word.
function showStartNotices(fromFile = false) {
  for (const n of loaded.notices) {
    if (n.kind === 'migrated') toast('数据已更新为新的格式，原来的内容另存了一份。');
    if (n.kind === 'storage') ctx.saveError = 'storage';
    if (fromFile || (n.kind !== 'unreadable' && n.kind !== 'partial')) continue;
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
        view === 'today' ? [h('span', { id: 'nav-today', class: 'count', hidden: true, 'aria-hidden': 'true' }), h('span', { id: 'nav-today-said', class: 'sr' })] : null,
        view === 'plan' ? [h('span', { id: 'nav-late', class: 'count warn', hidden: true, 'aria-hidden': 'true' }), h('span', { id: 'nav-late-said', class: 'sr' })] : null,
        view === 'settings' ? h('span', { id: 'nav-sync', class: 'count warn', hidden: true }, h('span', { 'aria-hidden': 'true' }, '!'), h('span', { class: 'sr' }, '，同步有问题')) : null,
      ),
    ),
  );
}

// The steps of a start that work on the data: after the data file has
// been read, where there is one.
function settleData() {
  applyTemplates();
  pruneKept();
}

// The engine's storage is shown at once; the file replaces it in place when
// it holds the later change, before the ball is first told a count.
async function openDataFile() {
  const first = setTimeout(() => postCount(true), 3000);
  await takeComputerId();
  let r;
  try {
    r = await startData(loaded, native.data);
  } catch {
    // Whatever went wrong, the file is left as it is, and the banner says so.
    r = { from: 'engine', asideFile: false, blocked: '无法读取数据文件。' };
  }
  clearTimeout(first);
  opening = false;
  writer.open(!!r.blocked);
  if (r.from === 'merged') takeMerged(r.data);
  else if (r.from === 'file') {
    replaceData(r.data);
    store.save(ctx.data);
  } else if (!r.blocked && !r.current) writer.changed();
  if (r.blocked) ctx.fileError = 'blocked';
  scheduleRender();
  postCount(true);
  showStartNotices(r.from === 'file');
  renderBanner();
  if (r.asideFile)
    openDialog({
      title: '数据文件无法读取',
      body: h('p', null, '数据文件已原样另存在数据文件夹里，没有被覆盖。现在的数据来自本机存储，之后的修改会写入新的数据文件。'),
      actions: [
        { label: '在文件夹中显示', onClick: () => native.data('reveal') },
        { label: '知道了', kind: 'primary' },
      ],
    });
  keepAsideInFolder();
  settleData();
}

// What the engine's storage kept aside before an upgrade goes among the
// file's copies instead, where it does not fill the engine's storage.
async function keepAsideInFolder() {
  for (const n of loaded.notices) {
    const text = n.kind === 'migrated' && n.asideKey ? store.readAside(n.asideKey) : null;
    if (text === null) continue;
    const kept = await native.data('keep', { reason: 'upgrade', text });
    if (kept && kept.ok) store.discardAside(n.asideKey);
  }
}

function start() {
  buildNav();
  ctx.plan = makePlan(ctx.data, ctx.today);
  const fromHash = location.hash.slice(1);
  go(VIEWS[fromHash] ? fromHash : 'today');
  if (writer) {
    openDataFile().then(startSync);
  } else {
    postCount(true);
    showStartNotices();
    settleData();
  }
  if (native.hasLaunch) refreshStatus();
  // Leaving the page (a reload, the app quitting) stores what is not yet.
  window.addEventListener('pagehide', persist);
  // The app asks before it quits: the files get what they lack, then it may go.
  if (writer)
    window.__hlvnFlush = async () => {
      persist();
      await Promise.all([writer.flush(), syncWriter && syncWriter.flush()]);
      native.data('flushed');
    };
  if (unsaved) afterPaint(persist);

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

start();
