// xlsbtext.js FILE: the cell values of every sheet, row by row, by SheetJS
const XLSX = require('xlsx');
const wb = XLSX.readFile(process.argv[2], {cellText: false, cellHTML: false});
const out = [];
for (const name of wb.SheetNames) {
  const ws = wb.Sheets[name];
  if (!ws['!ref']) continue;
  const r = XLSX.utils.decode_range(ws['!ref']);
  for (let y = r.s.r; y <= r.e.r; ++y) {
    const row = [];
    for (let x = r.s.c; x <= r.e.c; ++x) {
      const c = ws[XLSX.utils.encode_cell({r: y, c: x})];
      if (c && c.v !== undefined && c.v !== null) row.push(String(c.v));
    }
    if (row.length) out.push(row.join('\t'));
  }
}
process.stdout.write(out.join('\n'));
