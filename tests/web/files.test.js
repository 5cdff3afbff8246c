// Calendar and CSV files written from a plan.
// Times in the calendar must be absolute: the teacher's clock is 8 hours ahead of UTC.
process.env.TZ = 'Asia/Shanghai';

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { escapeText, foldLine, buildCalendar, localStamp } from '../../resources/ics.js';
import { csvField, toCSV } from '../../resources/csv.js';
import { planCalendar, planCSV } from '../../resources/exports.js';
import { makePlan } from '../../resources/planner.js';
import { recordProgress } from '../../resources/model.js';
import { backupText, parseBackup } from '../../resources/store.js';
import { dataWith, every } from './fixtures.js';

const unfold = (text) => text.replace(/\r\n[ \t]/g, '');
const LONE_SURROGATE = /[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(?<![\uD800-\uDBFF])[\uDC00-\uDFFF]/;

test('ics: long lines fold at 75 octets without splitting characters', () => {
  const line = 'SUMMARY:' + '批改「期中作文」'.repeat(12) + '📚'.repeat(30) + 'abc'.repeat(40);
  const folded = foldLine(line);
  const physical = folded.split('\r\n');
  assert.ok(physical.length > 5);
  for (const [i, p] of physical.entries()) {
    assert.ok(Buffer.byteLength(p, 'utf8') <= 75, `line ${i} is ${Buffer.byteLength(p)} octets`);
    assert.ok(!LONE_SURROGATE.test(p), `line ${i} splits a character`);
    if (i > 0) assert.equal(p[0], ' ');
  }
  assert.equal(unfold(folded), line);
  assert.equal(foldLine('SUMMARY:short'), 'SUMMARY:short');
});

test('ics: text values are escaped', () => {
  assert.equal(escapeText('a,b;c\\d\ne\r\nf'), 'a\\,b\\;c\\\\d\\ne\\nf');
  const cal = buildCalendar({
    name: 'x',
    now: new Date(Date.UTC(2025, 2, 3, 8, 5, 9)),
    events: [{ uid: 'u1@x', start: '20250303T190000', end: '20250303T193000', summary: '听写, 第3课; 订正', description: '一\n二' }],
  });
  const lines = unfold(cal).split('\r\n');
  assert.ok(lines.includes('SUMMARY:听写\\, 第3课\\; 订正'));
  assert.ok(lines.includes('DESCRIPTION:一\\n二'));
  assert.ok(lines.includes('DTSTAMP:20250303T080509Z'));
});

test('ics: a plan becomes one valid event per session', () => {
  const data = dataWith({
    weekly: every(300),
    classes: [{ id: 'c1', name: '初二(3)班, 语文', color: '#4f7cac' }],
    // Ids that a careless UID scheme would merge.
    assignments: [
      { id: 'a-1', title: '作文;第一单元', due: '2025-03-05', submissions: 40, minutesEach: 12 },
      { id: 'a_1', title: '作文', due: '2025-03-06', submissions: 10, minutesEach: 6 },
    ],
    settings: { sessionStart: '21:30' },
  });
  const plan = makePlan(data, '2025-03-03');
  const { text } = planCalendar(plan, data, new Date(Date.UTC(2025, 2, 3)));
  assert.ok(text.endsWith('\r\n'));
  assert.ok(!/[^\r]\n/.test(text), 'bare LF found');
  const lines = unfold(text).split('\r\n').slice(0, -1);
  assert.equal(lines[0], 'BEGIN:VCALENDAR');
  assert.equal(lines.at(-1), 'END:VCALENDAR');
  assert.ok(lines.includes('VERSION:2.0'));
  assert.ok(lines.some((l) => l.startsWith('PRODID:')));

  const sessions = plan.days.reduce((n, d) => n + d.sessions.length, 0);
  const events = lines.filter((l) => l === 'BEGIN:VEVENT').length;
  // One per session, and one all-day event per return date.
  assert.equal(events, sessions + 2);
  assert.equal(lines.filter((l) => l === 'END:VEVENT').length, events);
  assert.equal(lines.filter((l) => l.startsWith('DTSTAMP:')).length, events);
  const uids = lines.filter((l) => l.startsWith('UID:'));
  assert.equal(new Set(uids).size, events);

  // Monday: 25 × 12 min = 300 min from 21:30 runs to 02:30 the next day,
  // which is 13:30 to 18:30 UTC.
  assert.ok(lines.includes('DTSTART:20250303T133000Z'));
  assert.ok(lines.includes('DTEND:20250303T183000Z'));
  assert.equal(localStamp('2025-03-31', 1440 + 15), '20250401T001500');
  // Several classes often share a title: the summary names the class.
  assert.ok(lines.includes('SUMMARY:批改「作文\\;第一单元」（初二(3)班\\, 语文）25 份'));
  assert.ok(lines.some((l) => l.startsWith('DESCRIPTION:班级：初二(3)班\\, 语文\\n')));
});

test('csv: commas, quotes and line breaks are quoted', () => {
  assert.equal(csvField('plain'), 'plain');
  assert.equal(csvField('a,b'), '"a,b"');
  assert.equal(csvField('他说"好"'), '"他说""好"""');
  assert.equal(csvField('一\n二'), '"一\n二"');
  assert.equal(csvField('x\r'), '"x\r"');
  assert.equal(csvField(' lead'), '" lead"');
  assert.equal(csvField(12), '12');
  assert.equal(csvField(null), '');
  assert.equal(toCSV([['a', 'b,c'], ['"', '']]), 'a,"b,c"\r\n"""",\r\n');
});

test('csv: a plan exports one row per session and reads back', () => {
  const data = dataWith({
    weekly: every(60),
    classes: [{ id: 'c1', name: '高一, 1班', color: '#4f7cac' }],
    assignments: [{ title: '实验"报告"\n第二份', due: '2025-03-05', submissions: 8, minutesEach: 10 }],
  });
  const text = planCSV(makePlan(data, '2025-03-03'), data);
  assert.equal(text[0], '\uFEFF');
  assert.deepEqual(parseCSV(text.slice(1)), [
    ['日期', '班级', '作业', '份数', '预计分钟', '归还日期', '逾期'],
    ['2025-03-03', '高一, 1班', '实验"报告"\n第二份', '6', '60', '2025-03-05', ''],
    ['2025-03-04', '高一, 1班', '实验"报告"\n第二份', '2', '20', '2025-03-05', ''],
  ]);
});

// A strict reader: quoted fields may hold anything, rows end in CRLF.
function parseCSV(text) {
  const rows = [];
  let row = [], field = '', i = 0, quoted = false;
  while (i < text.length) {
    const ch = text[i];
    if (quoted) {
      if (ch === '"' && text[i + 1] === '"') (field += '"'), (i += 2);
      else if (ch === '"') (quoted = false), i++;
      else (field += ch), i++;
    } else if (ch === '"' && field === '') (quoted = true), i++;
    else if (ch === ',') row.push(field), (field = ''), i++;
    else if (ch === '\r' && text[i + 1] === '\n') row.push(field), rows.push(row), (row = []), (field = ''), (i += 2);
    else if (ch === '"' || ch === '\n' || ch === '\r') throw new Error(`unquoted ${JSON.stringify(ch)} at ${i}`);
    else (field += ch), i++;
  }
  assert.equal(field, '');
  assert.equal(row.length, 0, 'last row not ended');
  return rows;
}

test('csv: text a spreadsheet would run as a formula is neutralised, nothing else', () => {
  for (const t of ['=HYPERLINK("http://x","y")', '+1', '-2', '@SUM(A1)', '\tx', '\rx'])
    assert.equal(parseCSV(toCSV([[t]]))[0][0], `'${t}`, JSON.stringify(t));
  for (const t of ['a=b', '作文 -1', "'已有"]) assert.equal(parseCSV(toCSV([[t]]))[0][0], t);
  assert.equal(csvField(-3), '-3');
  const data = dataWith({ weekly: every(60), assignments: [{ title: '=1+1', due: '2025-03-05', submissions: 1, minutesEach: 10 }] });
  assert.equal(parseCSV(planCSV(makePlan(data, '2025-03-03'), data).slice(1))[1][2], "'=1+1");
});

test('late copies are in both exports, marked overdue', () => {
  const data = dataWith({ weekly: every(60), assignments: [{ title: '试卷', due: '2025-03-04', submissions: 8, minutesEach: 10 }] });
  const plan = makePlan(data, '2025-03-03');
  const rows = parseCSV(planCSV(plan, data).slice(1));
  assert.deepEqual(rows.slice(1).map((r) => [r[0], r[3], r[6]]), [['2025-03-03', '6', ''], ['2025-03-04', '2', '逾期']]);
  const lines = unfold(planCalendar(plan, data).text).split('\r\n');
  assert.ok(lines.includes('SUMMARY:批改「试卷」（三年二班）2 份（逾期）'));
});

test('ics: a second export replaces the first, cancels what left, and stays absolute', () => {
  const data = dataWith({
    weekly: every(60),
    assignments: [
      { title: '作文', due: '2025-03-05', submissions: 6, minutesEach: 10 },
      { title: '听写', due: '2025-03-06', submissions: 6, minutesEach: 10 },
    ],
    settings: { sessionStart: '19:00', reminder: 15 },
  });
  const events = (text) =>
    unfold(text)
      .split('BEGIN:VEVENT')
      .slice(1)
      .map((e) => Object.fromEntries(e.split('\r\n').filter((l) => /^[A-Z;=-]+:/.test(l)).map((l) => [l.slice(0, l.indexOf(':')), l.slice(l.indexOf(':') + 1)])));
  const first = planCalendar(makePlan(data, '2025-03-03'), data, new Date(Date.UTC(2025, 2, 3)));
  const e1 = events(first.text);
  const sessions1 = e1.filter((e) => e.SUMMARY.startsWith('批改'));
  assert.deepEqual(sessions1.map((e) => e.DTSTART), ['20250303T110000Z', '20250304T110000Z']);
  assert.ok(e1.every((e) => e.SEQUENCE === e1[0].SEQUENCE));
  assert.ok(first.text.includes('TRIGGER:-PT15M'));
  // Return dates are all-day events.
  const due = e1.filter((e) => e.SUMMARY.startsWith('归还'));
  assert.deepEqual(due.map((e) => [e['DTSTART;VALUE=DATE'], e['DTEND;VALUE=DATE']]), [['20250305', '20250306'], ['20250306', '20250307']]);
  assert.ok(due.every((e) => !('DTSTART' in e)));

  // 作文 is graded in full; the teacher exports again.
  data.calendar = first.calendar;
  recordProgress(data, 'a1', 6, '2025-03-03');
  const second = planCalendar(makePlan(data, '2025-03-03'), data, new Date(Date.UTC(2025, 2, 3, 12)));
  const e2 = events(second.text);
  assert.ok(e2.every((e) => e.SEQUENCE === e2[0].SEQUENCE) && Number(e2[0].SEQUENCE) > Number(e1[0].SEQUENCE));
  const cancelled = e2.filter((e) => e.STATUS === 'CANCELLED');
  assert.deepEqual(cancelled.map((e) => e.UID), [sessions1[0].UID]);
  assert.equal(cancelled[0].DTSTART, '20250303T110000Z');
  // Monday's time went to 作文, so 听写 stays on Tuesday: the same event, replaced.
  const kept = e2.find((e) => e.SUMMARY === '批改「听写」（三年二班）6 份');
  assert.deepEqual([kept.UID, kept.DTSTART], [sessions1[1].UID, '20250304T110000Z']);
  // Once its day is past, an export no longer mentions what was cancelled.
  data.calendar = second.calendar;
  const third = planCalendar(makePlan(data, '2025-03-04'), data);
  assert.ok(!third.text.includes(sessions1[0].UID));
  assert.ok(!third.text.includes('STATUS:CANCELLED'));
});

test('ics: what a past day held stays in the calendar; the next export forgets it', () => {
  const data = dataWith({
    weekly: every(60),
    assignments: [
      { title: '作文', due: '2025-03-07', submissions: 12, minutesEach: 10 },
      { title: '听写', collected: '2025-03-01', due: '2025-03-03', submissions: 0, minutesEach: 2 },
    ],
  });
  const first = planCalendar(makePlan(data, '2025-03-03'), data, new Date(Date.UTC(2025, 2, 3)));
  data.calendar = first.calendar;
  // Monday's six are graded on Monday; Tuesday the teacher exports again.
  recordProgress(data, 'a1', 6, '2025-03-03');
  const second = planCalendar(makePlan(data, '2025-03-04'), data, new Date(Date.UTC(2025, 2, 4)));
  const text = unfold(second.text);
  assert.ok(!text.includes('STATUS:CANCELLED'), 'a past session or return date was cancelled');
  assert.ok(!text.includes('20250303-a1@dovrelist') && !text.includes('due-a2@dovrelist'));
  assert.deepEqual(Object.keys(second.calendar.sent).sort(), ['20250304-a1@dovrelist', 'due-a1@dovrelist']);
});

test('ics: a backup\'s memory of the last export cannot write lines of its own', () => {
  const data = dataWith({ weekly: every(60), assignments: [{ due: '2025-03-07', submissions: 1, minutesEach: 10 }] });
  const good = { start: '20250310T110000Z', end: '20250310T113000Z', summary: 's', allDay: false };
  data.calendar = {
    sequence: 1,
    sent: {
      'x@dovrelist\r\nATTACH:http://evil': good,
      'y@dovrelist': { ...good, start: '20250310T110000Z\r\nATTACH:http://evil' },
      'z@dovrelist': { ...good, end: '20250311\nX' },
      'ok@dovrelist': good,
    },
  };
  const back = parseBackup(backupText(data)).data;
  assert.deepEqual(Object.keys(back.calendar.sent), ['ok@dovrelist']);
  const text = planCalendar(makePlan(back, '2025-03-03'), back).text;
  assert.ok(!/ATTACH|^X$/m.test(text));
});
