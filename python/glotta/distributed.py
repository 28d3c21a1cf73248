"""Identify the documents of a path list on a Dask cluster.

    python3 -m glotta.distributed (--scheduler ADDRESS | --local-workers N)
                                  LIST -o OUT.jsonl [-n N] [--distinct]
                                  [--codes glotta|bcp47] [--size BYTES]
                                  [--data-path DIR] [--config FILE]
                                  [--partition-size K]

LIST names one document per line ("-": standard input). The list is cut into
partitions of K paths; each Dask worker process keeps one glotta.Detector and
turns a partition into JSON lines, the same lines `glotta-scan --format
jsonl` writes for those documents, which are written to OUT in list order.
Every worker needs glotta installed (the same version, at any prefix) and the
documents under the same paths.

--local-workers N starts N worker processes on this machine; --scheduler
ADDRESS (tcp://host:8786) uses a running cluster of any size.

Exit status: 0 when every document was identified, 1 when some failed, 2 for
usage or start-up errors.
"""

import argparse
import os
import sys

from . import Detector, Error

_HERE = os.path.dirname(os.path.realpath(__file__))

# Language identifiers that are not BCP 47 tags of their language (as
# glotta-scan --codes bcp47 maps them).
_BCP47 = {"un": "und", "zt": "zh-Hant", "mm": "mn", "bms": "my", "div": "dv"}

_HEX = "0123456789abcdef"


def _charset_names():
    """glotta's charset names and their standard names, from the table the
    build wrote beside this module (glotta-scan --list-charsets)."""
    table = {}
    try:
        with open(os.path.join(_HERE, "charsets.tsv"), encoding="ascii") as f:
            for line in f:
                name, _, standard = line.rstrip("\n").partition("\t")
                if standard:
                    table[name.lower()] = standard
                    table.setdefault(standard.lower(), standard)
    except OSError:
        pass
    return table


_STANDARD = _charset_names()


def json_string(value):
    """A JSON string as glotta-scan writes it: UTF-8 as it is, the escapes
    JSON requires, and bytes that are not UTF-8 (surrogateescape) as \\udcXX."""
    if isinstance(value, bytes):
        value = value.decode("utf-8", "surrogateescape")
    out = ['"']
    for ch in value:
        code = ord(ch)
        if ch in '"\\':
            out.append("\\" + ch)
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\t":
            out.append("\\t")
        elif ch == "\r":
            out.append("\\r")
        elif code < 0x20 or code == 0x7F:
            out.append("\\u00" + _HEX[code >> 4] + _HEX[code & 15])
        elif 0xDC80 <= code <= 0xDCFF:
            out.append("\\udc" + _HEX[(code >> 4) & 15] + _HEX[code & 15])
        else:
            out.append(ch)
    out.append('"')
    return "".join(out)


def _language_code(language, codes):
    if codes != "bcp47":
        return language
    if language.startswith("Unknown"):
        return "und"
    return _BCP47.get(language, language)


def _candidate(c, codes):
    standard = _STANDARD.get(c.charset.lower())
    return ('"language":%s,"name":%s,"charset":%s,"charset_iana":%s,"score":%.4f' % (
        json_string(_language_code(c.language, codes)), json_string(c.name),
        json_string(c.charset), json_string(standard) if standard else "null", c.score))


def select(candidates, n, distinct):
    """The first n candidates, or with `distinct` the best of each of the
    first n languages."""
    chosen = []
    for c in candidates:
        if len(chosen) >= n:
            break
        if distinct and any(c.language == earlier.language for earlier in chosen):
            continue
        chosen.append(c)
    return chosen


def record(path, outcome, codes):
    """The JSON line of one document: `outcome` is its candidates or an
    Error."""
    line = '{"path":' + json_string(path)
    if isinstance(outcome, Error):
        return line + ',"error":{"code":%d,"message":%s}}\n' % (
            outcome.code, json_string(outcome.message))
    if outcome:
        line += "," + _candidate(outcome[0], codes)
        if len(outcome) > 1:
            line += ',"runners_up":[' + ",".join(
                "{" + _candidate(c, codes) + "}" for c in outcome[1:]) + "]"
    return line + "}\n"


_detectors = {}


def scan_partition(paths, options):
    """Runs in a worker process: the JSON lines of `paths` (bytes) and how
    many of them failed. One Detector per process and set of options."""
    key = (options.get("data_path"), options.get("config"))
    detector = _detectors.get(key)
    if detector is None:
        detector = _detectors[key] = Detector(data_path=key[0], config=key[1])
    lines = []
    failed = 0
    for path in paths:
        try:
            found = detector.detect(os.fsdecode(path), n=None, size=options.get("size", 2048))
            outcome = select(found, options.get("n", 1), options.get("distinct", False))
        except Error as error:
            outcome = error
            failed += 1
        lines.append(record(path, outcome, options.get("codes")))
    return "".join(lines).encode("utf-8", "surrogateescape"), failed


