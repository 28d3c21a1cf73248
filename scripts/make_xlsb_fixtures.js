#!/usr/bin/env node
// Makes the Excel binary workbook samples of tests/data/dxfilter/xlsb/ and
// prints their rows of formats.tsv (make_filter_fixtures.sh appends them to
// the table). SheetJS (the npm package `xlsx`, at the version
// scripts/deps.sh pins; `scripts/deps.sh fixtures` installs it in
// scripts/work/node) writes the workbooks; the sheet of mixed cells and the
// damaged parts are written here record by record and put back into a
// SheetJS package with its zip writer.
//
//   de.xlsb            German cells in the shared string table, two sheets,
//                      numbers between the strings
//   fr.xlsb            French cells as strings of their own (no shared
//                      string table), three sheets
//   es-mixed.xlsb      Spanish: a first sheet of shared strings, then a
//                      sheet written here: a shared string cell, a cell's own
//                      string, a formula's string result, a string with
//                      runs, the short records of a shared string and an
//                      own string (their column follows the cell before),
//                      and a number, a boolean and an error between them
//   bad/cut-part.xlsb  es-mixed.xlsb whose second sheet is cut inside its
//                      formula's string: the cells before it
//   bad/counts.xlsb    a cell whose string counts more units than its record
//                      holds, between two sound cells
//   bad/huge.xlsb      a record that declares 256 MiB, far beyond its part,
//                      after a sound cell
//   bad/header.xlsb    a record type of three bytes after a sound cell: the
//                      records after it cannot be found
//   bad/bomb.xlsb      a sound cell, then 8 MiB of zero bytes (empty
//                      records, each two bytes), then another cell
//   bad/cut.xlsb       de.xlsb cut at two thirds: not a readable archive
//
// Each sound sample has its strings, as SheetJS reads them back (sheet by
// sheet, cell by cell, one a line), in NAME.txt beside it: the tests compare
// the filter's text with them. (SheetJS reads a string cut by the end of its
// part as far as it goes; the filter drops it.) The zip entries carry
// no time and the sentences are the project's own, so two runs write the
// same bytes.
'use strict';
const fs = require('fs');
const path = require('path');

const root = path.resolve(__dirname, '..');
const XLSX = require(path.join(root, 'scripts/work/node/node_modules/xlsx'));
const CFB = XLSX.CFB;
const OUT = path.join(root, 'tests/data/dxfilter/xlsb');
fs.mkdirSync(path.join(OUT, 'bad'), {recursive: true});

const rows = [];
const row = (file, code, word) => rows.push(`xlsb/${file}\t${code}\t${word}`);

function workbook(sheets) {
    const wb = XLSX.utils.book_new();
    for (const [name, cells] of sheets) XLSX.utils.book_append_sheet(wb, XLSX.utils.aoa_to_sheet(cells), name);
    return wb;
}

function write(wb, sst) {
    return XLSX.write(wb, {type: 'buffer', bookType: 'xlsb', bookSST: sst, compression: true});
}

// The strings of a workbook as SheetJS reads them, one a line.
function strings(bytes) {
    const wb = XLSX.read(bytes, {type: 'buffer'});
    const lines = [];
    for (const name of wb.SheetNames) {
        const ws = wb.Sheets[name];
        if (!ws['!ref']) continue;
        const range = XLSX.utils.decode_range(ws['!ref']);
        for (let r = range.s.r; r <= range.e.r; ++r)
            for (let c = range.s.c; c <= range.e.c; ++c) {
                const cell = ws[XLSX.utils.encode_cell({r, c})];
                if (cell && cell.t === 's' && cell.v !== '') lines.push(cell.v);
            }
    }
    return lines.join('\n') + '\n';
}

function save(file, bytes, readBack = true) {
    fs.writeFileSync(path.join(OUT, file), bytes);
    if (readBack) fs.writeFileSync(path.join(OUT, file + '.txt'), strings(bytes));
}

