"""Tests of the Python package against an installed tree.

    GLOTTA_PREFIX=PREFIX python3 -m unittest discover -s python/tests

imports the package installed in PREFIX/lib/python3/dist-packages and
compares its answers with those of the installed command-line tool.
"""

import atexit
import os
import pathlib
import pickle
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest

PREFIX = pathlib.Path(os.environ.get("GLOTTA_PREFIX", "")).resolve()
sys.path.insert(0, str(PREFIX / "lib" / "python3" / "dist-packages"))

import glotta  # noqa: E402

SOURCE = pathlib.Path(__file__).resolve().parents[2]
E2E_DATA = SOURCE / "tests" / "e2e" / "profiles" / "data"
E2E_SAMPLES = SOURCE / "tests" / "e2e" / "profiles" / "samples"
E2E_PROFILES = SOURCE / "tests" / "e2e" / "profiles"


def _filter_data():
    """The filter cases' language data, put together as their `profiles` files do."""
    data = pathlib.Path(tempfile.mkdtemp(prefix="glotta-filter-data-"))
    atexit.register(shutil.rmtree, data, True)
    case = SOURCE / "tests" / "e2e" / "cases" / "filter_formats_six_languages" / "profiles"
    for line in case.read_text().splitlines():
        if line.strip():
            source, destination = line.split()
            (data / pathlib.Path(destination).name).write_bytes((E2E_PROFILES / source).read_bytes())
    return data


FILTER_DATA = _filter_data()
FILTER_DOCS = SOURCE / "tests" / "data" / "dxfilter" / "docs"

ENGLISH = ("The committee met on Tuesday to discuss the new budget for the public "
           "libraries of the county, and several members asked about opening hours.")
FRENCH = ("Le conseil municipal s'est réuni mardi pour discuter du nouveau budget des "
          "bibliothèques publiques et des heures d'ouverture pendant l'été.")


def without_library_path():
    env = dict(os.environ)
    env.pop("LD_LIBRARY_PATH", None)
    env.pop("TOLMAR_LANG", None)
    return env


def cli_records(data, documents, n=3):
    """The tool's records for `documents`: {path: [(name, charset, score)]}."""
    with tempfile.TemporaryDirectory() as work:
        listing = pathlib.Path(work, "docs.lst")
        listing.write_text("".join(f"{d}\n" for d in documents))
        run = subprocess.run([str(PREFIX / "bin" / "glotta"), "-n", str(n), "-data_path", str(data),
                              f"@{listing}"], capture_output=True, env=without_library_path(),
                             check=False)
    records, current = {}, None
    for line in run.stdout.decode().splitlines():
        if line.startswith("DOC_NAME:"):
            current = records.setdefault(line[len("DOC_NAME:"):], [])
        elif line.startswith("LANGUAGE: "):
            current.append([line[len("LANGUAGE: "):]])
        elif line.startswith("CHARSET: "):
            current[-1].append(line[len("CHARSET: "):])
        elif line.startswith("SCORE: "):
            current[-1].append(line[len("SCORE: "):])
    return {path: [tuple(c) for c in cands] for path, cands in records.items()}


def as_record(candidates):
    return [(c.name, c.charset, f"{c.score:.2f}") for c in candidates]


class InstalledData(unittest.TestCase):
    """The installation's own data, found without any set-up."""

    def test_detects_paths_bytes_and_utf16(self):
        old = os.environ.pop("LD_LIBRARY_PATH", None)
        try:
            with glotta.Detector() as d:
                self.assertTrue(d.data_path.endswith("common/glotta"), d.data_path)
                with tempfile.TemporaryDirectory() as work:
                    path = pathlib.Path(work, "en.txt")
                    path.write_text(ENGLISH)
                    for document in (str(path), path, os.fsencode(str(path)).decode()):
                        self.assertEqual(d.detect(document)[0].language, "en")
                self.assertEqual(d.detect(FRENCH.encode("utf-8"))[0].language, "fr")
                self.assertEqual(d.detect(bytearray(ENGLISH.encode()))[0].language, "en")
                self.assertEqual(d.detect(memoryview(ENGLISH.encode()))[0].language, "en")
                for utf16 in (b"\xff\xfe" + FRENCH.encode("utf-16-le"),
                              b"\xfe\xff" + FRENCH.encode("utf-16-be")):
                    self.assertEqual(d.detect(utf16)[0].language, "fr")
        finally:
            if old is not None:
                os.environ["LD_LIBRARY_PATH"] = old


