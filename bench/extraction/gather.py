#!/usr/bin/python3
"""Copies the sampled documents of the unpacked packages under BASE (src/, deb/x/, npm/)
into BASE/corpus/<format>/ and writes BASE/SOURCES.tsv: gather.py BASE"""
import gzip, os, random, re, shutil, glob
import sys
B = sys.argv[1] if len(sys.argv) > 1 else '.'
S = B + '/src'
D = B + '/deb/x'
out = B + '/corpus'
shutil.rmtree(out, ignore_errors=True)
rows = []
SKIP = re.compile(r'(crash|corrupt|fuzz|password|protect|encrypt|truncat|invalid|broken|bad|empty|leak|oom|timeout|zip-?bomb|xxe|hang|malform)', re.I)

def add(fmt, path, pkg, limit_name=None, origin=None):
    name = os.path.basename(path)
    if name.endswith('.gz'):
        name = name[:-3]
    tag = pkg.split()[0].split('_')[0]
    dst_dir = os.path.join(out, fmt)
    os.makedirs(dst_dir, exist_ok=True)
    dst = os.path.join(dst_dir, f'{tag}--{name}')
    k = 1
    while os.path.exists(dst):
        dst = os.path.join(dst_dir, f'{tag}{k}--{name}'); k += 1
    if path.endswith('.gz'):
        with gzip.open(path) as f, open(dst, 'wb') as g:
            g.write(f.read())
    else:
        shutil.copyfile(path, dst)
    rows.append((os.path.relpath(dst, out), pkg, origin or os.path.relpath(path, B)))

def pick(paths, n, seed=1):
    paths = sorted(p for p in paths if not SKIP.search(os.path.basename(p)) and os.path.getsize(p) > 0)
    if len(paths) <= n:
        return paths
    return sorted(random.Random(seed).sample(paths, n))

def files(root, *exts):
    r = []
    for dp, _, fs in os.walk(root):
        for f in fs:
            if f.lower().endswith(exts):
                r.append(os.path.join(dp, f))
    return r

PANDOC = 'pandoc 2.17.1.1 (Debian source)'
POI = 'libapache-poi-java 4.0.1 (Debian source)'
for p in pick(files(S + '/pandoc-2.17.1.1/test/docx', '.docx'), 60): add('docx', p, PANDOC)
for p in pick(glob.glob(B + '/npm/mammoth/package/test/test-data/*.docx'), 17): add('docx', p, 'mammoth 1.13.0 (npm)')
for p in pick(files(S + '/apache-poi-4.0.1/test-data/document', '.docx'), 25): add('docx', p, POI)
for p in pick(files(S + '/pandoc-2.17.1.1/test', '.odt'), 30): add('odt', p, PANDOC)
for p in pick(files(S + '/odfpy-release-1.4.2', '.odt'), 21): add('odt', p, 'python-odf 1.4.2 (Debian source)')
for p in pick(files(S + '/odfpy-release-1.4.2', '.ods', '.odp'), 9): add('ods-odp', p, 'python-odf 1.4.2 (Debian source)')
for p in pick(files(S + '/pandoc-2.17.1.1/test', '.rtf'), 15): add('rtf', p, PANDOC)
for p in pick(files(S + '/unrtf-0.21.10', '.rtf'), 29): add('rtf', p, 'unrtf 0.21.10 (Debian source)')
for p in pick(files(S + '/pandoc-2.17.1.1/test', '.epub'), 9): add('epub', p, PANDOC)
for p in pick(files(S + '/pandoc-2.17.1.1/test/pptx', '.pptx'), 30): add('pptx', p, PANDOC)
for p in pick(files(S + '/apache-poi-4.0.1/test-data/slideshow', '.pptx'), 20): add('pptx', p, POI)
for p in pick(files(S + '/apache-poi-4.0.1/test-data/document', '.doc'), 45): add('doc', p, POI)
for p in pick(files(S + '/libextractor-1.11', '.doc'), 5): add('doc', p, 'libextractor 1.11 (Debian source)')
for p in pick(files(S + '/tracker-miners-3.4.3', '.doc'), 5): add('doc', p, 'tracker-miners 3.4.3 (Debian source)')
for p in pick(files(S + '/apache-poi-4.0.1/test-data/spreadsheet', '.xls'), 40): add('xls', p, POI)
for p in pick(files(S + '/gnumeric-1.12.55', '.xls'), 15): add('xls', p, 'gnumeric 1.12.55 (Debian source)')
# Excel 2.x to 4.0 files, no compound files: every one whose first record is
# the BOF of BIFF2, BIFF3 or BIFF4.
def biff2_to_4(path):
    with open(path, 'rb') as f:
        head = f.read(2)
    return len(head) == 2 and head[0] == 0x09 and head[1] in (0, 2, 4)
