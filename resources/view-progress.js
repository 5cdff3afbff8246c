// Recording progress for any day, with the minutes really spent, and taking
// several copies back at once.

import { h, fmtDate, field, formDialog, toast } from './ui.js';
import { dateField } from './datefield.js';
import { remainingOf } from './planner.js';
import { checkRecord, recordProgress, recordsOf, titleOf, toNumber } from './model.js';

export function recordDialog(ctx, id) {
  const a = ctx.data.assignments.find((x) => x.id === id);
  if (!a) return null;
  const date = dateField({ id: 'rp-date', value: ctx.today, min: a.collected <= ctx.today ? a.collected : null, max: ctx.today, today: ctx.today });
  const count = h('input', { id: 'rp-count', type: 'text', inputmode: 'numeric', autocomplete: 'off', value: '' });
  const minutes = h('input', { id: 'rp-min', type: 'text', inputmode: 'numeric', autocomplete: 'off', value: '', placeholder: '可不填' });
  const wrap = h('div', { class: 'form-grid' });
  const draw = (e = {}) =>
    wrap.replaceChildren(
      field('哪天批的', date, e.date),
      field('份数', count, e.count, `还剩 ${remainingOf(a)} 份`),
      field('实际用了几分钟', minutes, e.minutes, '填了，计划就按你的真实速度来算。'),
    );
  draw();
  const check = () => checkRecord({ date: date.value, count: count.value, minutes: minutes.value }, remainingOf(a), ctx.today, a.collected);
  const ids = { date: 'rp-date', count: 'rp-count', minutes: 'rp-min' };
  return formDialog({
    title: `记录${titleOf(ctx.data, a)}的进度`,
    body: wrap,
    submit: '记录',
    invalid: () => new Set(Object.keys(check().errors || {}).map((k) => ids[k])),
    onSubmit: () => {
      const r = check();
      if (!r.ok) {
        draw(r.errors);
        return false;
      }
      const { date: d, count: n, minutes: m } = r.value;
      ctx.commit((data) => recordProgress(data, a.id, n, d, m));
      const name = titleOf(ctx.data, a);
      toast(d === ctx.today ? `已记录${name}今天批了 ${n} 份。` : `已记录${name} ${fmtDate(d)} 批了 ${n} 份。`);
      return true;
    },
  });
}

export function takeBackDialog(ctx, id) {
  const a = ctx.data.assignments.find((x) => x.id === id);
  const records = a ? recordsOf(ctx.data, id) : [];
  if (!records.length) return null;
  const day = h(
    'select',
    { id: 'tb-date' },
    records.map((r) => h('option', { value: r.date }, `${r.date === ctx.today ? '今天' : fmtDate(r.date)}（${r.n} 份）`)),
  );
  const count = h('input', { id: 'tb-count', type: 'text', inputmode: 'numeric', autocomplete: 'off', value: '1' });
  const wrap = h('div', { class: 'form-grid' });
  const draw = (err) => wrap.replaceChildren(field('记录的日期', day), field('撤销几份', count, err));
  draw();
  const valid = () => {
    const r = records.find((x) => x.date === day.value);
    const n = toNumber(count.value);
    return r && Number.isInteger(n) && n >= 1 && n <= r.n;
  };
  return formDialog({
    title: `撤销${titleOf(ctx.data, a)}的进度`,
    body: wrap,
    submit: '撤销',
    invalid: () => new Set(valid() ? [] : ['tb-count']),
    onSubmit: () => {
      const r = records.find((x) => x.date === day.value);
      const n = toNumber(count.value);
      if (!valid()) {
        draw(`应为 1 到 ${r ? r.n : 0} 的整数。`);
        return false;
      }
      ctx.commit((data) => recordProgress(data, a.id, -n, r.date));
      toast(`已撤销${titleOf(ctx.data, a)} ${n} 份。`);
      return true;
    },
  });
}