class Detection(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.detector = glotta.Detector(data_path=E2E_DATA)

    @classmethod
    def tearDownClass(cls):
        cls.detector.close()

    def test_candidates_and_their_fields(self):
        found = self.detector.detect(E2E_SAMPLES / "fr.txt", n=None)
        self.assertGreater(len(found), 1)
        best = found[0]
        self.assertIsInstance(best, glotta.Candidate)
        self.assertEqual((best.language, best.name), ("fr", "French"))
        self.assertEqual(sorted(found, key=lambda c: -c.score), found)
        self.assertEqual(len(self.detector.detect(E2E_SAMPLES / "fr.txt", n=1)), 1)
        self.assertEqual(self.detector.detect(E2E_SAMPLES / "fr.txt", n=0), [])

    def test_hints_size_and_mime(self):
        self.assertEqual(self.detector.detect(b"anything", language="de", charset="latin1"),
                         [glotta.Candidate("de", "latin1", 1.0, "German")])
        page = b'<html lang="fr"><body><p>' + ENGLISH.encode() + b"</p></body></html>"
        self.assertEqual(self.detector.detect(page, mime="text/html")[0].language, "fr")
        self.assertEqual(self.detector.detect(ENGLISH.encode(), size=64)[0].language, "en")
        self.assertEqual(self.detector.detect(b"")[0].language, "un")

    def test_errors_carry_code_and_message(self):
        cases = [
            (lambda: self.detector.detect("/no/such/file"), -19996, "File does not exist"),
            (lambda: self.detector.detect(str(E2E_DATA)), -19993,
             "The file is not an ordinary file"),
            (lambda: glotta.Detector(data_path="/no/such/dir"), -19989,
             "Language data are not available"),
            (lambda: glotta.Detector(data_path=E2E_DATA, config="/no/such.cfg"), -19992,
             "The language configuration file is not available"),
        ]
        for call, code, message in cases:
            with self.assertRaises(glotta.Error) as caught:
                call()
            self.assertEqual((caught.exception.code, caught.exception.message), (code, message))
            # A worker process hands its failure back pickled (Dask).
            copy = pickle.loads(pickle.dumps(caught.exception))
            self.assertEqual((type(copy), copy.code, copy.message, str(copy)),
                             (glotta.Error, code, message, str(caught.exception)))
        self.assertEqual(glotta.error_message(0), "SUCCESS")
        self.assertEqual(glotta.error_message(12345), "Unhandled internal error code")
        for bad, error in [(None, TypeError), (42, TypeError), ("a\0b", ValueError)]:
            with self.assertRaises(error):
                self.detector.detect(bad)
        for kwargs in ({"size": -1}, {"n": -2}, {"language": 5}):
            with self.assertRaises((ValueError, TypeError)):
                self.detector.detect(b"text", **kwargs)

    def test_threads_agree_with_one_thread(self):
        documents = sorted(E2E_SAMPLES.glob("*.txt")) + [ENGLISH.encode(), FRENCH.encode()]
        serial = [self.detector.detect(doc) for doc in documents]
        mismatches = []

        def work(offset):
            for i in range(60):
                which = (offset + i) % len(documents)
                if self.detector.detect(documents[which]) != serial[which]:
                    mismatches.append(which)

        threads = [threading.Thread(target=work, args=(t,)) for t in range(6)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(mismatches, [])


class Lifecycle(unittest.TestCase):
    def test_use_after_close_raises(self):
        with glotta.Detector(data_path=E2E_DATA) as d:
            self.assertFalse(d.closed)
            d.detect(ENGLISH.encode())
        self.assertTrue(d.closed)
        with self.assertRaises(glotta.Error) as caught:
            d.detect(ENGLISH.encode())
        self.assertEqual(caught.exception.code, -19998)
        d.close()  # again: nothing

    def test_close_waits_for_running_detections(self):
        d = glotta.Detector(data_path=FILTER_DATA)
        errors = []

        def work():
            try:
                for _ in range(20):
                    d.detect(FILTER_DOCS / "de.pdf")
            except glotta.Error as e:
                errors.append(e.code)

        threads = [threading.Thread(target=work) for _ in range(3)]
        for t in threads:
            t.start()
        d.close()
        for t in threads:
            t.join()
        self.assertTrue(all(code == -19998 for code in errors), errors)


def filter_workers():
    """Process ids of this process's document filter workers."""
    found = set()
    for entry in pathlib.Path("/proc").iterdir():
        try:
            stat = (entry / "stat").read_text()
        except (OSError, ValueError):
            continue
        name, rest = stat[stat.index("(") + 1:stat.rindex(")")], stat[stat.rindex(")") + 2:].split()
        if name.startswith("dxfilter_worke") and rest[0] != "Z" and int(rest[1]) == os.getpid():
            found.add(int(entry.name))
    return found


class FilterWorker(unittest.TestCase):
    def test_outlives_the_thread_that_started_it(self):
        with glotta.Detector(data_path=FILTER_DATA) as d:
            pdf = FILTER_DOCS / "de.pdf"
            thread = threading.Thread(target=d.detect, args=(pdf,))
            thread.start()
            thread.join()
            workers = filter_workers()
            self.assertEqual(len(workers), 1)
            time.sleep(0.3)
            self.assertEqual(filter_workers(), workers)
            self.assertEqual(d.detect(pdf)[0].language, "de")


class AgreementWithTheTool(unittest.TestCase):
    """The package and the installed tool give the same records."""

    def check(self, data, documents):
        expected = cli_records(data, documents)
        self.assertEqual(len(expected), len(documents))
        with glotta.Detector(data_path=data) as d:
            for doc in documents:
                self.assertEqual(as_record(d.detect(doc, n=3)), expected[str(doc)], doc)

    def test_plain_text_samples(self):
        self.check(E2E_DATA, sorted(E2E_SAMPLES.glob("*.txt")))

    def test_filtered_documents(self):
        self.check(FILTER_DATA, sorted(FILTER_DOCS.glob("[def]*.*")))


if __name__ == "__main__":
    unittest.main()