def read_list(stream):
    """Paths of a list, as bytes: one per line, a carriage return before the
    line feed dropped, blank lines skipped."""
    paths = []
    for line in stream:
        line = line.rstrip(b"\n")
        if line.endswith(b"\r"):
            line = line[:-1]
        if line:
            paths.append(line)
    return paths


def _parse(argv):
    parser = argparse.ArgumentParser(
        prog="python3 -m glotta.distributed",
        description="Identify the documents of a path list on a Dask cluster.")
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--scheduler", metavar="ADDRESS", help="address of a Dask scheduler")
    where.add_argument("--local-workers", metavar="N", type=int,
                       help="start N worker processes on this machine")
    parser.add_argument("list", metavar="LIST", help="paths, one per line (- for standard input)")
    parser.add_argument("-o", "--output", metavar="OUT.jsonl", required=True,
                        help="the JSON lines, in list order")
    parser.add_argument("-n", "--candidates", metavar="N", type=int, default=1,
                        help="report N candidates, 1 to 1000 (default 1)")
    parser.add_argument("--distinct", action="store_true",
                        help="the N candidates are N different languages")
    parser.add_argument("--codes", choices=["glotta", "bcp47"], default="glotta",
                        help="language codes as glotta (default) or bcp47 gives them")
    parser.add_argument("--size", metavar="BYTES", type=int, default=2048,
                        help="bytes of text examined per document (default 2048)")
    parser.add_argument("--data-path", metavar="DIR", help="language data directory")
    parser.add_argument("--config", metavar="FILE",
                        help="language list used instead of DIR/langlist.cfg")
    parser.add_argument("--partition-size", metavar="K", type=int, default=1000,
                        help="paths per partition (default 1000)")
    args = parser.parse_args(argv)
    # The ranges glotta-scan accepts for the options they share.
    for name, low, high in (("candidates", 1, 1000), ("local_workers", 1, None),
                            ("partition_size", 1, None), ("size", 1, 0x7FFFFFFF)):
        value = getattr(args, name)
        if value is not None and value < low:
            parser.error(f"--{name.replace('_', '-')} must be at least {low}")
        if value is not None and high is not None and value > high:
            parser.error(f"--{name.replace('_', '-')} must be at most {high}")
    return args


def main(argv=None):
    args = _parse(argv)
    try:
        if args.list == "-":
            paths = read_list(sys.stdin.buffer)
        else:
            with open(args.list, "rb") as f:
                paths = read_list(f)
    except OSError as error:
        print(f"glotta.distributed: {args.list}: {error.strerror}", file=sys.stderr)
        return 2
    options = {"n": args.candidates, "distinct": args.distinct, "codes": args.codes,
               "size": args.size, "data_path": args.data_path, "config": args.config}
    partitions = [paths[i:i + args.partition_size]
                  for i in range(0, len(paths), args.partition_size)]

    import logging
    try:
        from distributed import Client, LocalCluster, as_completed
    except ImportError:
        print(f"glotta.distributed: {sys.executable} cannot import Dask's distributed module "
              "(Debian: python3-distributed, for /usr/bin/python3)", file=sys.stderr)
        return 2

    logging.getLogger("distributed").setLevel(logging.ERROR)
    cluster = None
    try:
        if args.local_workers:
            cluster = LocalCluster(n_workers=args.local_workers, threads_per_worker=1,
                                   processes=True, dashboard_address=None)
            client = Client(cluster)
        else:
            client = Client(args.scheduler)
    except Exception as error:  # any failure to reach or start a cluster
        print(f"glotta.distributed: no cluster: {error}", file=sys.stderr)
        return 2

    failed = 0
    try:
        with open(args.output, "wb") as out:
            # A window of partitions in flight; results are written in list
            # order as soon as every earlier one is in.
            window = 4 * max(1, len(client.scheduler_info().get("workers", {})) or 1)
            pending = {}
            index_of = {}
            next_index = 0
            submitted = 0
            running = as_completed()

            def submit():
                nonlocal submitted
                future = client.submit(scan_partition, partitions[submitted], options,
                                       pure=False)
                index_of[future.key] = submitted
                running.add(future)
                submitted += 1

            while submitted < len(partitions) and submitted < window:
                submit()
            for future in running:
                pending[index_of.pop(future.key)] = future.result()
                future.release()
                while next_index in pending:
                    lines, bad = pending.pop(next_index)
                    out.write(lines)
                    failed += bad
                    next_index += 1
                if submitted < len(partitions):
                    submit()
    except Error as error:  # a worker could not start the engine
        print(f"glotta.distributed: Error {error.code}: {error.message} "
              "(in initializing language detection module)", file=sys.stderr)
        return 2
    except OSError as error:
        print(f"glotta.distributed: {args.output}: {error.strerror}", file=sys.stderr)
        return 2
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
