#!/usr/bin/env python3
"""Times commands in turn, one run of each per round, the order reversed every round, and
writes the times as hyperfine's --export-json does. A ratio of two commands timed this way
sees the same drift in the machine on both sides; hyperfine runs all of one command's runs
before the next command's.

  interleave.py [--prepare SHELL_COMMAND] OUT.json RUNS WARMUP NAME COMMAND [NAME COMMAND ...]

SHELL_COMMAND, if given, runs through sh before every run, untimed (to drop the page cache
before a cold run, say). Each COMMAND is split as a shell would split it, but run without a
shell; its output is discarded, and a run that fails stops the timing.
"""
import json, shlex, subprocess, sys, time


def run(argv, prepare):
    if prepare:
        subprocess.run(prepare, shell=True, check=True)
    start = time.perf_counter()
    subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def main():
    args, prepare = sys.argv[1:], None
    if args[:1] == ["--prepare"]:
        prepare, args = args[1], args[2:]
    if len(args) < 7 or len(args) % 2 == 0:
        sys.exit(__doc__)
    out, runs, warmup = args[0], int(args[1]), int(args[2])
    pairs = args[3:]
    commands = [(pairs[i], shlex.split(pairs[i + 1])) for i in range(0, len(pairs), 2)]
    for _ in range(warmup):
        for _, argv in commands:
            run(argv, prepare)
    times = {name: [] for name, _ in commands}
    for r in range(runs):
        for name, argv in commands if r % 2 == 0 else reversed(commands):
            times[name].append(run(argv, prepare))
    with open(out, "w") as f:
        json.dump({"results": [{"command": n, "times": t} for n, t in times.items()]}, f)


if __name__ == "__main__":
    main()
