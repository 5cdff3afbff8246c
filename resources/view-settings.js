// Settings: the app's own features (start at login, install), planning
// options, and the data set (backup, import, the file's copies, copies kept
// aside in the engine's storage).

import { h, fmtDateTime, download, openDialog, confirmDialog, toast } from './ui.js';
import { parseBackup } from './store.js';
import { replyError } from './native.js';
import { addDays, localISO, pad2 } from './dates.js';

const INSTALLED_FROM = 'dovrelist.installedFrom';

function readInstalledFrom(ctx) {
  try {
    return ctx.store.storage.getItem(INSTALLED_FROM);
  } catch {
    return null;
  }
}

function appSection(ctx) {
  const { native, app } = ctx;
  if (!native.hasLaunch) return null;
  const s = app.status;

  const autostart = h('input', {
    type: 'checkbox',
    role: 'switch',
    id: 'autostart',
    class: 'switch',
    'data-key': 'autostart',
    checked: !!(s && s.autostart),
    disabled: !s || app.busy === 'autostart',
    onchange: async (ev) => {
      const on = ev.target.checked;
      app.busy = 'autostart';
      app.error = null;
      ctx.render();
      const r = await native.request('autostart', { on });
      app.busy = null;
      if (r && r.ok) {
        app.status = { ...app.status, autostart: !!r.autostart };
        toast(on ? '已开启开机自启。' : '已关闭开机自启。');
      } else {
        app.error = replyError(r, on ? '没能开启开机自启。' : '没能关闭开机自启。');
      }
      // A failed change may leave either state on disk: ask again.
      if (!r || !r.ok) await ctx.refreshStatus();
      ctx.render();
    },
  });

  // After a successful copy this process still runs from where it was
  // started, so "status" keeps saying "not installed" until the copy is opened.
  const copied = s && !s.installed && (app.justInstalled || readInstalledFrom(ctx) === s.appPath);
  let install = null;
  if (!s) install = h('p', { class: 'muted' }, '正在读取…');
  else if (s.installed) install = h('p', null, '已在「应用程序」中。');
  else if (copied)
    install = h(
      'p',
      { class: 'notice', role: 'status' },
      '已复制到「应用程序」。请退出 Dovrelist，再打开「应用程序」里的那一份；现在运行的仍是原来位置的这一份。',
    );
  else
    install = h(
      'div',
      null,
      h(
        'button',
        {
          type: 'button',
          class: 'btn primary',
          'data-key': 'install',
          disabled: app.busy === 'install',
          onclick: async () => {
            app.busy = 'install';
            app.installError = null;
            ctx.render();
            const r = await native.request('install');
            app.busy = null;
            if (r && r.ok) {
              try {
                ctx.store.storage.setItem(INSTALLED_FROM, s.appPath);
              } catch {
                // Only the hint after a restart of the page is lost.
              }
              app.justInstalled = true;
            } else app.installError = replyError(r, '安装失败。');
            ctx.render();
          },
        },
        app.busy === 'install' ? '正在复制…' : '安装到「应用程序」',
      ),
      app.installError ? h('p', { class: 'error', role: 'alert' }, app.installError) : null,
    );

  return h(
    'section',
    { class: 'card', 'aria-labelledby': 'set-app' },
    h('h2', { id: 'set-app' }, 'App'),
    h(
      'div',
      { class: 'setting' },
      h('label', { for: 'autostart', class: 'grow' }, h('strong', null, '开机自启'), h('div', { class: 'muted' }, '登录后自动在后台运行，悬浮球显示今天要批的份数。')),
      autostart,
    ),
    app.error ? h('p', { class: 'error', role: 'alert' }, app.error) : null,
    h('div', { class: 'setting' }, h('div', { class: 'grow' }, h('strong', null, '安装'), install)),
    h(
      'div',
      { class: 'setting' },
      h('div', { class: 'grow' }, h('strong', null, 'App 位置'), h('div', null, h('code', { id: 'app-path' }, s ? s.appPath : ''))),
    ),
  );
}

