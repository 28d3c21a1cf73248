#!/usr/bin/env python3
"""What the launcher bin/glotta adds to a start of the tool.

    launcher.py PREFIX [NAME=LAUNCHER...] [--runs N]

Starts, in turn and N times over, the tool binary PREFIX/_linux/bin/glotta
over an empty list (LD_LIBRARY_PATH set as a launcher sets it) and each
launcher over the same list: PREFIX's own ("launcher") and any other given
(say the launcher of an older build). Every launcher is copied into a scratch
installation whose other parts link to PREFIX's, so that all of them run the
same tool on the same data. Each run's wall time is taken from spawning to
reaping, its CPU time (user + system) from wait4. The runs of one turn follow
each other within milliseconds, so a change of the machine's load hits them
alike: the paired differences against the tool binary say what a launcher
costs far more steadily than two separate series of runs do.

Prints a Markdown table: medians and 10th percentiles of wall and CPU time,
and the medians of the paired differences.
"""
import argparse
import os
import shutil
import statistics
import sys
import tempfile
import time


QUIET = [(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)]


def spawn(argv, env):
    """Runs argv to its end; returns (wall seconds, CPU seconds)."""
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, env, file_actions=QUIET)
    _, status, usage = os.wait4(pid, 0)
    wall = time.perf_counter() - start
    if not os.WIFEXITED(status) or os.WEXITSTATUS(status) != 0:
        sys.exit(f"launcher.py: {argv[0]} failed ({status:#x})")
    return wall, usage.ru_utime + usage.ru_stime


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("prefix")
    parser.add_argument("launchers", nargs="*", metavar="NAME=LAUNCHER")
    parser.add_argument("--runs", type=int, default=400)
    args = parser.parse_args()
    prefix = os.path.realpath(args.prefix)
    launchers = [("launcher", os.path.join(prefix, "bin", "glotta"))]
    for item in args.launchers:
        name, _, path = item.partition("=")
        launchers.append((name, path))

    with tempfile.TemporaryDirectory() as work:
        listing = os.path.join(work, "empty.lst")
        open(listing, "w").close()
        base_env = {k: v for k, v in os.environ.items() if k != "LD_LIBRARY_PATH"}
        base_env["XDG_CACHE_HOME"] = os.path.join(work, "cache")
        configs = []
        for index, (name, path) in enumerate(launchers):
            root = os.path.join(work, f"root{index}")
            os.makedirs(os.path.join(root, "bin"))
            for part in ("_linux", "common"):
                os.symlink(os.path.join(prefix, part), os.path.join(root, part))
            shutil.copy2(path, os.path.join(root, "bin", "glotta"))
            configs.append((name, [os.path.join(root, "bin", "glotta"), "@" + listing], base_env))
            if index == 0:
                tool_env = dict(base_env, LD_LIBRARY_PATH=os.path.join(root, "_linux", "bin"))
                tool = ("tool binary", [os.path.join(root, "_linux", "bin", "glotta"), "@" + listing],
                        tool_env)
        configs.insert(0, tool)

        # Fill the profile cache (it keeps files changed in the last seconds
        # out), then warm up.
        for _, argv, env in configs:
            spawn(argv, env)
        time.sleep(3)
        for _ in range(20):
            for _, argv, env in configs:
                spawn(argv, env)
        walls = {name: [] for name, _, _ in configs}
        cpus = {name: [] for name, _, _ in configs}
        for _ in range(args.runs):
            for name, argv, env in configs:
                wall, cpu = spawn(argv, env)
                walls[name].append(wall * 1e3)
                cpus[name].append(cpu * 1e3)

    print("| | wall median | wall 10 % | CPU median | CPU 10 % "
          "| added wall, median of pairs | added CPU, median of pairs |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    reference = configs[0][0]
    for name, _, _ in configs:
        wall, cpu = walls[name], cpus[name]
        row = [f"{statistics.median(wall):.2f} ms", f"{percentile(wall, 0.1):.2f} ms",
               f"{statistics.median(cpu):.2f} ms", f"{percentile(cpu, 0.1):.2f} ms"]
        if name == reference:
            row += ["", ""]
        else:
            row += [f"{statistics.median(a - b for a, b in zip(wall, walls[reference])):+.2f} ms",
                    f"{statistics.median(a - b for a, b in zip(cpu, cpus[reference])):+.2f} ms"]
        print(f"| {name} | " + " | ".join(row) + " |")


if __name__ == "__main__":
    main()
