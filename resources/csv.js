// CSV as RFC 4180 describes it: CRLF rows, fields quoted when they hold a
// comma, a quote, a line break or edge spaces, quotes doubled inside.

export function csvField(value) {
  const s = value === null || value === undefined ? '' : String(value);
  return /[",\r\n]|^\s|\s$/.test(s) ? `"${s.replace(/"/g, '""')}"` : s;
}

export function toCSV(rows) {
  return rows.map((row) => row.map(csvField).join(',')).join('\r\n') + '\r\n';
}