for p in sorted(filter(biff2_to_4, files(S + '/apache-poi-4.0.1/test-data/spreadsheet', '.xls'))):
    add('xls2-4', p, POI)
for p in pick(files(S + '/apache-poi-4.0.1/test-data/spreadsheet', '.xlsx'), 30): add('xlsx', p, POI)
for p in pick(files(S + '/gnumeric-1.12.55', '.xlsx'), 4): add('xlsx', p, 'gnumeric 1.12.55 (Debian source)')
for p in pick(files(S + '/apache-poi-4.0.1/test-data/slideshow', '.ppt'), 40): add('ppt', p, POI)
for p in pick(files(S + '/tracker-miners-3.4.3', '.ppt'), 5): add('ppt', p, 'tracker-miners 3.4.3 (Debian source)')
for p in pick(files(S + '/pdfminer.six-20221105/samples', '.pdf'), 40): add('pdf', p, 'pdfminer 20221105 (Debian source)')
for p in pick(files(S + '/tracker-miners-3.4.3', '.pdf'), 5): add('pdf', p, 'tracker-miners 3.4.3 (Debian source)')
for pkg, ver in [('asymptote-doc', '2.85+ds-1'), ('ghostscript-doc', '10.0.0~dfsg-11+deb12u9'), ('glpk-doc', '5.0-1'),
                 ('gnuplot-doc', '5.4.4+dfsg1-2'), ('grace', '1:5.1.25-13'), ('maxima-doc', '5.46.0-11'),
                 ('octave-doc', '7.3.0-2'), ('python-reportlab-doc', '3.6.12-1+deb12u1'), ('zsh-doc', '5.9-4')]:
    for p in sorted(files(D + '/' + pkg, '.pdf', '.pdf.gz')): add('pdf', p, f'{pkg} {ver} (Debian binary)')
    for p in sorted(files(D + '/' + pkg, '.ps', '.ps.gz')): add('ps', p, f'{pkg} {ver} (Debian binary)')
