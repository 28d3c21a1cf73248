"""The documentation's examples, run against an installed tree.

    GLOTTA_PREFIX=PREFIX python3 -m unittest tests/docs_agree_test.py

Each test takes a command, record or table as README.md, doc/*.md or the
manual pages state it, runs it against the installation and compares, so a
change of the tool or of the text that makes them disagree fails here. Runs
that depend on scores use the end-to-end profiles; the README's library
examples start without a data path (the shipped data) and are checked for the
language only.
"""

import gzip
import json
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

PREFIX = pathlib.Path(os.environ.get("GLOTTA_PREFIX", "")).resolve()
SOURCE = pathlib.Path(__file__).resolve().parents[1]
E2E_DATA = SOURCE / "tests" / "e2e" / "profiles" / "data"
E2E_SAMPLES = SOURCE / "tests" / "e2e" / "profiles" / "samples"

BANNER = b"glotta - Tolmar, Inc. Version 5.5.0 (Feb  7 2004)\n"
DONE = b"glotta done\n"


def read(relative):
    return (SOURCE / relative).read_text(encoding="utf-8")


def indented_block_after(text, marker):
    """The block of lines indented by four spaces that follows `marker`,
    without the indentation, each line ending in a line feed."""
    start = text.index(marker) + len(marker)
    lines = []
    for line in text[start:].splitlines():
        if line.startswith("    "):
            lines.append(line[4:] + "\n")
        elif lines:
            break
        elif line.strip():
            raise AssertionError(f"no indented block after {marker!r}")
    return "".join(lines)


def fenced_block(text, language):
    """The one fenced code block of `language` in `text`."""
    blocks = re.findall(r"^```" + language + r"\n(.*?)^```$", text, re.S | re.M)
    assert len(blocks) == 1, f"{len(blocks)} ```{language} blocks"
    return blocks[0]


def environment():
    env = dict(os.environ)
    for name in ("LD_LIBRARY_PATH", "TOLMAR_LANG", "PKG_CONFIG_PATH", "PYTHONPATH"):
        env.pop(name, None)
    return env


