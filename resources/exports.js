// The plan as calendar and spreadsheet files.

import { buildCalendar, dateStamp, zonedStamp } from './ics.js';
import { addDays, localISO } from './dates.js';
import { remainingOf } from './planner.js';
import { toCSV } from './csv.js';
import { fmtMinutes } from './ui.js';

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
      rows.push({ date: day.date, a, cls: byClass.get(a.classId) || null, count: s.count, minutes: s.minutes, overdue: !!s.overdue });
    }
  return rows;
}

// The day on this computer's clock of a stamp written by planCalendar.
function dayOfStamp(stamp) {
  const m = /^(\d{4})(\d{2})(\d{2})(?:T(\d{2})(\d{2})(\d{2})Z)?$/.exec(stamp);
  if (!m) return '';
  if (m[4] === undefined) return `${m[1]}-${m[2]}-${m[3]}`;
  return localISO(new Date(Date.UTC(+m[1], +m[2] - 1, +m[3], +m[4], +m[5], +m[6])));
}

function startMinutes(hhmm) {
  const [h, m] = hhmm.split(':').map(Number);
  return h * 60 + m;
}

// SEQUENCE as whole minutes since 2000-01-01 (UTC): it keeps rising even when
// an older backup brought back a lower remembered value, and stays within
// what a backup may hold.
const SEQUENCE_EPOCH = Date.UTC(2000, 0, 1);
const SEQUENCE_MAX = 1e9;

function nextSequence(stored, now) {
  const clock = Math.floor((now.getTime() - SEQUENCE_EPOCH) / 60000);
  return Math.min(SEQUENCE_MAX, Math.max(stored + 1, clock));
}

// Returns the calendar text and what to remember of it: the next export
// gives every event a higher SEQUENCE, and sends the sessions that have left
// the plan as cancelled, so a calendar that imported the last file ends up
// matching this one.
export function planCalendar(plan, data, now = new Date()) {
  const start = startMinutes(data.settings.sessionStart);
  const sequence = nextSequence(data.calendar?.sequence ?? 0, now);
  const alarm = data.settings.reminder || 0;
  const offsets = new Map();
  const events = sessionRows(plan, data).map((r) => {
    const from = offsets.get(r.date) ?? start;
    // Whole minutes, rounded as every screen rounds them.
    const to = from + Math.max(1, Math.round(r.minutes));
    offsets.set(r.date, to);
    const className = r.cls ? r.cls.name : '未分班';
    return {
      uid: `${r.date.replace(/-/g, '')}-${uidPart(r.a.id)}@dovrelist`,
      start: zonedStamp(r.date, from),
      end: zonedStamp(r.date, to),
      summary: `批改「${r.a.title}」${r.cls ? `（${r.cls.name}）` : ''}${r.count} 份${r.overdue ? '（逾期）' : ''}`,
      description: `班级：${className}\n预计 ${fmtMinutes(r.minutes)}\n归还日期：${r.a.due}${r.overdue ? '\n已过归还日期' : ''}`,
      sequence,
      alarm,
    };
  });
  const byClass = new Map(data.classes.map((c) => [c.id, c]));
  for (const a of data.assignments) {
    if (remainingOf(a) === 0 && a.due < plan.today) continue;
    const cls = byClass.get(a.classId);
    events.push({
      uid: `due-${uidPart(a.id)}@dovrelist`,
      start: dateStamp(a.due),
      end: dateStamp(addDays(a.due, 1)),
      allDay: true,
      summary: `归还「${a.title}」${cls ? `（${cls.name}）` : ''}`,
      sequence,
    });
  }
  const sent = {};
  for (const e of events) sent[e.uid] = { start: e.start, end: e.end, summary: e.summary, allDay: !!e.allDay };
  // The page never learns whether a file was saved, let alone imported, so
  // what left the plan is cancelled in every export, and remembered, until
  // its day is past. What was sent for a day before today is history, not
  // plan: it stays in the calendar as it was, and is no longer remembered.
  for (const [uid, e] of Object.entries(data.calendar?.sent ?? {}))
    if (!sent[uid] && dayOfStamp(e.start) >= plan.today) {
      events.push({ uid, start: e.start, end: e.end, allDay: e.allDay, summary: e.summary, sequence, status: 'CANCELLED' });
      sent[uid] = { start: e.start, end: e.end, summary: e.summary, allDay: !!e.allDay };
    }
  const text = buildCalendar({ name: 'Dovrelist 批改计划', events, now });
  return { text, calendar: { sequence, sent } };
}

export function planCSV(plan, data) {
  const rows = [['日期', '班级', '作业', '份数', '预计分钟', '归还日期', '逾期']];
  for (const r of sessionRows(plan, data))
    rows.push([r.date, r.cls ? r.cls.name : '', r.a.title, r.count, Math.round(r.minutes), r.a.due, r.overdue ? '逾期' : '']);
  // The byte-order mark lets spreadsheet programs read the Chinese text as UTF-8.
  return '\uFEFF' + toCSV(rows);
}