function planSection(ctx) {
  const { settings } = ctx.data;
  const onReturn = h('input', {
    type: 'checkbox',
    role: 'switch',
    class: 'switch',
    id: 'on-return',
    'data-key': 'on-return',
    checked: settings.gradeOnReturnDay,
    onchange: (ev) => ctx.commit((d) => (d.settings.gradeOnReturnDay = ev.target.checked)),
  });
  // A list of times rather than <input type=time>, which shows "07:00 PM"
  // when the system's language is English.
  const times = Array.from({ length: 96 }, (_, i) => `${pad2(Math.floor(i / 4))}:${pad2((i % 4) * 15)}`);
  if (!times.includes(settings.sessionStart)) times.push(settings.sessionStart);
  times.sort();
  const startTime = h(
    'select',
    {
      id: 'session-start',
      'data-key': 'session-start',
      onchange: (ev) => {
        if (/^([01]\d|2[0-3]):[0-5]\d$/.test(ev.target.value)) ctx.commit((d) => (d.settings.sessionStart = ev.target.value));
      },
    },
    times.map((t) => h('option', { value: t, selected: t === settings.sessionStart }, t)),
  );
  const reminder = h(
    'select',
    {
      id: 'reminder',
      'data-key': 'reminder',
      onchange: (ev) => ctx.commit((d) => (d.settings.reminder = Number(ev.target.value))),
    },
    [0, 5, 10, 15, 30, 60].map((m) => h('option', { value: String(m), selected: m === settings.reminder }, m ? `提前 ${m} 分钟` : '不提醒')),
  );
  return h(
    'section',
    { class: 'card', 'aria-labelledby': 'set-plan' },
    h('h2', { id: 'set-plan' }, '计划'),
    h(
      'div',
      { class: 'setting' },
      h('label', { for: 'on-return', class: 'grow' }, h('strong', null, '归还日当天也可以批改'), h('div', { class: 'muted' }, '不勾选时，作业最晚在归还日的前一天批完；收取当天就归还的作业在当天批改。')),
      onReturn,
    ),
    h(
      'div',
      { class: 'setting' },
      h('label', { for: 'session-start', class: 'grow' }, h('strong', null, '日历里的开始时间'), h('div', { class: 'muted' }, '导出的日历从这个时间起依次排列每天的批改。')),
      startTime,
    ),
    h(
      'div',
      { class: 'setting' },
      h('label', { for: 'reminder', class: 'grow' }, h('strong', null, '日历提醒'), h('div', { class: 'muted' }, '导出的日历在每次批改开始前提醒。')),
      reminder,
    ),
  );
}

const ASIDE_LABELS = { unreadable: '无法读取的数据', 'before-import': '导入前的数据', v1: '旧版本的数据', v2: '旧版本的数据', v3: '旧版本的数据' };

function dataSection(ctx) {
  const { store } = ctx;
  const file = h('input', {
    type: 'file',
    id: 'import-file',
    accept: '.json,application/json',
    // Opened by the button beside it; not a tab stop of its own.
    hidden: true,
    onchange: async (ev) => {
      const f = ev.target.files && ev.target.files[0];
      ev.target.value = '';
      if (f) await importFile(ctx, f);
    },
  });
  const aside = store.listAside();
  return h(
    'section',
    { class: 'card', 'aria-labelledby': 'set-data' },
    h('h2', { id: 'set-data' }, '数据'),
    h(
      'p',
      { class: 'muted' },
      ctx.writer
        ? '数据保存在本机的数据文件里，每次修改后都会自动写入，每天自动保存一份副本。备份文件包含全部班级、作业、时间、设置和最近删除的内容。'
        : '数据保存在本机，每次修改都会立即保存。备份文件包含全部班级、作业、时间、设置和最近删除的内容。',
    ),
    h(
      'div',
      { class: 'head-actions' },
      h('button', { type: 'button', class: 'btn', onclick: ctx.exportBackup }, '导出备份（JSON）'),
      h('button', { type: 'button', class: 'btn', onclick: () => file.click() }, '导入备份…'),
      file,
    ),
    ctx.writer ? copiesPart(ctx) : null,
    aside.length
      ? h(
          'div',
          { class: 'aside' },
          h('h3', null, '另存的数据'),
          h(
            'ul',
            null,
            aside.map((x) => {
              const when = new Date(x.at.split('.').slice(0, 2).join('.'));
              return h(
                'li',
                null,
                h('span', { class: 'grow' }, ASIDE_LABELS[x.reason] || '另存的数据', h('span', { class: 'muted' }, ` · ${isNaN(when) ? x.at : fmtDateTime(when)}`)),
                h('button', { type: 'button', class: 'btn small', onclick: () => download(`dovrelist-${x.reason}.json`, store.readAside(x.key) ?? '', 'application/json') }, '导出'),
                h(
                  'button',
                  {
                    type: 'button',
                    class: 'btn small quiet',
                    onclick: async () => {
                      const ok = await confirmDialog({ title: '删除另存的数据', message: '删除后无法找回。建议先导出。', ok: '删除', danger: true });
                      if (ok) {
                        store.discardAside(x.key);
                        ctx.render();
                      }
                    },
                  },
                  '删除',
                ),
              );
            }),
          ),
        )
      : null,
  );
}

