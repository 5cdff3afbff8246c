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

// Dates as the teacher types and reads them.

export const WEEKDAY_NAMES = ['一', '二', '三', '四', '五', '六', '日'];

const RELATIVE = { 前天: -2, 昨天: -1, 今天: 0, 明天: 1, 后天: 2 };
const FULL = /^(\d{4})\s*[-/.年]\s*(\d{1,2})\s*[-/.月]\s*(\d{1,2})\s*[日号]?$/;
const COMPACT = /^(\d{4})(\d{2})(\d{2})$/;
const NO_YEAR = /^(\d{1,2})\s*[-/.月]\s*(\d{1,2})\s*[日号]?$/;

const iso = (y, m, d) => `${y}-${pad2(m)}-${pad2(d)}`;

// A typed date as "YYYY-MM-DD", or null. Takes 2026/12/9, 2026-12-09,
// 2026.12.9, 2026年12月9日, 20261209, 12/9 and 12月9日 (in the year of
// `today`), and 今天, 明天 and the like. A weekday after the date is
// ignored, so the shown text reads back unchanged even when edited.
export function parseDateText(text, today) {
  const s = cleanDateText(text);
  if (s in RELATIVE) return isISODate(today) ? addDays(today, RELATIVE[s]) : null;
  let m = FULL.exec(s) || COMPACT.exec(s);
  let out = m ? iso(m[1], +m[2], +m[3]) : null;
  if (!m && (m = NO_YEAR.exec(s)) && isISODate(today)) out = iso(today.slice(0, 4), +m[1], +m[2]);
  return out && isISODate(out) ? out : null;
}

function cleanDateText(text) {
  return String(text ?? '')
    .normalize('NFKC')
    .replace(/[（(]?\s*(周|星期)[一二三四五六日天]\s*[）)]?/g, '')
    .trim();
}

// Why typed text names no day, in the teacher's words; null when it is
// empty or not shaped like a date at all.
export function dateTextProblem(text) {
  const s = cleanDateText(text);
  const full = FULL.exec(s) || COMPACT.exec(s);
  const noYear = full ? null : NO_YEAR.exec(s);
  if (!full && !noYear) return null;
  const [y, mo, d] = full ? [+full[1], +full[2], +full[3]] : [null, +noYear[1], +noYear[2]];
  if (y !== null && (y < 1900 || y > 2999)) return '年份应在 1900 到 2999 之间。';
  if (mo < 1 || mo > 12) return `没有这一天：一年只有 12 个月。`;
  // Without a year it is this year's date, which only fails for 2月29日.
  const last = y !== null ? daysInMonth(y, mo) : mo === 2 ? 28 : daysInMonth(2000, mo);
  if (d < 1 || d > last) return y !== null ? `没有这一天：${y}年${mo}月只有 ${last} 天。` : `没有这一天：今年${mo}月没有 ${d} 日。`;
  return null;
}

export function formatDateText(day) {
  if (!isISODate(day)) return '';
  return `${day.replaceAll('-', '/')} 周${WEEKDAY_NAMES[weekdayIndex(day)]}`;
}

export function clampDate(day, min, max) {
  if (min && day < min) return min;
  if (max && day > max) return max;
  return day;
}

// The same day n months on, or the month's last day when it is shorter.
export function addMonths(day, n) {
  const total = +day.slice(0, 4) * 12 + (+day.slice(5, 7) - 1) + n;
  const y = Math.floor(total / 12);
  const m = total - y * 12 + 1;
  return iso(y, m, Math.min(+day.slice(8, 10), daysInMonth(y, m)));
}
