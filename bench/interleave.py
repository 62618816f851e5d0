#!/usr/bin/env python3
"""Times commands in turn, one run of each per round, the order reversed every round, and
writes the times as hyperfine's --export-json does. A ratio of two commands timed this way
sees the same drift in the machine on both sides; hyperfine runs all of one command's runs
before the next command's.

  interleave.py OUT.json RUNS WARMUP NAME COMMAND [NAME COMMAND ...]

Each COMMAND is split as a shell would split it, but run without a shell; its output is
discarded, and a run that fails stops the timing.
"""
import json, shlex, subprocess, sys, time


def run(argv):
    start = time.perf_counter()
    subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def main():
    out, runs, warmup = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    pairs = sys.argv[4:]
    if len(pairs) < 4 or len(pairs) % 2:
        sys.exit(__doc__)
    commands = [(pairs[i], shlex.split(pairs[i + 1])) for i in range(0, len(pairs), 2)]
    for _ in range(warmup):
        for _, argv in commands:
            run(argv)
    times = {name: [] for name, _ in commands}
    for r in range(runs):
        for name, argv in commands if r % 2 == 0 else reversed(commands):
            times[name].append(run(argv))
    with open(out, "w") as f:
        json.dump({"results": [{"command": n, "times": t} for n, t in times.items()]}, f)


if __name__ == "__main__":
    main()
