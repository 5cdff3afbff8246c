// Calendar days as "YYYY-MM-DD" strings. All arithmetic runs on UTC day
// numbers, so a 23- or 25-hour day around a clock change never shifts a date.

const ISO_RE = /^(\d{4})-(\d{2})-(\d{2})$/;
const DAY_MS = 86400000;

export function isISODate(s) {
  if (typeof s !== 'string') return false;
  const m = ISO_RE.exec(s);
  if (!m) return false;
  const y = +m[1], mo = +m[2], d = +m[3];
  if (y < 1900 || y > 2999 || mo < 1 || mo > 12 || d < 1) return false;
  return d <= daysInMonth(y, mo);
}

export function daysInMonth(year, month) {
  return new Date(Date.UTC(year, month, 0)).getUTCDate();
}

// Days since 1970-01-01; the ISO string must be valid.
export function dayNumber(iso) {
  const m = ISO_RE.exec(iso);
  return Math.round(Date.UTC(+m[1], +m[2] - 1, +m[3]) / DAY_MS);
}

export function fromDayNumber(n) {
  const d = new Date(n * DAY_MS);
  return `${d.getUTCFullYear()}-${pad2(d.getUTCMonth() + 1)}-${pad2(d.getUTCDate())}`;
}

export function addDays(iso, n) {
  return fromDayNumber(dayNumber(iso) + n);
}

export function diffDays(a, b) {
  return dayNumber(b) - dayNumber(a);
}

// 0 = Monday … 6 = Sunday, the order in which the week is shown.
export function weekdayIndex(iso) {
  return (((dayNumber(iso) + 3) % 7) + 7) % 7; // 1970-01-01 was a Thursday
}

export function startOfWeek(iso) {
  return addDays(iso, -weekdayIndex(iso));
}

// Inclusive list of days from a to b.
export function dayRange(a, b) {
  const out = [];
  for (let n = dayNumber(a), end = dayNumber(b); n <= end; n++) out.push(fromDayNumber(n));
  return out;
}

// The calendar day the user sees on their own clock.
export function localISO(date) {
  return `${date.getFullYear()}-${pad2(date.getMonth() + 1)}-${pad2(date.getDate())}`;
}

// A UTC Date at noon of the day, for Intl formatting with timeZone "UTC".
export function toUTCDate(iso) {
  return new Date(dayNumber(iso) * DAY_MS + DAY_MS / 2);
}

export function pad2(n) {
  return String(n).padStart(2, '0');
}
