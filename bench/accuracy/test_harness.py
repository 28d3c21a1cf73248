#!/usr/bin/env python3
"""Checks of the accuracy benchmark's own logic: folds, sample cutting, fold data directories
and the minimum-score table. Runs in well under a second (CTest: bench.accuracy_harness)."""
import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import calibrate  # noqa: E402
import folds  # noqa: E402
import make_samples  # noqa: E402
import report  # noqa: E402


def write(path, text, mode="w"):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, mode) as f:
        f.write(text)


def read(path, mode="r"):
    with open(path, mode) as f:
        return f.read()


class FoldsTest(unittest.TestCase):
    def test_a_source_is_left_out_only_where_another_remains(self):
        with tempfile.TemporaryDirectory() as tmp:
            for textdir, source in (("de", "udhr"), ("de", "man"), ("nn", "udhr"),
                                    ("xx", "udhr"), ("xx", "man")):
                write(os.path.join(tmp, textdir, source, "a.txt"), "Text.\n")
            write(os.path.join(tmp, "de", "ddtp", "empty.txt"), "")
            lay = folds.layout(tmp)
            self.assertEqual(sorted(lay["de"]), ["man", "udhr"])  # empty documents ignored
            fl, single = folds.folds(lay)
            # xx names no profile; nn has nothing to train from without the UDHR.
            self.assertEqual(fl, {"man": ["de"], "udhr": ["de"]})
            self.assertEqual(single, {"nn": "udhr"})

    def test_fold_data_replaces_only_the_folds_profiles(self):
        with tempfile.TemporaryDirectory() as tmp:
            shipped, trained = os.path.join(tmp, "data"), os.path.join(tmp, "t")
            for name in ("de-1252.lm", "fr-1252.lm"):
                write(os.path.join(shipped, name), "shipped " + name)
            write(os.path.join(shipped, "langlist.cfg"), "minscore: 0.2\nde-1252.lm\nfr-1252.lm\n")
            write(os.path.join(trained, "de-1252.lm"), "fold")
            write(os.path.join(trained, "nn-1252.lm"), "fold nn")
            old = folds.WORK
            folds.WORK = os.path.join(tmp, "folds")
            try:
                d = folds.fold_data("man", {"de-1252.lm": os.path.join(trained, "de-1252.lm"),
                                            "nn-1252.lm": os.path.join(trained, "nn-1252.lm")},
                                    shipped)
            finally:
                folds.WORK = old
            self.assertEqual(read(os.path.join(d, "de-1252.lm")), "fold")
            self.assertEqual(read(os.path.join(d, "fr-1252.lm")), "shipped fr-1252.lm")
            self.assertEqual(read(os.path.join(d, "langlist.cfg")),
                             "minscore: 0.2\nde-1252.lm\nfr-1252.lm\nnn-1252.lm\n")


class CapTest(unittest.TestCase):
    def test_the_cut_keeps_every_sources_share_and_whole_lines(self):
        with tempfile.TemporaryDirectory() as tmp:
            a, b = os.path.join(tmp, "po.txt"), os.path.join(tmp, "udhr.txt")
            write(a, "".join("%03d %s\n" % (i, "a" * 95) for i in range(10)))
            write(b, "".join("%03d %s\n" % (i, "b" * 95) for i in range(30)))
            out = folds.cap_list([a, b], os.path.join(tmp, "cut"), 2000)
            sizes = [os.path.getsize(p) for p in out]
            self.assertEqual([os.path.basename(p) for p in out], ["po.txt", "udhr.txt"])
            self.assertEqual(sizes, [500, 1500])  # 1000 and 3000 bytes, halved
            self.assertTrue(read(out[1]).endswith("b\n"))
            self.assertEqual(folds.cap_list([a], os.path.join(tmp, "all"), 10**6)[0],
                             os.path.join(tmp, "all", "po.txt"))
            self.assertEqual(os.path.getsize(os.path.join(tmp, "all", "po.txt")), 1000)


class SamplesTest(unittest.TestCase):
    def test_samples_are_deterministic_distinct_and_whole_characters(self):
        with tempfile.TemporaryDirectory() as tmp:
            paths = []
            for i in range(3):
                p = os.path.join(tmp, "d%d.txt" % i)
                line = "Žluťoučký kůň číslo %d úpěl ďábelské ódy. Věta %d!\n"
                write(p, "".join(line % (i, j) for j in range(40)))
                paths.append(p)
            counts = {64: 30, 256: 10, 2048: 5}
            for cs in ("utf8", "1250"):
                a = make_samples.samples_for(paths, "cs|man", cs, counts)
                self.assertEqual(a, make_samples.samples_for(paths, "cs|man", cs, counts))
                pieces = [p for _, _, p in a]
                self.assertEqual(len(pieces), len(set(pieces)))
                text = b"\n".join(
                    b"\n".join(x) for x in make_samples.source_docs(paths, cs))
                for length, _, piece in a:
                    self.assertTrue(length - 3 <= len(piece) <= length)
                    piece.decode(make_samples.CODECS[cs])
                    self.assertIn(piece, text)
                # 64 and 256 bytes from single documents; 2048 only from the joined text.
                self.assertEqual(sum(1 for n, _, _ in a if n == 64), 30)
                self.assertGreaterEqual(sum(1 for n, _, _ in a if n == 2048), 1)

    def test_no_two_samples_of_a_length_overlap(self):
        with tempfile.TemporaryDirectory() as tmp:
            p = os.path.join(tmp, "d.txt")
            write(p, "".join("Sentence number %03d is here. " % j for j in range(30)) + "\n")
            out = make_samples.samples_for([p], "x", "utf8", {256: 50})
            text = read(p, "rb").rstrip(b"\n")
            spans = sorted((text.index(piece), text.index(piece) + len(piece))
                           for _, _, piece in out)
            self.assertTrue(all(b1 <= a2 for (_, b1), (a2, _) in zip(spans, spans[1:])))
            self.assertTrue(1 <= len(out) <= len(text) // 256)


class TradeoffTest(unittest.TestCase):
    def test_answers_at_each_minscore(self):
        samples = [("zh", "gb", 64, "zh", 0.25), ("zh", "gb", 64, "zh", 0.15),
                   ("ja", "sjis", 64, "ko", 0.30), ("de", "utf8", 256, "de", 0.5)]
        junk = [("digits", "un", -1.0, "un", -1.0), ("random-ascii", "en", 0.21, "en", 0.19)]
        lines = calibrate.tradeoff(samples, junk, 0.2, 0.2)
        row = next(ln for ln in lines if ln.startswith("| **0.20**"))
        cells = [c.strip() for c in row.strip("|").split("|")]
        # digits, random-ascii, keyboard-mash (none), named, other (none), CJK answered, right
        self.assertEqual(cells[1:4], ["100.0", "0.0", "nan"])
        self.assertEqual(cells[4], "50.0")
        self.assertEqual(cells[6:8], ["66.7", "33.3"])
        self.assertIn("named junk \"un\" 100.0 %", lines[-1])
        self.assertFalse(calibrate.answered(-1.0, 0.0))
        self.assertTrue(calibrate.answered(0.2, 0.2))


class NamesTest(unittest.TestCase):
    def test_peer_codes_and_charset_families(self):
        self.assertEqual([report.peer(c) for c in ("no", "zh-Hant", "sr-Latn", "xxx", "de")],
                         ["nb", "zt", "sr", "un", "de"])
        self.assertEqual(report.family("windows-1250"), report.family("iso-8859-2"))
        self.assertNotEqual(report.family("koi8-r"), report.family("1252"))


if __name__ == "__main__":
    unittest.main()