// A package with the part `name` replaced by `bytes`.
function replacePart(pkg, name, bytes) {
    const zip = CFB.read(pkg, {type: 'buffer'});
    const entry = CFB.find(zip, '/' + name);
    if (!entry) throw new Error(`no ${name}`);
    entry.content = bytes;
    entry.size = bytes.length;
    return Buffer.from(CFB.write(zip, {fileType: 'zip', compression: true, type: 'buffer'}));
}

// ---- records ----------------------------------------------------------------------

function varint(value, most) {
    const out = [];
    for (let i = 0; i < most; ++i) {
        const byte = value & 0x7f;
        value >>>= 7;
        out.push(value ? byte | 0x80 : byte);
        if (!value) break;
    }
    return Buffer.from(out);
}
const record = (type, body = Buffer.alloc(0)) => Buffer.concat([varint(type, 2), varint(body.length, 4), body]);
const u32 = (v) => { const b = Buffer.alloc(4); b.writeUInt32LE(v >>> 0); return b; };
const u16 = (v) => { const b = Buffer.alloc(2); b.writeUInt16LE(v); return b; };
const u8 = (v) => Buffer.from([v]);
const wide = (s) => Buffer.concat([u32(s.length), Buffer.from(s, 'utf16le')]);
const cell = (col) => Buffer.concat([u32(col), u32(0)]);  // column, style 0, no flags
const shortCell = () => u32(0);

const BEGIN_SHEET = 129, END_SHEET = 130, DIMENSION = 148, BEGIN_DATA = 145, END_DATA = 146;
const ROW = 0, BOOL = 4, ERROR = 3, REAL = 5;
const CELL_ST = 6, CELL_ISST = 7, FMLA_STRING = 8, SHORT_ST = 17, SHORT_ISST = 18, RICH_ST = 62;

function rowHeader(r, lastCol) {
    // row, style, height (15 points), flags, one span of columns
    return record(ROW, Buffer.concat([u32(r), u32(0), u16(300), Buffer.alloc(3), u32(1), u32(0), u32(lastCol)]));
}

function sheet(rowsOfRecords, lastRow, lastCol) {
    const parts = [record(BEGIN_SHEET), record(DIMENSION, Buffer.concat([u32(0), u32(lastRow), u32(0), u32(lastCol)])),
        record(BEGIN_DATA)];
    rowsOfRecords.forEach((cells, r) => parts.push(rowHeader(r, lastCol), ...cells));
    parts.push(record(END_DATA), record(END_SHEET));
    return Buffer.concat(parts);
}

// A formula's string result; its formula refers to A1 of its sheet.
function formulaString(col, text) {
    const rgce = Buffer.concat([u8(0x24), u32(0), u16(0xc000)]);
    return record(FMLA_STRING, Buffer.concat([cell(col), wide(text), u16(0), u32(rgce.length), rgce, u32(0)]));
}

// ---- samples ----------------------------------------------------------------------

const de = workbook([
    ['Markt', [
        ['Auf dem Wochenmarkt verkaufen die Bäuerinnen frisches Gemüse.', 12],
        ['Die Kinder spielen hinter der Kirche, während die Eltern einkaufen.', 3.5],
        [7, 'Abends kehren alle müde, aber zufrieden nach Hause zurück.'],
    ]],
    ['Wetter', [
        ['Morgen soll es regnen, übermorgen scheint wieder die Sonne.'],
        ['Der Wind weht kräftig über die Felder nördlich des Dorfes.'],
    ]],
]);
const deBytes = write(de, true);
save('de.xlsb', deBytes);
row('de.xlsb', 302, 'Wochenmarkt');

const fr = workbook([
    ['Marché', [['Au marché du samedi, les fermières vendent des légumes frais.', 4]]],
    ['Recettes', [['Pour la soupe, il faut des poireaux, des pommes de terre et du beurre.']]],
    ['Voyage', [[1, 'Nous partirons en train vers la côte dès que les vacances commenceront.']]],
]);
save('fr.xlsb', write(fr, false));
row('fr.xlsb', 302, 'fermières');

