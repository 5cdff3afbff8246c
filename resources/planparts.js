// The plan in words and bars, as several screens show it: why an
// assignment will be late, a day's load, and the pace it is planned at.

import { h, fmtDate, fmtMinutes } from './ui.js';
import { classOf } from './model.js';

export function lateText(ctx, info) {
  const a = ctx.data.assignments.find((x) => x.id === info.assignmentId);
  const cls = classOf(ctx.data, a);
  const name = `「${a.title}」${cls ? `（${cls.name}）` : ''}`;
  const amount = `${info.late} 份（约 ${fmtMinutes(info.lateMinutes)}）`;
  let cause;
  if (info.reason === 'past') cause = `归还日期已过（${fmtDate(a.due)}），还有 ${amount}没有批完。`;
  else if (info.reason === 'dueToday') cause = `今天（${fmtDate(a.due)}）就要归还，还有 ${amount}没有批完。`;
  else if (info.reason === 'noTime') {
    const { start, end } = info.window;
    const span = start === end ? fmtDate(start) : `${fmtDate(start)} 至 ${fmtDate(end)}`;
    cause = `归还前能批改的日子（${span}）没有可用时间：${amount}排不进去。`;
  } else if (info.reason === 'tooLong')
    cause = `每份约 ${fmtMinutes(info.pace.minutes)}，比归还前任何一天的可用时间都长：${amount}排不进去。`;
  else cause = `时间不够：${fmtDate(a.due)} 归还前还有 ${amount}排不进去。`;
  let after = '';
  if (info.overdue && !info.unplaced) after = `已排在归还日之后，预计 ${fmtDate(info.lastDay)} 批完。`;
  else if (info.overdue) after = `其中 ${info.overdue} 份已排在归还日之后，另外 ${info.unplaced} 份一年内都排不进去。`;
  else if (info.unplaced) after = '一年内都找不到可用时间。';
  return `${name}${cause}${after}`;
}

export function loadBar(day, scale) {
  const pct = (m) => `${Math.min(100, (m / scale) * 100)}%`;
  return h(
    'div',
    { class: 'hbar', 'aria-hidden': 'true' },
    h('div', { class: 'hbar-track', style: { width: pct(day.available) } }),
    h('div', { class: 'hbar-used', style: { width: pct(day.used) } }),
    h('div', { class: 'hbar-fill', style: { left: pct(day.used), width: pct(day.planned) } }),
  );
}

// Which estimate the plan uses for an assignment, in words.
export function paceText(ctx, a, pace) {
  const m = `每份 ${pace.minutes} 分钟`;
  if (pace.source === 'own') return `${m}（这项作业记下的用时，${pace.copies} 份）`;
  if (pace.source === 'classKind') {
    const cls = classOf(ctx.data, a);
    return `${m}（${cls ? cls.name : '未分班'}「${a.kind}」记下的用时，${pace.copies} 份）`;
  }
  if (pace.source === 'kind') return `${m}（${whoseTiming(ctx.data, a, pace.classIds)}「${a.kind}」记下的用时，${pace.copies} 份）`;
  return `${m}（你的估计）`;
}

// The classes whose timing a 类型's pace comes from: 本班 first, then the
// others as listed; past three, only how many.
function whoseTiming(data, a, classIds = []) {
  const ids = [...classIds].sort((x, y) => (y === a.classId) - (x === a.classId));
  if (ids.length > 3) return `${ids.length} 个班`;
  const name = (id) => (id === a.classId ? '本班' : (data.classes.find((c) => c.id === id) || { name: '未分班' }).name);
  return ids.map(name).join('、') || '各班';
}

// Where a learned pace comes from, in a word or two: "实测" only for this
// assignment's own timing.
export function paceSource(a, pace) {
  if (pace.source === 'own') return '实测';
  if (pace.source === 'classKind') return `按本班「${a.kind}」实测`;
  if (pace.source === 'kind') return `按「${a.kind}」实测`;
  return null;
}
