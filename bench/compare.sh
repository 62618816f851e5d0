#!/bin/sh
# Times velmora against peer checksum tools on page-cached data and prints a markdown
# report: machine, kernel throughput, whole-process medians, ratios and the targets.
#
#   bench/compare.sh [BUILD_DIR]        (from the repository root; run as root so that
#                                        missing tools can be installed with apt-get)
#
# BUILD_DIR (default build-bench) is configured with -DVELMORA_BUILD_BENCH=ON and built
# when it does not hold the benchmark programs yet. RUNS (default 10) sets the timed runs
# of each command; the data lives in a temporary directory removed on exit.
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build-bench}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
RUNS=${RUNS:-10}
WARMUP=3

need() { command -v "$1" >/dev/null 2>&1; }

missing=""
need hyperfine || missing="$missing hyperfine"
need rhash || missing="$missing rhash"
need cksfv || missing="$missing cksfv"
need 7zz || missing="$missing 7zip"
need python3 || missing="$missing python3"
need cmake || missing="$missing cmake"
need ninja || missing="$missing ninja-build"
[ -f /usr/include/benchmark/benchmark.h ] || missing="$missing libbenchmark-dev"
if [ -n "$missing" ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "missing:$missing (run as root to install them with apt-get)" >&2
        exit 1
    fi
    echo "installing:$missing" >&2
    apt-get update -qq >&2
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >&2
fi

if [ ! -x "$BUILD/bench/velmora_bench_kernels" ] || [ ! -x "$BUILD/bench/velmora_map_read" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DVELMORA_BUILD_BENCH=ON -DVELMORA_BUILD_TESTS=OFF >&2
fi
cmake --build "$BUILD" -j2 >&2
VELMORA=$BUILD/velmora
KERNELS=$BUILD/bench/velmora_bench_kernels
MAP_READ=$BUILD/bench/velmora_map_read

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velmora-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM

echo "preparing data in $WORK" >&2
mkdir "$WORK/one" "$WORK/many"
head -c 1073741824 /dev/urandom >"$WORK/one/big.bin"
python3 - "$WORK/many" <<'EOF'
import os, sys
for i in range(16384):
    with open(os.path.join(sys.argv[1], "f%05d.dat" % i), "wb") as f:
        f.write(os.urandom(4096))
EOF
# Into the page cache; the warm-up runs keep them there.
cat "$WORK/one/big.bin" >/dev/null
cat "$WORK"/many/* >/dev/null

echo "kernel throughput" >&2
"$KERNELS" --benchmark_min_time=0.2 --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true --benchmark_format=json \
    --benchmark_out="$WORK/kernels.json" --benchmark_out_format=json >/dev/null

echo "1 GiB file" >&2
cd "$WORK/one"
hyperfine -N --warmup "$WARMUP" --runs "$RUNS" --export-json "$WORK/one.json" \
    -n "map+read baseline" "$MAP_READ big.bin" \
    -n "velmora build" "$VELMORA big.bin" \
    -n "velmora check" "$VELMORA -c=dunel.sfv" \
    -n "7zz h -scrcCRC32" "7zz h -scrcCRC32 big.bin" \
    -n "rhash --crc32" "rhash --crc32 big.bin" \
    -n "cksfv" "cksfv big.bin" >&2
"$VELMORA" -c=dunel.sfv | grep -q " OK!" || { echo "velmora check did not pass" >&2; exit 1; }

echo "16384 files of 4 KiB" >&2
cd "$WORK/many"
hyperfine -N --warmup "$WARMUP" --runs "$RUNS" --export-json "$WORK/many.json" \
    -n "velmora build *.*" "$VELMORA *.*" \
    -n "rhash --sfv" "rhash --sfv -r ." \
    -n "cksfv" "cksfv -R ." >&2

python3 - "$WORK" "$RUNS" <<'EOF'
import json, os, platform, sys
work, runs = sys.argv[1], sys.argv[2]

def cpu_model():
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return platform.processor() or "unknown"

def mem_gib():
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal"):
                return int(line.split()[1]) / 1048576
    return 0

def medians(name):
    with open(os.path.join(work, name)) as f:
        return {r["command"]: r for r in json.load(f)["results"]}

print("Machine: %s, %d logical CPUs, %.0f GiB RAM, Linux %s; load average at the end %s."
      % (cpu_model(), os.cpu_count(), mem_gib(), platform.release(),
         ", ".join("%.2f" % x for x in os.getloadavg())))
print()

# Kernel throughput, median of the repetitions, GB/s (10^9 bytes per second).
with open(os.path.join(work, "kernels.json")) as f:
    bench = json.load(f)["benchmarks"]
sizes = {4096: "4 KiB", 65536: "64 KiB", 1048576: "1 MiB", 268435456: "256 MiB"}
rates = {}
for b in bench:
    if b.get("aggregate_name") != "median":
        continue
    _, kernel, size = b["run_name"].split("/")
    rates.setdefault(kernel, {})[int(size)] = b["bytes_per_second"] / 1e9
print("| CRC-32 kernel | " + " | ".join(sizes.values()) + " |")
print("|---|" + "---:|" * len(sizes))
for kernel, by_size in rates.items():
    print("| %s | %s |" % (kernel, " | ".join("%.1f GB/s" % by_size[s] for s in sizes)))
print()

one = medians("one.json")
many = medians("many.json")
build = one["velmora build"]["median"]
check = one["velmora check"]["median"]
print("| Workload | Command | Median | Mean ± σ | velmora build ÷ it | velmora check ÷ it |")
print("|---|---|---:|---:|---:|---:|")
for name, r in one.items():
    print("| 1 GiB file | %s | %.1f ms | %.1f ± %.1f ms | %.2f | %.2f |"
          % (name, r["median"] * 1e3, r["mean"] * 1e3, r["stddev"] * 1e3,
             build / r["median"], check / r["median"]))
vbuild = many["velmora build *.*"]["median"]
for name, r in many.items():
    print("| 16384 × 4 KiB | %s | %.1f ms | %.1f ± %.1f ms | %.2f | |"
          % (name, r["median"] * 1e3, r["mean"] * 1e3, r["stddev"] * 1e3,
             vbuild / r["median"]))
print()
print("Medians of %s runs after 3 warm-up runs each (hyperfine, no shell)." % runs)
print()

best = max(rates, key=lambda k: rates[k][65536])
targets = [
    ("best kernel (%s) at 64 KiB" % best, rates[best][65536], ">=", 70, "GB/s"),
    ("best kernel (%s) at 1 MiB" % best, rates[best][1048576], ">=", 70, "GB/s"),
    ("check of 1 GiB ÷ map+read baseline", check / one["map+read baseline"]["median"], "<=", 1.3, ""),
    ("check of 1 GiB ÷ 7zz h -scrcCRC32", check / one["7zz h -scrcCRC32"]["median"], "<=", 0.4, ""),
    ("check of 1 GiB ÷ rhash --crc32", check / one["rhash --crc32"]["median"], "<=", 0.25, ""),
    ("build of 16384 files ÷ rhash --sfv", vbuild / many["rhash --sfv"]["median"], "<=", 0.75, ""),
]
print("| Target | Measured | Goal | Holds |")
print("|---|---:|---:|---|")
for name, value, op, goal, unit in targets:
    ok = value >= goal if op == ">=" else value <= goal
    suffix = " " + unit if unit else ""
    print("| %s | %.2f%s | %s %s%s | %s |" % (name, value, suffix, op, goal, suffix,
                                           "yes" if ok else "no"))
EOF
