// iCalendar text (RFC 5545): CRLF line ends, lines folded at 75 octets,
// TEXT values escaped.

import { addDays, pad2 } from './dates.js';

export function escapeText(value) {
  return String(value)
    .replace(/\\/g, '\\\\')
    .replace(/;/g, '\\;')
    .replace(/,/g, '\\,')
    .replace(/\r\n|\r|\n/g, '\\n');
}

function utf8Length(ch) {
  const c = ch.codePointAt(0);
  return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

// Folds one content line; never splits a character's UTF-8 sequence.
export function foldLine(line) {
  const parts = [];
  let current = '';
  let octets = 0;
  let limit = 75;
  for (const ch of line) {
    const n = utf8Length(ch);
    if (octets + n > limit) {
      parts.push(current);
      current = '';
      octets = 0;
      limit = 74; // the leading space of a continuation line counts
    }
    current += ch;
    octets += n;
  }
  parts.push(current);
  return parts.join('\r\n ');
}

export function utcStamp(date) {
  return (
    `${date.getUTCFullYear()}${pad2(date.getUTCMonth() + 1)}${pad2(date.getUTCDate())}` +
    `T${pad2(date.getUTCHours())}${pad2(date.getUTCMinutes())}${pad2(date.getUTCSeconds())}Z`
  );
}

// Floating local time `minutes` after midnight of `iso`; may roll into later days.
export function localStamp(iso, minutes) {
  const whole = Math.round(minutes);
  const day = addDays(iso, Math.floor(whole / 1440));
  const m = ((whole % 1440) + 1440) % 1440;
  return `${day.replace(/-/g, '')}T${pad2(Math.floor(m / 60))}${pad2(m % 60)}00`;
}

// The same moment on this computer's clock, written in UTC, so a calendar
// in any zone shows it at the right hour; clock changes are the Date's job.
export function zonedStamp(iso, minutes) {
  const [y, mo, d] = iso.split('-').map(Number);
  return utcStamp(new Date(y, mo - 1, d, 0, Math.round(minutes)));
}

export function dateStamp(iso) {
  return iso.replace(/-/g, '');
}

// events: [{ uid, start, end, allDay?, summary, description?, sequence?,
// status?, alarm? }]: start/end are UTC stamps, or date stamps for all-day
// events; alarm is minutes before the start.
export function buildCalendar({ name, events, now = new Date() }) {
  const stamp = utcStamp(now);
  const lines = [
    'BEGIN:VCALENDAR',
    'VERSION:2.0',
    'PRODID:-//Dovrelist//Grading plan//ZH',
    'CALSCALE:GREGORIAN',
    'METHOD:PUBLISH',
  ];
  if (name) lines.push(`X-WR-CALNAME:${escapeText(name)}`);
  for (const e of events) {
    const value = e.allDay ? ';VALUE=DATE' : '';
    lines.push('BEGIN:VEVENT', `UID:${e.uid}`, `DTSTAMP:${stamp}`, `DTSTART${value}:${e.start}`, `DTEND${value}:${e.end}`);
    if (e.sequence !== undefined) lines.push(`SEQUENCE:${e.sequence}`);
    if (e.status) lines.push(`STATUS:${e.status}`);
    if (e.allDay) lines.push('TRANSP:TRANSPARENT');
    lines.push(`SUMMARY:${escapeText(e.summary)}`);
    if (e.description) lines.push(`DESCRIPTION:${escapeText(e.description)}`);
    if (e.alarm > 0 && e.status !== 'CANCELLED')
      lines.push('BEGIN:VALARM', 'ACTION:DISPLAY', `DESCRIPTION:${escapeText(e.summary)}`, `TRIGGER:-PT${e.alarm}M`, 'END:VALARM');
    lines.push('END:VEVENT');
  }
  lines.push('END:VCALENDAR');
  return lines.map(foldLine).join('\r\n') + '\r\n';
}
