// msgtext.js FILE: the subject and body of an Outlook .msg read by
// @kenjiuno/msgreader (npm), for compare.py; the body is marked when it is
// HTML or compressed RTF (base64).
const fs = require('fs');
const MsgReader = require('@kenjiuno/msgreader').default;
const buf = fs.readFileSync(process.argv[2]);
// 8-bit strings in the message's code page (the internet code page first),
// which msgreader otherwise takes as Latin-1.
let d = new MsgReader(buf).getFileData();
const cp = d.internetCodepage || d.messageCodepage;
if (cp && cp !== 1252 && cp !== 65001 && !d.error) {
  try {
    const r = new MsgReader(buf);
    r.parserConfig = {ansiEncoding: 'cp' + cp};
    const again = r.getFileData();
    if (!again.error) d = again;
  } catch (e) {  // a code page iconv-lite does not know
  }
}
if (d.error) { console.error(d.error); process.exit(1); }
const out = [d.subject || ''];
if (d.body && d.body.trim()) out.push(d.body);
else if (d.bodyHtml) out.push('\u0001HTML\u0001' + d.bodyHtml);
else if (d.html) out.push('\u0001HTML\u0001' + Buffer.from(d.html).toString('utf8'));
else if (d.compressedRtf) out.push('\u0001RTF\u0001' + Buffer.from(d.compressedRtf).toString('base64'));
process.stdout.write(out.join('\n'));
