// CSV as RFC 4180 describes it: CRLF rows, fields quoted when they hold a
// comma, a quote, a line break or edge spaces, quotes doubled inside.

// Text that a spreadsheet would take for a formula gets a leading apostrophe;
// numbers are written as numbers.
export function csvField(value) {
  let s = value === null || value === undefined ? '' : String(value);
  if (typeof value === 'string' && /^[=+\-@\t\r]/.test(s)) s = `'${s}`;
  return /[",\r\n]|^\s|\s$/.test(s) ? `"${s.replace(/"/g, '""')}"` : s;
}

export function toCSV(rows) {
  return rows.map((row) => row.map(csvField).join(',')).join('\r\n') + '\r\n';
}