const COPY_REASONS = { daily: '每日', import: '导入前', restore: '恢复前', upgrade: '升级前' };
// What each copy holds, by name: a copy never changes once made. What was
// read is also kept in the engine's storage, so that each copy is read once
// and not at every opening of 设置: a year keeps some sixty copies of a few
// MB each, and reading one holds the page up for a quarter of a second.
// Only what could be read is kept: an unreadable copy is tried again.
const CONTENTS_KEY = 'dovrelist.copyContents';
const copyContents = new Map();

const isCount = (n) => Number.isSafeInteger(n) && n >= 0;

function storedContents(storage) {
  let kept = null;
  try {
    kept = JSON.parse(storage.getItem(CONTENTS_KEY));
  } catch {
    // Unreadable or switched off: the copies are read again.
  }
  const found = new Map();
  if (!kept || typeof kept !== 'object') return found;
  for (const [name, v] of Object.entries(kept))
    if (v && isCount(v.classes) && isCount(v.assignments)) found.set(name, { classes: v.classes, assignments: v.assignments });
  return found;
}

// Keeps what is known of the listed copies only, so that thinned-out copies
// do not pile up.
function storeContents(storage, list) {
  const kept = {};
  for (const c of list) if (copyContents.get(c.name)) kept[c.name] = copyContents.get(c.name);
  try {
    storage.setItem(CONTENTS_KEY, JSON.stringify(kept));
  } catch {
    // Full or switched off: read again next time.
  }
}

// "12月3日", with the year when it is not this year's.
function dayLabel(iso, today) {
  const md = `${+iso.slice(5, 7)}月${+iso.slice(8, 10)}日`;
  return iso.slice(0, 4) === today.slice(0, 4) ? md : `${+iso.slice(0, 4)}年${md}`;
}

// Lists the copies, then reads what each holds, one at a time, so that a
// year of copies never holds the page up.
async function loadCopies(ctx) {
  const state = { list: null, error: null };
  ctx.copies = state;
  const r = await ctx.native.data('copies');
  if (ctx.copies !== state) return;
  if (!r || r.ok !== true || !Array.isArray(r.copies)) state.error = replyError(r, '无法列出副本。');
  else state.list = r.copies.filter((c) => c && typeof c.name === 'string' && typeof c.date === 'string');
  const list = state.list ?? [];
  const stored = storedContents(ctx.store.storage);
  for (const c of list) if (!copyContents.has(c.name) && stored.has(c.name)) copyContents.set(c.name, stored.get(c.name));
  ctx.render();
  for (const c of list) {
    if (copyContents.has(c.name)) continue;
    const read = await ctx.native.data('readCopy', { name: c.name });
    const parsed = read && read.ok === true ? parseBackup(read.text) : { ok: false };
    copyContents.set(c.name, parsed.ok ? { classes: parsed.data.classes.length, assignments: parsed.data.assignments.length } : null);
    if (parsed.ok) storeContents(ctx.store.storage, list);
    if (ctx.copies !== state) return;
    ctx.render();
  }
}