const es = workbook([
    ['Mercado', [
        ['Los domingos las campesinas venden verduras en la plaza del pueblo.'],
        ['Los niños compran caramelos con las monedas de sus abuelos.'],
    ]],
    ['Celdas', [['-']]],
]);
const esBase = write(es, true);  // shared strings 0 and 1 as the first sheet writes them
const mixedRows = [
    [record(CELL_ISST, Buffer.concat([cell(0), u32(1)])), record(REAL, Buffer.concat([cell(1), Buffer.alloc(8)]))],
    [record(CELL_ST, Buffer.concat([cell(0), wide('Por la tarde el panadero cierra su tienda y vuelve a casa.')])),
        record(BOOL, Buffer.concat([cell(1), u8(1)]))],
    [formulaString(0, 'La fórmula devuelve una frase sobre el tiempo de mañana.'),
        record(ERROR, Buffer.concat([cell(1), u8(7)]))],
    [record(RICH_ST, Buffer.concat([cell(0), u8(0), wide('En verano la familia viaja a la costa para descansar.')]))],
    [record(CELL_ST, Buffer.concat([cell(0), wide('Primera columna de la fila.')])),
        record(SHORT_ISST, Buffer.concat([shortCell(), u32(0)])),
        record(SHORT_ST, Buffer.concat([shortCell(), wide('Las cortas siguen a la celda anterior.')]))],
];
const mixedSheet = sheet(mixedRows, mixedRows.length - 1, 2);
save('es-mixed.xlsb', replacePart(esBase, 'xl/worksheets/sheet2.bin', mixedSheet));
row('es-mixed.xlsb', 302, 'panadero');

// Damaged sheets: sound cells around or before the damage.
const sound = (text) => record(CELL_ST, Buffer.concat([cell(0), wide(text)]));
const before = sound('Antes del daño la hoja se lee entera.');
const after = sound('Después del daño la lectura sigue.');
const cutAt = mixedSheet.indexOf(Buffer.from('La fórmula', 'utf16le')) + 10;
save('bad/cut-part.xlsb', replacePart(esBase, 'xl/worksheets/sheet2.bin', mixedSheet.subarray(0, cutAt)), false);
row('bad/cut-part.xlsb', 302, 'panadero');

const overlong = Buffer.concat([varint(CELL_ST, 2), varint(14, 4), cell(0), u32(1000), u16(0x41)]);
save('bad/counts.xlsb', replacePart(esBase, 'xl/worksheets/sheet2.bin',
    Buffer.concat([record(BEGIN_SHEET), record(BEGIN_DATA), rowHeader(0, 0), before, overlong, after])), false);
row('bad/counts.xlsb', 302, 'lectura');

save('bad/huge.xlsb', replacePart(esBase, 'xl/worksheets/sheet2.bin',
    Buffer.concat([record(BEGIN_SHEET), record(BEGIN_DATA), rowHeader(0, 0), before,
        varint(CELL_ST, 2), varint(0x0fffffff, 4), cell(0), wide('nunca')])), false);
row('bad/huge.xlsb', 302, 'entera');

save('bad/header.xlsb', replacePart(esBase, 'xl/worksheets/sheet2.bin',
    Buffer.concat([record(BEGIN_SHEET), record(BEGIN_DATA), rowHeader(0, 0), before,
        Buffer.from([0x86, 0x80, 0x01, 0x00]), after])), false);
row('bad/header.xlsb', 302, 'entera');

save('bad/bomb.xlsb', replacePart(esBase, 'xl/worksheets/sheet2.bin',
    Buffer.concat([record(BEGIN_SHEET), record(BEGIN_DATA), before, Buffer.alloc(8 << 20), after])), false);
row('bad/bomb.xlsb', 302, 'lectura');

fs.writeFileSync(path.join(OUT, 'bad/cut.xlsb'), deBytes.subarray(0, Math.floor(deBytes.length * 2 / 3)));
row('bad/cut.xlsb', 341, '-');

process.stdout.write(rows.join('\n') + '\n');