class DocsAgree(unittest.TestCase):
    def setUp(self):
        self.work = pathlib.Path(tempfile.mkdtemp(prefix="glotta-docs-"))
        self.addCleanup(shutil.rmtree, self.work, True)

    def run_in_work(self, args, **kwargs):
        return subprocess.run(args, cwd=self.work, env=environment(), capture_output=True,
                              timeout=120, **kwargs)

    def test_record_bif_and_error_examples_of_formats_md(self):
        """doc/formats.md's result record, BIF record and error line are what
        the tool writes for docs/a.txt (the English sample) with the
        end-to-end profiles."""
        formats = read("doc/formats.md")
        (self.work / "docs").mkdir()
        shutil.copy(E2E_SAMPLES / "en.txt", self.work / "docs" / "a.txt")
        glotta = str(PREFIX / "bin" / "glotta")
        run = self.run_in_work(
            [glotta, "-data_path", str(E2E_DATA), "-bif", "sorted", "docs/a.txt"])
        self.assertEqual(run.returncode, 0, run.stderr)
        record = indented_block_after(formats, "on standard output or in the output file:\n")
        self.assertEqual(run.stdout, BANNER + record.encode() + DONE)
        bif = indented_block_after(formats, "receives, in processing order:\n")
        self.assertEqual((self.work / "sorted.en").read_text(), bif)

        (self.work / "docs" / "a.txt").unlink()
        run = self.run_in_work([glotta, "-data_path", str(E2E_DATA), "docs/a.txt"])
        error = indented_block_after(formats, "instead standard error gets\n")
        self.assertEqual(run.stderr.decode(), error)
        self.assertEqual(run.returncode, 256 - 19996 % 256)

    def test_scan_records_of_manual_page(self):
        """glotta-scan(1)'s JSON Lines examples: the record of a windows-1252
        French text has the example's members in its order (the score aside),
        the failure record is the example's byte for byte; a TSV line has the
        five fields per candidate the manual lists."""
        manual = read("doc/man/glotta-scan.1").replace("\\-", "-")
        examples = re.findall(r"^\.nf\n\.RS\n(.*?)\n\.RE\n\.fi$", manual, re.S | re.M)
        record, failure = (json.loads(text.replace("\n", "")) for text in examples[:2])
        french = (E2E_SAMPLES / "fr.txt").read_text(encoding="utf-8")
        (self.work / record["path"]).write_bytes(french.encode("cp1252"))
        scan = str(PREFIX / "bin" / "glotta-scan")
        run = self.run_in_work([scan, "--data-path", str(E2E_DATA), "--format", "jsonl",
                                record["path"], failure["path"]])
        self.assertEqual(run.returncode, 1, run.stderr)
        got_record, got_failure = run.stdout.decode().splitlines()
        got = json.loads(got_record)
        self.assertEqual(list(got), list(record))
        self.assertEqual({k: v for k, v in got.items() if k != "score"},
                         {k: v for k, v in record.items() if k != "score"})
        self.assertEqual(got_failure, examples[1])
        run = self.run_in_work([scan, "--data-path", str(E2E_DATA), "-n", "2", record["path"]])
        self.assertEqual(len(run.stdout.decode().rstrip("\n").split("\t")), 1 + 2 * 5)
        # ERRORS: an empty document is answered, not an error.
        (self.work / "empty.txt").write_bytes(b"")
        run = self.run_in_work([scan, "--data-path", str(E2E_DATA), "empty.txt"])
        self.assertEqual((run.returncode, run.stdout),
                         (0, b"empty.txt\tun\tun\tUnknown\t\t0.0000\n"))

    def test_scan_options_help_manual_and_completion(self):
        """Every option glotta-scan --help lists is in glotta-scan(1) and in
        the bash completion, and neither names an option the help lacks."""
        scan = str(PREFIX / "bin" / "glotta-scan")
        help_text = self.run_in_work([scan, "--help"]).stdout.decode()
        option = r"(?<![\w-])(--?[a-zA-Z0-9][a-z0-9-]*)"
        in_help = set(re.findall(option, help_text.split("\nTSV fields")[0]))
        manual = read("doc/man/glotta-scan.1")
        options_section = manual.split(".SH OPTIONS")[1].split(".SH OUTPUT")[0]
        tags = re.findall(r"^\.TP\n(.*)$", options_section.replace("\\-", "-"), re.M)
        in_manual = set(re.findall(option, "\n".join(tags)))
        self.assertEqual(in_manual, in_help)
        completion = read("scan/glotta-scan.bash")
        words = re.search(r"compgen -W '(-r [^']*)'", completion).group(1).split()
        self.assertEqual(set(words), in_help)

    def test_tool_usage_options_in_manual(self):
        """The options of glotta's usage text are in glotta(1)'s synopsis and
        options, and the manual's result codes and messages are the engine's,
        as is api.md's table."""
        run = self.run_in_work([str(PREFIX / "bin" / "glotta")])
        self.assertEqual(run.returncode, 225)
        usage = run.stdout.decode()
        in_usage = set(re.findall(r"\[(-[a-z_]+) ", usage))
        self.assertEqual(in_usage, {"-n", "-config", "-buffer_size", "-bif"})
        manual = read("doc/man/glotta.1").replace("\\-", "-")
        synopsis = manual.split(".SH SYNOPSIS")[1].split(".SH DESCRIPTION")[0]
        options = manual.split(".SH OPTIONS")[1].split(".SH OUTPUT")[0]
        for name in in_usage | {"-data_path", "-debug", "-train"}:
            self.assertRegex(synopsis, rf"(?<![\w-]){name}(?![\w-])", name)
            self.assertRegex(options, rf"(?m)^\.TP\n\.BI? {name}(?![\w-])", name)

        sys.path.insert(0, str(PREFIX / "lib" / "python3" / "dist-packages"))
        import glotta  # noqa: E402 - the installed package

        engine = {code: glotta.error_message(code) for code in range(-19999, -19977)}
        in_manual = dict(re.findall(r"^-(\d{5})  (.+)$", manual, re.M))
        self.assertEqual({-int(c): m for c, m in in_manual.items()}, engine)
        api = read("doc/api.md")
        in_api = dict(re.findall(r"^\| (-\d{5}) \| (.+) \|$", api, re.M))
        self.assertEqual({int(c): m for c, m in in_api.items()}, engine)

    def test_manual_page_examples(self):
        """Every example of glotta(1) and glotta-scan(1) (but those that need
        the network or other hosts) runs cleanly on files named as in the
        example, with the end-to-end profiles."""
        shutil.copytree(E2E_DATA, self.work / "data")
        shutil.copytree(E2E_SAMPLES, self.work / "docs")
        shutil.copytree(E2E_SAMPLES, self.work / "corpus")
        shutil.copy(E2E_SAMPLES / "en.txt", self.work / "report.txt")
        (self.work / "documents.lst").write_text("docs/en.txt\ndocs/de.txt\n")
        (self.work / "samples.lst").write_text("docs/en.txt\n")
        french = (E2E_SAMPLES / "fr.txt").read_text(encoding="utf-8")
        (self.work / "old.txt").write_bytes(french.encode("cp1252"))
        tools = {
            "glotta": f"{PREFIX / 'bin' / 'glotta'} -data_path data",
            "glotta-scan": f"{PREFIX / 'bin' / 'glotta-scan'} --data-path data",
        }
        for page in ("glotta.1", "glotta-scan.1"):
            manual = read(f"doc/man/{page}")
            examples = manual.split(".SH EXAMPLES\n.nf\n")[1].split("\n.fi")[0]
            for line in examples.replace("\\-", "-").replace("\\e", "\\").splitlines():
                if "curl " in line or "--sshlogin" in line:
                    continue
                command = re.sub(r"(?<![\w/-])(glotta-scan|glotta)(?![\w-])",
                                 lambda m: tools[m.group(1)], line)
                run = self.run_in_work(["bash", "-c", "set -o pipefail; " + command])
                self.assertEqual((run.returncode, run.stderr), (0, b""), line)
        self.assertEqual((self.work / "results.txt").read_text().count("<<EOD>>"), 2)
        self.assertTrue((self.work / "sorted" / "docs.en").is_file())
        self.assertTrue((self.work / "data" / "eo-utf8.lm").is_file())
        names = (self.work / "data" / "langname.cfg").read_text()
        self.assertTrue(names.endswith("\neo Esperanto\n"))
        # A record per file of the corpus.
        self.assertEqual(len((self.work / "languages.jsonl").read_text().splitlines()),
                         len(list(E2E_SAMPLES.iterdir())))

    def test_environment_variables_in_manuals(self):
        """Every environment variable the tools and the engine read is in the
        ENVIRONMENT section of both manual pages."""
        names = set()
        for folder in ("tool", "scan", "engine", "platform", "pipeline", "ngram", "charset",
                       "conv", "doctype"):
            for source in (SOURCE / folder).glob("*.[ch]*"):
                names |= set(re.findall(r'getenv\("([A-Z_]+)"\)', source.read_text()))
        self.assertIn("TOLMAR_LANG", names)
        for page in ("glotta.1", "glotta-scan.1"):
            manual = read(f"doc/man/{page}")
            environment = manual.split(".SH ENVIRONMENT")[1].split(".SH FILES")[0]
            for name in names:
                self.assertRegex(environment, rf"(?m)^\.BR? (.*\W)?{name}\b",
                                 f"{name} in {page}")

    def test_readme_library_examples(self):
        """The README's C program builds with the command it gives and runs as
        it says; its CMake project, with the C++ example it names, configures
        without a warning, builds and runs; like its Python example, both
        answer English for an English letter."""
        readme = read("README.md")
        pc = (PREFIX / "lib" / "pkgconfig" / "glotta.pc").read_text()
        self.assertRegex(pc, r"(?m)^prefix=/", "glotta.pc must name an absolute prefix")
        letter = self.work / "letter.txt"
        shutil.copy(E2E_SAMPLES / "en.txt", letter)
        (self.work / "app.c").write_text(fenced_block(readme, "c"))
        c_section = readme.split("\nC, built with ")[1].split("```c")[0]
        command, run_as = re.findall(r"`([^`]+)`", c_section.replace("\n", " "))[::2]
        env = environment()
        env["PKG_CONFIG_PATH"] = str(PREFIX / "lib" / "pkgconfig")
        build = subprocess.run(["bash", "-c", command], cwd=self.work, env=env,
                               capture_output=True, timeout=120)
        self.assertEqual(build.returncode, 0, build.stderr)
        run = self.run_in_work(["bash", "-c", run_as])
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertRegex(run.stdout.decode(), r"^en \S+\n$")

        project = self.work / "cmake"
        project.mkdir()
        (project / "CMakeLists.txt").write_text(fenced_block(readme, "cmake"))
        cpp_section = readme.split("\nC++ with CMake ")[1].split("```cmake")[0]
        source = re.search(r"`app\.cpp` as\s+`([^`]+)`", cpp_section).group(1)
        shutil.copy(SOURCE / source, project / "app.cpp")
        configure = self.run_in_work(["cmake", "-Werror=dev", "-S", "cmake", "-B", "cmake-build",
                                      f"-DCMAKE_PREFIX_PATH={PREFIX}"])
        self.assertEqual(configure.returncode, 0, configure.stderr)
        self.assertNotIn(b"Warning", configure.stderr)
        build = self.run_in_work(["cmake", "--build", "cmake-build"])
        self.assertEqual(build.returncode, 0, build.stdout + build.stderr)
        run = self.run_in_work(["cmake-build/app", "letter.txt"])
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertRegex(run.stdout.decode(), r"^letter\.txt: en ")

        (self.work / "example.py").write_text(fenced_block(readme, "python"))
        env = environment()
        env["PYTHONPATH"] = str(PREFIX / "lib" / "python3" / "dist-packages")
        run = subprocess.run([sys.executable, "example.py"], cwd=self.work, env=env,
                             capture_output=True, text=True, timeout=120)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(len(run.stdout.splitlines()), 3, run.stdout)
        self.assertRegex(run.stdout, r"^en English ")

    def test_readme_training_and_bulk_lists(self):
        """The README's training synopsis: one sample, a second positional
        argument left alone. Its bulk-list limits: a line longer than a piece
        is read as several paths; a joined path over the limit is skipped with
        a message."""
        readme = read("README.md")
        synopsis = re.search(r"Training: `-train (-language_id ID -language_name NAME "
                             r"-charset CS) \[@\]SAMPLE`", readme).group(1)
        shutil.copytree(E2E_DATA, self.work / "data")
        shutil.copy(E2E_SAMPLES / "en.txt", self.work / "sample.txt")
        (self.work / "other.txt").write_text("not a sample\n")
        args = synopsis.replace("ID", "eo").replace("NAME", "Esperanto").replace("CS", "utf8")
        glotta = str(PREFIX / "bin" / "glotta")
        run = self.run_in_work([glotta, "-train", *args.split(), "-data_path", "data",
                                "sample.txt", "other.txt"])
        self.assertEqual((run.returncode, run.stderr), (0, b""))
        self.assertTrue((self.work / "data" / "eo-utf8.lm").is_file())
        self.assertEqual((self.work / "other.txt").read_text(), "not a sample\n")

        text = " ".join(readme.split())
        piece = int(re.search(r"A bulk list is read in pieces of at most (\d+) characters",
                              text).group(1))
        limit = int(re.search(r"A document path that comes to more than (\d+) characters "
                              r"once joined with the list's directory is not processed", text)
                    .group(1))
        (self.work / "long.lst").write_text("a" * (piece + 10) + "\n")
        run = self.run_in_work([glotta, "-data_path", "data", "@long.lst"])
        missing = re.findall(rb"^Error -19996: File does not exist \(for document: (a+)\)$",
                             run.stderr, re.M)
        self.assertEqual([len(path) for path in missing], [piece, 10], run.stderr)

        folder = pathlib.Path(*(["d" * 200] * (limit // 201 + 1)))
        (self.work / folder).mkdir(parents=True)
        (self.work / folder / "deep.lst").write_text("en.txt\n")
        shutil.copy(E2E_SAMPLES / "en.txt", self.work / folder / "en.txt")
        self.assertGreater(len(str(folder / "en.txt")), limit)
        run = self.run_in_work([glotta, "-data_path", "data", f"@{folder / 'deep.lst'}"])
        self.assertEqual(run.stderr.decode(), f"Document path longer than {limit} characters, "
                         f"skipped: {folder / 'en.txt'}\n")
        self.assertNotIn(b"DOC_NAME", run.stdout)

    def test_readme_scan_fields_of_filtered_documents(self):
        """A document the filter reads (here a gzip-compressed text) has the
        charset Unknown and, as the README says, an empty standard name in
        TSV and null in JSON; with PREFIX/bin on PATH, man finds
        glotta-scan's page."""
        readme = " ".join(read("README.md").split())
        for statement in ("empty for `Unknown`, the charset of every document the filter "
                          "plug-in reads", "`null` for an empty standard name"):
            self.assertTrue(statement in readme, f"README.md lacks: {statement}")
        with gzip.open(self.work / "en.txt.gz", "wb") as f:
            f.write((E2E_SAMPLES / "en.txt").read_bytes())
        scan = [str(PREFIX / "bin" / "glotta-scan"), "--data-path", str(E2E_DATA), "en.txt.gz"]
        run = self.run_in_work(scan)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stdout.decode().split("\t")[1:5], ["en", "English", "Unknown", ""])
        record = json.loads(self.run_in_work(scan + ["--format", "jsonl"]).stdout)
        self.assertEqual((record["charset"], record["charset_iana"]), ("Unknown", None))
        if shutil.which("man"):
            env = environment()
            env["PATH"] = f"{PREFIX / 'bin'}:{env.get('PATH', '/usr/bin:/bin')}"
            env.pop("MANPATH", None)
            found = subprocess.run(["man", "-w", "glotta-scan"], env=env, capture_output=True,
                                   text=True, timeout=60)
            self.assertEqual(found.stdout.strip(),
                             str(PREFIX / "share" / "man" / "man1" / "glotta-scan.1"))

    def test_readme_iconv_recipe_and_layout(self):
        """The README's iconv recipe converts a windows-1252 text (field 5 is
        the standard charset name), and every path of its installation layout
        exists."""
        readme = read("README.md")
        recipe = next(line.strip() for line in readme.splitlines() if "iconv -f" in line)
        scan = f"{PREFIX / 'bin' / 'glotta-scan'} --data-path {E2E_DATA}"
        french = (E2E_SAMPLES / "fr.txt").read_text(encoding="utf-8")
        (self.work / "old.txt").write_bytes(french.encode("cp1252"))
        run = self.run_in_work(["bash", "-c", recipe.replace("glotta-scan", scan)])
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stdout.decode(), french)

        layout = readme.split("## Installation layout")[1].split("Build and install by hand")[0]
        for line in layout.splitlines():
            if not line.startswith("    PREFIX/"):
                continue
            names = re.split(r"\s{2,}", line.strip())[0].split(", ")
            folder = pathlib.Path(names[0]).parent
            for name in names:
                path = pathlib.Path(name) if name.startswith("PREFIX/") else folder / name
                pattern = str(path.relative_to("PREFIX"))
                self.assertTrue(list(PREFIX.glob(pattern.rstrip("/"))), f"{path} is not installed")


if __name__ == "__main__":
    unittest.main()