function copiesPart(ctx) {
  if (!ctx.copies) loadCopies(ctx);
  const { list, error } = ctx.copies;
  const row = (c) => {
    const when = `${dayLabel(c.date, ctx.today)}${c.time ? ` ${c.time.slice(0, 5)}` : ''}`;
    const holds = copyContents.get(c.name);
    const what =
      holds === undefined ? '正在读取…' : holds === null ? '已损坏，无法恢复' : `${holds.classes} 个班级、${holds.assignments} 项作业`;
    return h(
      'li',
      null,
      h('span', { class: 'grow' }, when, h('span', { class: 'muted' }, ` · ${COPY_REASONS[c.reason] || '副本'} · ${what}`)),
      h(
        'button',
        {
          type: 'button',
          class: 'btn small',
          'data-key': `restore-${c.name}`,
          disabled: !holds,
          'aria-label': `恢复 ${when} 的副本`,
          onclick: async () => {
            const ok = await confirmDialog({
              title: '恢复副本',
              message: `用 ${dayLabel(c.date, ctx.today)} 的副本替换现在的数据？现在的数据会先保存一份。`,
              ok: '恢复',
            });
            if (!ok) return;
            const problem = await ctx.restoreCopy(c.name);
            if (problem) await openDialog({ title: '无法恢复', body: h('p', null, problem), actions: [{ label: '知道了', kind: 'primary' }] });
            else toast(`已恢复 ${when} 的副本。`);
          },
        },
        '恢复这一份',
      ),
      h(
        'button',
        { type: 'button', class: 'btn small quiet', 'aria-label': `在文件夹中显示 ${when} 的副本`, onclick: () => ctx.native.data('reveal', { name: c.name }) },
        '在文件夹中显示',
      ),
    );
  };
  return h(
    'div',
    { class: 'aside' },
    h('h3', null, '自动保存的副本'),
    error
      ? h('p', { class: 'notice' }, error)
      : !list
        ? h('p', { class: 'muted' }, '正在读取…')
        : !list.length
          ? h('p', { class: 'muted' }, '还没有副本：每天第一次修改前，数据文件会先保存一份。')
          : h('ul', null, list.map(row)),
  );
}

async function importFile(ctx, f) {
  let text;
  try {
    text = await f.text();
  } catch {
    text = null;
  }
  const check = text === null ? { ok: false, problems: ['无法读取这个文件。'] } : parseBackup(text);
  if (!check.ok) {
    await openDialog({
      title: '无法导入',
      body: [h('p', null, '这个文件不是有效的 Dovrelist 备份，现有数据没有任何改变。'), h('ul', { class: 'problems' }, check.problems.slice(0, 8).map((p) => h('li', null, p)))],
      actions: [{ label: '知道了', kind: 'primary' }],
    });
    return;
  }
  const n = check.data.assignments.length;
  const ok = await confirmDialog({
    title: '导入备份',
    message: `备份里有 ${check.data.classes.length} 个班级、${n} 项作业。导入会替换现在的全部数据；现在的数据会先另存一份。`,
    ok: '导入',
  });
  if (!ok) return;
  const r = await ctx.importData(text);
  if (!r.ok) {
    await openDialog({ title: '无法导入', body: h('p', null, r.problems.join(' ')), actions: [{ label: '知道了', kind: 'primary' }] });
    return;
  }
  toast('备份已导入。');
}

// What stands in the way of keeping in step, said once; null when nothing does.
export function syncTrouble(sync) {
  if (!sync || !sync.folder) return null;
  if (sync.writeError) return '无法写入同步文件夹，这台电脑的修改暂时没有同步出去。修改照常保存在这台电脑上，稍后会再试。';
  const t = sync.trouble;
  if (!t) return null;
  if (t.kind === 'missing') return '找不到同步文件夹（U 盘拔出了，或网络共享断开了）。修改照常保存在这台电脑上，文件夹回来后会自动继续同步。';
  if (t.kind === 'newer') return `「${t.name}」在用更新版本的 Dovrelist，请更新这台电脑上的 Dovrelist。`;
  if (t.kind === 'pending') return '同步文件夹里有文件还在下载，下载好后会自动合并。';
  if (t.kind === 'unreadable') return '同步文件夹里有文件暂时读不了（可能还没有同步完），稍后会再试。';
  return `读不了同步文件夹${t.text ? `：${t.text}` : '。'}修改照常保存在这台电脑上。`;
}