for p in pick(files(S + '/libextractor-1.11', '.ps'), 5): add('ps', p, 'libextractor 1.11 (Debian source)')
for p in pick(files(S + '/tracker-miners-3.4.3', '.ps'), 5): add('ps', p, 'tracker-miners 3.4.3 (Debian source)')
for p in pick(files(S + '/djvulibre-3.5.28', '.djvu'), 8): add('djvu', p, 'djvulibre 3.5.28 (Debian source)')
# Message catalogs: the .mo files installed on the machine (named with their
# language and domain, the package that holds each from dpkg), the .po files
# of two source packages, Qt's own translations.
mo = pick(glob.glob('/usr/share/locale/*/LC_MESSAGES/*.mo'), 150)
owner = {}
if mo:
    import subprocess
    q = subprocess.run(['dpkg', '-S'] + mo, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
    for line in q.splitlines():
        pkgs, _, path = line.partition(': ')
        owner[path] = pkgs.split(',')[0].split(':')[0]
for p in mo:
    lang = p.split('/')[4]
    tmp = os.path.join(B, 'mo', lang + '-' + os.path.basename(p))
    os.makedirs(os.path.dirname(tmp), exist_ok=True)
    shutil.copyfile(p, tmp)
    add('mo', tmp, owner.get(p, '?') + ' (Debian binary, installed)', origin=p)
for p in pick(files(S + '/hello-2.10/po', '.po'), 20): add('po', p, 'hello 2.10 (Debian source)')
for p in pick(files(S + '/mutt-2.2.12/po', '.po'), 20): add('po', p, 'mutt 2.2.12 (Debian source)')
for p in pick(files(D + '/qttranslations5-l10n', '.qm'), 40): add('qm', p, 'qttranslations5-l10n 5.15.8-2 (Debian binary)')
# Mail: the messages of Python's email tests and notmuch's test corpora,
# as .eml.
def eml(paths, n, pkg):
    for p in pick(paths, n):
        tmp = os.path.join(B, 'eml', pkg.split()[0], os.path.relpath(p, S).replace('/', '_') + '.eml')
        os.makedirs(os.path.dirname(tmp), exist_ok=True)
        shutil.copyfile(p, tmp)
        add('eml', tmp, pkg, origin=os.path.relpath(p, B))
eml(glob.glob(S + '/Python-3.11.2/Lib/test/test_email/data/msg_*.txt'), 47, 'python3.11 3.11.2 (Debian source)')
eml([p for p in files(S + '/notmuch-0.37/test/corpora', '') if '/broken/' not in p], 60, 'notmuch 0.37 (Debian source)')
# E-books: the FictionBook help books of FBReader.
for p in pick(files(S + '/fbreader-0.12.10.orig', '.fb2'), 40): add('fb2', p, 'fbreader 0.12.10dfsg2 (Debian source)')
# Outlook messages, TNEF, XLSB, Visio, Publisher (POI's test data), Visio
# drawings of libvisio's tests, iWork documents of libetonyek's tests.
# Every message and TNEF stream of POI is taken (none is damaged).
HSMF = S + '/apache-poi-4.0.1/test-data'
for p in sorted(files(HSMF + '/hsmf', '.msg') + files(HSMF + '/poifs', '.msg')): add('msg', p, POI)
for p in sorted(files(HSMF + '/hmef', '.dat')): add('tnef', p, POI)
for p in sorted(files(S + '/Email-Outlook-Message-0.921/t/files', '.msg')):
    add('msg', p, 'libemail-outlook-message-perl 0.921 (Debian source)')
add('tnef', S + '/Convert-TNEF-0.18/t/tnef.doc', 'libconvert-tnef-perl 0.18 (Debian source)')
for p in pick(files(S + '/ytnef-2.0/test-data', '.tnef') + [S + '/ytnef-2.0/test-data/winmail.dat'], 10):
    add('tnef', p, 'libytnef 2.0 (Debian source)')
for p in pick(glob.glob(B + '/npm/node-tnef-1.4.0/package/testFiles/*.dat'), 5): add('tnef', p, 'node-tnef 1.4.0 (npm)')
for p in glob.glob(B + '/npm/msgreader-1.0.1/package/data/*.msg'): add('msg', p, 'msgreader 1.0.1 (npm)')
for p in pick(files(HSMF + '/spreadsheet', '.xlsb'), 20): add('xlsb', p, POI)
for p in pick(files(HSMF + '/diagram', '.vsd', '.vsdx') + files(HSMF + '/hpsf', '.vsd'), 40): add('vsd', p, POI)
for p in pick(files(S + '/libvisio-0.1.7/src/test/data', '.vsd', '.vsdx'), 40): add('vsd', p, 'libvisio 0.1.7 (Debian source)')
for p in pick(files(HSMF + '/publisher', '.pub'), 40): add('pub', p, POI)
# PowerPoint 95 presentations: every .ppt of POI whose `PowerPoint Document`
# stream starts with the 16-byte header of 95's container of the whole
# stream (libgsf-bin's `gsf cat` reads the stream).
def ppt95(path):
    import subprocess
    r = subprocess.run(['gsf', 'cat', path, 'PowerPoint Document'], stdout=subprocess.PIPE,
                       stderr=subprocess.DEVNULL)
    return r.returncode == 0 and r.stdout[:8] == bytes.fromhex('03000000ffff0000')
for p in sorted(p for p in files(HSMF + '/slideshow', '.ppt') if ppt95(p)): add('ppt95', p, POI)
for p in pick(files(HSMF + '/poifs', '.wps'), 5): add('wps', p, POI)
ETONYEK = S + '/libetonyek-0.1.10/src/test/data'
for ext, fmt in (('.key', 'key'), ('.numbers', 'numbers'), ('.pages', 'pages')):
    for p in sorted(glob.glob(ETONYEK + '/*-file' + ext)): add(fmt, p, 'libetonyek 0.1.10 (Debian source)')
# StarOffice 3 to 5 documents: every one of libstaroffice's regression
# tests (StarWriter, StarCalc; StarDraw and StarImpress together, as the
# plug-in tells them).
STOFF = S + '/libstaroffice-0.0.7/regression'
for ext, fmt in (('.sdw', 'sdw'), ('.sdc', 'sdc'), ('.sdd', 'sdd'), ('.sda', 'sdd')):
    for p in sorted(files(STOFF, ext)): add(fmt, p, 'libstaroffice 0.0.7 (Debian source)')
# QuarkXPress documents and Zoner drawings: every one of libqxp's and
# libzmf's own test documents (libqxp's zip archives left out: QuarkXPress 1
# zipped, and bytes of 0xFF).
QXP = S + '/libqxp-0.0.2/src/test/data'
for p in sorted(glob.glob(QXP + '/*')):
    if not p.endswith('.zip'): add('qxp', p, 'libqxp 0.0.2 (Debian source)')
# The four with a text box hold one long word ("123", 252 times "t", "456"),
# which the plug-in breaks into lines as any word longer than a line: each
# is also copied with its story told again in a language, in the file's code
# page (Mac Roman on a Mac, Windows-1252 on a PC), padded with spaces to the
# story's 258 bytes.
STORY = b'123' + b't' * 252 + b'456'
RETOLD = {
    'qxp33mac_text': ('fr', "Chaque été, les pêcheurs du village réparent leurs filets sur le quai pendant que les enfants jouent près de l'église et que leurs mères vendent le poisson au marché."),
    'qxp33win_text.qxd': ('de', "Die Fähre über den Fluß fährt stündlich, und am Abend sitzen die Fischer vor dem Gasthaus und erzählen von früher, als der Winter noch lang war und die Kinder auf dem Eis spielten."),
    'qxp4mac_text': ('es', "Cada mañana el panadero abre la tienda antes del amanecer, y los vecinos esperan en la calle con sus cestas mientras el olor del pan recién hecho llena la plaza del pueblo."),
    'qxp4win_text.qxd': ('en', "Every spring the gardeners of the old town plant tulips along the river, and by April the whole bank is red and yellow, so that people walk there after work to see the flowers."),
}
os.makedirs(out + '/qxp-retold', exist_ok=True)
for name, (lang, story) in RETOLD.items():
    codepage = 'mac_roman' if 'mac' in name else 'cp1252'
    with open(QXP + '/' + name, 'rb') as f:
        data = f.read()
    at = data.index(STORY)
    data = data[:at] + story.encode(codepage).ljust(len(STORY), b' ') + data[at + len(STORY):]
    dst = f'{out}/qxp-retold/libqxp--{lang}-{name}'
    with open(dst, 'wb') as f:
        f.write(data)
    rows.append((os.path.relpath(dst, out), 'libqxp 0.0.2 (Debian source)',
                 f'{os.path.relpath(QXP + "/" + name, B)}, story told again'))
ZMF = S + '/libzmf-0.0.2/src/test/data'
for p in sorted(glob.glob(ZMF + '/*')): add('zmf', p, 'libzmf 0.0.2 (Debian source)')
with open(B + '/SOURCES.tsv', 'w') as f:
    f.write('# corpus file\tpackage\tpath in the unpacked package\n')
    for r in rows: f.write('\t'.join(r) + '\n')
print(len(rows))
