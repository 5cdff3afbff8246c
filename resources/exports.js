// The plan as calendar and spreadsheet files.

import { buildCalendar, localStamp } from './ics.js';
import { toCSV } from './csv.js';

function uidPart(id) {
  // Letters and digits stay, every other UTF-8 byte becomes "-XX": distinct
  // ids always give distinct UIDs, and the same session keeps its UID.
  let out = '';
  for (const byte of new TextEncoder().encode(id)) {
    const ch = String.fromCharCode(byte);
    out += /[A-Za-z0-9]/.test(ch) ? ch : `-${byte.toString(16).toUpperCase().padStart(2, '0')}`;
  }
  return out;
}

function sessionRows(plan, data) {
  const byId = new Map(data.assignments.map((a) => [a.id, a]));
  const byClass = new Map(data.classes.map((c) => [c.id, c]));
  const rows = [];
  for (const day of plan.days)
    for (const s of day.sessions) {
      const a = byId.get(s.assignmentId);
      if (!a) continue;
      rows.push({ date: day.date, a, cls: byClass.get(a.classId) || null, count: s.count, minutes: s.minutes });
    }
  return rows;
}

function startMinutes(hhmm) {
  const [h, m] = hhmm.split(':').map(Number);
  return h * 60 + m;
}

export function planCalendar(plan, data, now = new Date()) {
  const start = startMinutes(data.settings.sessionStart);
  const offsets = new Map();
  const events = sessionRows(plan, data).map((r) => {
    const from = offsets.get(r.date) ?? start;
    const to = from + Math.max(1, Math.ceil(r.minutes));
    offsets.set(r.date, to);
    const className = r.cls ? r.cls.name : '未分班';
    return {
      uid: `${r.date.replace(/-/g, '')}-${uidPart(r.a.id)}@dovrelist`,
      start: localStamp(r.date, from),
      end: localStamp(r.date, to),
      summary: `批改「${r.a.title}」${r.count} 份`,
      description: `班级：${className}\n预计 ${Math.ceil(r.minutes)} 分钟\n归还日期：${r.a.due}`,
    };
  });
  return buildCalendar({ name: 'Dovrelist 批改计划', events, now });
}

export function planCSV(plan, data) {
  const rows = [['日期', '班级', '作业', '份数', '预计分钟', '归还日期']];
  for (const r of sessionRows(plan, data))
    rows.push([r.date, r.cls ? r.cls.name : '', r.a.title, r.count, Math.ceil(r.minutes), r.a.due]);
  // The byte-order mark lets spreadsheet programs read the Chinese text as UTF-8.
  return '\uFEFF' + toCSV(rows);
}