// "今天 14:05", "昨天 14:05", "12月3日 14:05".
function whenLabel(ms, today) {
  const d = new Date(ms);
  if (!Number.isFinite(ms) || isNaN(d)) return '';
  const iso = localISO(d);
  const time = `${pad2(d.getHours())}:${pad2(d.getMinutes())}`;
  const day = iso === today ? '今天' : iso === addDays(today, -1) ? '昨天' : dayLabel(iso, today);
  return `${day} ${time}`;
}

function syncSection(ctx) {
  const { sync, native } = ctx;
  if (!sync) return null;
  const act = async (cmd, members, fallback) => {
    sync.busy = cmd;
    ctx.render();
    const r = await native.data(cmd, members);
    sync.busy = null;
    const error = replyError(r, fallback);
    if (error) await openDialog({ title: '多台电脑', body: h('p', null, error), actions: [{ label: '知道了', kind: 'primary' }] });
    ctx.render();
    return error ? null : r;
  };
  const name = h('input', { id: 'computer-name', 'data-key': 'computer-name', type: 'text', maxlength: 40, value: sync.computer.name, class: 'grow' });
  const rename = async () => {
    const r = await act('setName', { name: name.value }, '没能改名。');
    if (r && typeof r.name === 'string') sync.computer.name = r.name;
    ctx.render();
  };
  const trouble = syncTrouble(sync);
  return h(
    'section',
    { class: 'card', 'aria-labelledby': 'set-sync' },
    h('h2', { id: 'set-sync' }, '多台电脑'),
    h('p', { class: 'muted' }, '在学校和家里都用 Dovrelist：选一个两台电脑都同步的文件夹（iCloud 云盘、Dropbox、OneDrive、网络共享或 U 盘），两边的修改会自动合并，谁的修改都不会丢。'),
    h(
      'div',
      { class: 'setting' },
      h('label', { for: 'computer-name', class: 'grow' }, h('strong', null, '这台电脑的名称'), h('div', { class: 'muted' }, '其他电脑上显示这个名称。')),
      name,
      h('button', { type: 'button', class: 'btn small', disabled: !!sync.busy, onclick: rename }, '保存名称'),
    ),
    sync.folder
      ? h(
          'div',
          { class: 'setting' },
          h('div', { class: 'grow' }, h('strong', null, '同步文件夹'), h('div', { class: 'muted', id: 'sync-folder' }, sync.folder)),
          h(
            'button',
            {
              type: 'button',
              class: 'btn small quiet',
              'data-key': 'sync-stop',
              disabled: !!sync.busy,
              onclick: async () => {
                const ok = await confirmDialog({ title: '停止同步', message: '这台电脑不再读写同步文件夹。两边已有的数据都原样保留。', ok: '停止同步' });
                if (ok && (await act('forgetFolder', {}, '没能停止同步。'))) ctx.endSync();
                ctx.render();
              },
            },
            '停止同步',
          ),
        )
      : null,
    h(
      'div',
      { class: 'head-actions' },
      h(
        'button',
        {
          type: 'button',
          class: 'btn',
          'data-key': 'sync-choose',
          disabled: !!sync.busy,
          onclick: async () => {
            const r = await act('chooseFolder', {}, '没能选择同步文件夹。');
            if (!r || r.cancelled || typeof r.folder !== 'string') return;
            if (sync.folder) ctx.endSync();
            sync.folder = r.folder;
            ctx.beginSync();
            ctx.render();
          },
        },
        sync.folder ? '换一个同步文件夹…' : '选择同步文件夹…',
      ),
    ),
    trouble ? h('p', { class: 'notice', role: 'status' }, trouble) : null,
    sync.folder && sync.computers.length
      ? h(
          'ul',
          { class: 'computers', 'aria-label': '其他电脑' },
          sync.computers.map((c) => h('li', null, h('span', { class: 'grow' }, c.name), h('span', { class: 'muted' }, `上次更新：${whenLabel(c.at, ctx.today)}`))),
        )
      : null,
  );
}

export function renderSettings(ctx) {
  return h(
    'div',
    { class: 'view' },
    h('header', { class: 'view-head' }, h('div', null, h('h1', { tabindex: '-1' }, '设置'))),
    appSection(ctx),
    planSection(ctx),
    syncSection(ctx),
    dataSection(ctx),
  );
}
