#!/usr/bin/env bash
# Times velmora against the floors of each workload and against peer checksum tools, all in
# one run on page-cached data, and prints a markdown report: the machine, kernel throughput,
# whole-process medians, ratios and the targets.
#
#   bench/compare.sh [BUILD_DIR]        (from the repository root; run as root so that
#                                        missing tools can be installed with apt-get)
#
# BUILD_DIR (default build-bench) is configured with -DVELMORA_BUILD_BENCH=ON and built.
# RUNS (default 10) sets the timed runs of each command. BASELINE may name another velmora
# program (an older build) to time beside velmora_serial, the build with one worker.
#
# The data must lie on a device without a seek penalty, or velmora reads one file at a time
# as it should there. Virtual disks often claim to rotate; so, as root with losetup, the data
# goes to an ext4 file system in memory (a loop device over /dev/shm), which claims nothing.
set -euo pipefail

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

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DVELMORA_BUILD_BENCH=ON -DVELMORA_BUILD_TESTS=OFF >&2
fi
cmake --build "$BUILD" -j2 >&2
VELMORA=$BUILD/velmora
SERIAL=$BUILD/velmora_serial
KERNELS=$BUILD/bench/velmora_bench_kernels
FLOORS=$BUILD/bench/velmora_floors

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velmora-bench.XXXXXX")
DATA=$WORK
LOOP=""
cleanup() {
    cd /
    if [ -n "$LOOP" ]; then
        umount "$DATA" 2>/dev/null || true
        losetup -d "$LOOP" 2>/dev/null || true
    fi
    rm -rf "$WORK" "/dev/shm/$(basename "$WORK").img" "/dev/shm/$(basename "$WORK").folders"
}
trap cleanup EXIT INT TERM
if [ "$(id -u)" -eq 0 ] && need losetup && need mkfs.ext4 && [ -d /dev/shm ]; then
    image=/dev/shm/$(basename "$WORK").img
    truncate -s 4G "$image"
    # Inodes for every small file and directory below (some 240 000), not the default 262 144.
    mkfs.ext4 -q -F -N 400000 "$image"
    LOOP=$(losetup --find --show "$image")
    DATA=$WORK/data
    mkdir "$DATA"
    mount "$LOOP" "$DATA"
    STORAGE="ext4 on a loop device over /dev/shm ($(cat "/sys/block/${LOOP#/dev/}/queue/rotational" 2>/dev/null || echo ?) = rotational)"
else
    STORAGE="$(df --output=fstype "$DATA" | tail -1) in $DATA (velmora reads one file at a time if its device claims to rotate)"
fi

echo "preparing data in $DATA" >&2
mkdir "$DATA/one" "$DATA/many" "$DATA/mid" "$DATA/tree"
head -c 1073741824 /dev/urandom >"$DATA/one/big.bin"
python3 - "$DATA" <<'PY'
import os, sys
for i in range(16384):
    with open(os.path.join(sys.argv[1], "many", "f%05d.dat" % i), "wb") as f:
        f.write(os.urandom(4096))
for i in range(64):
    with open(os.path.join(sys.argv[1], "mid", "m%02d.bin" % i), "wb") as f:
        f.write(os.urandom(16 << 20))
# 20 000 directories of 5 small files, 200 to a parent.
for d in range(20000):
    path = os.path.join(sys.argv[1], "tree", "p%03d" % (d // 200), "d%05d" % d)
    os.makedirs(path)
    for i in range(5):
        with open(os.path.join(path, "x%d" % i), "wb") as f:
            f.write(os.urandom(100))
PY
# Into the page cache; the warm-up runs keep them there. The check runs need their lists.
cat "$DATA/one/big.bin" "$DATA"/mid/* "$DATA"/many/* >/dev/null
(cd "$DATA/one" && "$VELMORA" big.bin >/dev/null)
(cd "$DATA/mid" && "$VELMORA" '*.bin' >/dev/null)
# The same small files listed in their own case and in upper case, as Windows tools write them.
(cd "$DATA/many" && "$VELMORA" -f=exact.sfv '*.dat' >/dev/null && LC_ALL=C tr '[:lower:]' '[:upper:]' <exact.sfv >upper.sfv)


baseline_many=()
baseline_check=()
baseline_entries=()
# A ratio that is a target is timed with the runs of its commands interleaved
# (bench/interleave.py), twice as many: hyperfine runs one command's runs before the next's,
# and from one to the next this machine drifts by more than a target's margin.
interleaved() {
    local out=$1
    shift
    python3 "$ROOT/bench/interleave.py" "$WORK/$out" $((2 * RUNS)) "$WARMUP" "$@"
}
# velmora with the arguments given, beside the other commands and the baseline if there is one.
against() {
    local out=$1 args=$2
    shift 2
    local commands=("velmora" "$VELMORA $args" "$@")
    [[ -z "${BASELINE:-}" ]] || commands+=("baseline velmora" "$BASELINE $args")
    [[ ${#commands[@]} -gt 2 ]] || return 0
    interleaved "$out" "${commands[@]}"
}
if [[ -n "${BASELINE:-}" ]]; then
    baseline_many=(-n "baseline velmora" "$BASELINE -f=list.sfv *.dat")
    baseline_check=(-n "baseline velmora" "$BASELINE -c=dunel.sfv")
    baseline_entries=(-n "baseline velmora" "$BASELINE -o -c=list.sfv")
fi

echo "kernel throughput" >&2
"$KERNELS" --benchmark_min_time=0.2 --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true --benchmark_format=json \
    --benchmark_out="$WORK/kernels.json" --benchmark_out_format=json >/dev/null

echo "16384 files of 4 KiB" >&2
cd "$DATA/many"
hyperfine -N --warmup "$WARMUP" --runs "$RUNS" --export-json "$WORK/many.json" \
    -n "read floor, 1 thread" "$FLOORS read 1 ." \
    -n "read floor, 2 threads" "$FLOORS read 2 ." \
    -n "velmora build" "$VELMORA -f=list.sfv *.dat" \
    -n "velmora, one worker" "$SERIAL -f=list.sfv *.dat" \
    "${baseline_many[@]}" \
    -n "rhash --sfv" "rhash --sfv -r ." \
    -n "cksfv" "cksfv -R ." >&2
against many-paired.json "-f=list.sfv *.dat" \
    "read floor, 1 thread" "$FLOORS read 1 ." "read floor, 2 threads" "$FLOORS read 2 ."

echo "1 GiB file" >&2
cd "$DATA/one"
hyperfine -N --warmup "$WARMUP" --runs "$RUNS" --export-json "$WORK/one.json" \
    -n "mapped floor, 1 thread" "$FLOORS map 1 big.bin" \
    -n "mapped floor, 2 threads" "$FLOORS map 2 big.bin" \
    -n "velmora check" "$VELMORA -c=dunel.sfv" \
    -n "velmora, one worker" "$SERIAL -c=dunel.sfv" \
    "${baseline_check[@]}" \
    -n "7zz h -scrcCRC32" "7zz h -scrcCRC32 big.bin" \
    -n "rhash --crc32" "rhash --crc32 big.bin" \
    -n "cksfv" "cksfv big.bin" >&2
against one-paired.json "-c=dunel.sfv" "mapped floor, 2 threads" "$FLOORS map 2 big.bin"
"$VELMORA" -c=dunel.sfv | grep -q " OK!" || { echo "velmora check did not pass" >&2; exit 1; }

echo "64 files of 16 MiB" >&2
cd "$DATA/mid"
hyperfine -N --warmup "$WARMUP" --runs "$RUNS" --export-json "$WORK/mid.json" \
    -n "mapped floor, 2 threads" "$FLOORS mapeach 2 ." \
    -n "velmora check" "$VELMORA -c=dunel.sfv" \
    -n "velmora, one worker" "$SERIAL -c=dunel.sfv" \
    "${baseline_check[@]}" \
    -n "rhash --crc32" "rhash --crc32 -r ." >&2
against mid-paired.json "-c=dunel.sfv" "mapped floor, 2 threads" "$FLOORS mapeach 2 ."
[ "$("$VELMORA" -c=dunel.sfv | grep -c " OK!")" -eq 64 ] ||
    { echo "velmora check did not pass" >&2; exit 1; }

echo "16384 entries in another letter case" >&2
cd "$DATA/many"
hyperfine -N --warmup "$WARMUP" --runs "$RUNS" --export-json "$WORK/case.json" \
    -n "velmora, exact-case list" "$VELMORA -c=exact.sfv" \
    -n "velmora, upper-case list" "$VELMORA -c=upper.sfv" >&2
[ "$("$VELMORA" -c=upper.sfv | grep -c " OK!")" -eq 16384 ] ||
    { echo "velmora check of the upper-case list did not pass" >&2; exit 1; }

# One name per file, as a POSIX shell hands over an unquoted pattern; too long a command line
# for hyperfine -N, so both commands run through sh, whose start hyperfine subtracts.
echo "16384 literal names" >&2
hyperfine --shell=sh --warmup "$WARMUP" --runs "$RUNS" --export-json "$WORK/literal.json" \
    -n "velmora '*'" "'$VELMORA' -f=list.sfv '*'" \
    -n "velmora f*.dat, expanded by sh" "'$VELMORA' -f=list.sfv f*.dat" >&2
"$VELMORA" -f=list.sfv f*.dat | grep -q "(16384 files processed)" ||
    { echo "velmora build of the literal names did not list them all" >&2; exit 1; }

echo "20 000 directories of 5 small files" >&2
cd "$DATA/tree"
interleaved tree.json "velmora -r" "$VELMORA -r -f=list.sfv x*" \
    "velmora -r, one worker" "$SERIAL -r -f=list.sfv x*"

# A check of 100 000 entries of 100 bytes with its report in a file (-o), where each line is
# written out as soon as it is complete: the writes must cost little beside the reads.
echo "100 000 entries of 100 B" >&2
mkdir "$DATA/entries" && cd "$DATA/entries"
python3 - <<'PY'
import os, zlib
with open("list.sfv", "w", newline="") as sfv:
    for i in range(100000):
        data = os.urandom(100)
        with open("e%06d.dat" % i, "wb") as f:
            f.write(data)
        sfv.write("e%06d.dat %08X\r\n" % (i, zlib.crc32(data)))
PY
hyperfine -N --warmup "$WARMUP" --runs "$RUNS" --export-json "$WORK/entries.json" \
    -n "velmora check" "$VELMORA -o -c=list.sfv" \
    "${baseline_entries[@]}" >&2
against entries-paired.json "-o -c=list.sfv"
"$VELMORA" -o -c=list.sfv && [ "$(grep -c " OK!" dunout.txt)" -eq 100000 ] ||
    { echo "velmora check of 100 000 entries did not pass" >&2; exit 1; }

# Holes are never read: a sparse 100 GiB file with 1 MiB of data in the middle. Peers read
# all of it (minutes), so only velmora is timed.
echo "sparse 100 GiB file" >&2
mkdir "$DATA/sparse" && cd "$DATA/sparse"
truncate -s 50G s.bin && head -c 1048576 /dev/urandom >>s.bin && truncate -s 100G s.bin
"$VELMORA" s.bin >/dev/null
hyperfine -N --warmup "$WARMUP" --runs "$RUNS" --export-json "$WORK/sparse.json" \
    -n "velmora check" "$VELMORA -c=dunel.sfv" >&2
[ "$(rhash --crc32 --simple s.bin | cut -c1-8)" = "$(tail -c 10 dunel.sfv | tr -d '\r\n' | tr A-F a-f)" ] ||
    { echo "velmora's CRC of the sparse file is not rhash's" >&2; exit 1; }

# Most virtual disks claim to rotate; data already in memory must not be read one file at a
# time for that. The same loop device, marked rotational.
PENALTY=""
if [ -n "$LOOP" ]; then
    echo "on a device that claims a seek penalty" >&2
    echo 1 >"/sys/block/${LOOP#/dev/}/queue/rotational"
    cd "$DATA/many"
    interleaved penalty.json "velmora build, seek penalty" "$VELMORA -f=list.sfv *.dat" \
        "read floor, 2 threads" "$FLOORS read 2 ." \
        "velmora check of 1 GiB, seek penalty" "$VELMORA -c=../one/dunel.sfv" \
        "mapped floor, 2 threads" "$FLOORS map 2 ../one/big.bin"
    echo 0 >"/sys/block/${LOOP#/dev/}/queue/rotational"
    PENALTY=$WORK/penalty.json
fi

# Cold data and devices that seek (root only: the page cache is dropped before every run, and
# the seeking disk is a FUSE file system). The machine's own disk is the one under
# $COLD_DIR (default /var/tmp), whatever it claims; the seeking disk is bench/seekfs.py.
COLD=""
if [ "$(id -u)" -eq 0 ] && [ -w /proc/sys/vm/drop_caches ]; then
    COLD=$(mktemp -d "${COLD_DIR:-/var/tmp}/velmora-cold.XXXXXX")
    trap 'cleanup; fusermount -u "$COLD/seek/mnt" 2>/dev/null; rm -rf "$COLD"' EXIT INT TERM
    drop='sync; echo 3 > /proc/sys/vm/drop_caches'
    echo "cold, on $(df --output=source "$COLD" | tail -1)" >&2
    mkdir "$COLD/many" "$COLD/one"
    cp "$DATA"/many/f*.dat "$COLD/many/"
    cp "$DATA/one/big.bin" "$DATA/one/dunel.sfv" "$COLD/one/"
    cd "$COLD/many"
    # Interleaved too: the disk's own speed drifts more from one minute to the next.
    cold() {
        local out=$1
        shift
        python3 "$ROOT/bench/interleave.py" --prepare "$drop" "$WORK/$out" $((2 * RUNS)) 0 "$@"
    }
    cold cold-many.json "read floor, 1 thread" "$FLOORS read 1 ." \
        "read floor, 8 threads" "$FLOORS read 8 ." "velmora build" "$VELMORA -f=list.sfv *.dat"
    cd "$COLD/one"
    cold cold-one.json "mapped floor, 1 thread" "$FLOORS map 1 big.bin" \
        "mapped floor, 2 threads" "$FLOORS map 2 big.bin" \
        "mapped floor, 8 threads" "$FLOORS map 8 big.bin" "velmora check" "$VELMORA -c=dunel.sfv"
    # 2000 files of 16 KiB on a disk that seeks, one after the other in name order; the
    # list beside it. One file at a time is the floor there.
    if python3 -c 'import fusepy' 2>/dev/null || /usr/bin/python3 -c 'import fusepy' 2>/dev/null; then
        mkdir -p "$COLD/seek/src" "$COLD/seek/mnt"
        /usr/bin/python3 - "$COLD/seek/src" <<'PY'
import os, sys
for i in range(2000):
    with open(os.path.join(sys.argv[1], "s%04d.dat" % i), "wb") as f:
        f.write(os.urandom(16384))
PY
        (cd "$COLD/seek/src" && "$VELMORA" -f=list.sfv '*.dat' >/dev/null &&
            sed 's|^s|mnt/s|' list.sfv >../list.sfv && rm list.sfv)
        /usr/bin/python3 "$ROOT/bench/seekfs.py" "$COLD/seek/src" "$COLD/seek/mnt" &
        for _ in $(seq 50); do [ -e "$COLD/seek/mnt/s0000.dat" ] && break; sleep 0.1; done
        cd "$COLD/seek"
        # Warm-up runs: the file system's own program was just dropped from memory with the rest.
        python3 "$ROOT/bench/interleave.py" "$WORK/seek.json" $((2 * RUNS)) 2 \
            "read floor, 1 thread" "$FLOORS read 1 mnt" "velmora check" "$VELMORA -c=list.sfv" \
            "velmora check, one worker" "$SERIAL -c=list.sfv"
        [ "$("$VELMORA" -c=list.sfv | grep -c " OK!")" -eq 2000 ] ||
            { echo "velmora check on the seeking disk did not pass" >&2; exit 1; }
        fusermount -u "$COLD/seek/mnt"
    fi
fi
# 3000 folders of 5 small files in memory (tmpfs, where there is one): all processors against
# one. On a disk each list's rename waits on its journal, which is what that row would time.
FOLDERS=$WORK/folders
[ -d /dev/shm ] && FOLDERS=/dev/shm/$(basename "$WORK").folders
mkdir "$FOLDERS" && cd "$FOLDERS"
python3 - <<'PY'
import os
for d in range(3000):
    os.makedirs("d%04d" % d)
    for i in range(5):
        with open(os.path.join("d%04d" % d, "x%d" % i), "wb") as f:
            f.write(os.urandom(100))
PY
interleaved folders.json "velmora -r" "$VELMORA -r -f=list.sfv x*" \
    "velmora -r on one processor" "taskset -c 0 $VELMORA -r -f=list.sfv x*"

# Peak resident memory of the 1 GiB check: a few pieces, not the file.
RSS_KIB=$(cd "$DATA/one" && python3 -c '
import resource, subprocess, sys
subprocess.run([sys.argv[1], "-c=dunel.sfv"], stdout=subprocess.DEVNULL, check=True)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)' "$VELMORA")

python3 - "$WORK" "$RUNS" "$STORAGE" "$PENALTY" "$RSS_KIB" "$COLD" <<'PY'
import json, os, platform, statistics, sys
work, runs, storage, penalty, rss_kib, cold = sys.argv[1:7]

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

def results(*names):
    """Median per command of the runs in the named files, pooled."""
    times = {}
    for name in names:
        with open(os.path.join(work, name)) as f:
            for r in json.load(f)["results"]:
                times.setdefault(r["command"], []).extend(r["times"])
    return {command: statistics.median(t) for command, t in times.items()}

print("Machine: %s, %d logical CPUs, %.0f GiB RAM, Linux %s; data on %s; load average at "
      "the end %s." % (cpu_model(), os.cpu_count(), mem_gib(), platform.release(), storage,
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

workloads = [("build, 16384 × 4 KiB", results("many.json"), "velmora build"),
             ("check, one 1 GiB file", results("one.json"), "velmora check"),
             ("check, 64 × 16 MiB", results("mid.json"), "velmora check"),
             ("check, 16384 × 4 KiB by name", results("case.json"), "velmora, upper-case list"),
             ("build, 16384 × 4 KiB by name", results("literal.json"),
              "velmora f*.dat, expanded by sh"),
             ("build, 20 000 directories × 5 files", results("tree.json"),
              "velmora -r"),
             ("check, sparse 100 GiB file", results("sparse.json"), "velmora check"),
             ("check, 100 000 × 100 B, report in a file", results("entries.json"), "velmora check")]
if penalty:
    workloads.append(("seek penalty, page-cached", results("penalty.json"),
                      "velmora build, seek penalty"))
workloads.append(("build, 3000 folders × 5 files in memory",
                  results("folders.json"),
                  "velmora -r"))
for name, title, ours in (("cold-many.json", "cold build, 16384 × 4 KiB", "velmora build"),
                          ("cold-one.json", "cold check, one 1 GiB file", "velmora check"),
                          ("seek.json", "check, 2000 × 16 KiB on a disk that seeks",
                           "velmora check")):
    if cold and os.path.exists(os.path.join(work, name)):
        workloads.append((title, results(name), ours))
print("| Workload | Command | Median | velmora ÷ it |")
print("|---|---|---:|---:|")
for workload, medians, ours in workloads:
    for name, median in medians.items():
        print("| %s | %s | %.1f ms | %.2f |" % (workload, name, median * 1e3,
                                               medians[ours] / median))
print()
print("Medians of %s runs after 3 warm-up runs each (hyperfine; no shell but for the literal "
      "names), but for the rows of directories, folders, seek penalty, cold data and the "
      "seeking disk, and the targets marked interleaved: %d runs of each command in turn "
      "(the cold ones after the page cache is dropped, without warm-up)." % (runs, 2 * int(runs)))
print()

many, case, literal, tree = (workloads[i][1] for i in (0, 3, 4, 5))
many_pair, one_pair, mid_pair = (results(n + "-paired.json") for n in ("many", "one", "mid"))
targets = [
    ("build of 16384 × 4 KiB ÷ the better read floor, interleaved",
     many_pair["velmora"] / min(many_pair["read floor, 1 thread"],
                                many_pair["read floor, 2 threads"]), 1.15),
    ("build of 16384 × 4 KiB ÷ rhash --sfv", many["velmora build"] / many["rhash --sfv"], 0.4),
    ("check of 1 GiB ÷ two-thread mapped floor, interleaved",
     one_pair["velmora"] / one_pair["mapped floor, 2 threads"], 1.1),
    ("check of 64 × 16 MiB ÷ two-thread mapped floor, interleaved",
     mid_pair["velmora"] / mid_pair["mapped floor, 2 threads"], 1.2),
    ("check of 16384 upper-case entries ÷ exact case",
     case["velmora, upper-case list"] / case["velmora, exact-case list"], 1.5),
    ("build of 16384 literal names ÷ '*'",
     literal["velmora f*.dat, expanded by sh"] / literal["velmora '*'"], 2.0),
    ("build of 20 000 directories ÷ one worker",
     tree["velmora -r"] / tree["velmora -r, one worker"], 1.05),
]
if penalty:
    seek = results("penalty.json")
    targets += [
        ("build of 16384 × 4 KiB, seek penalty ÷ two-thread read floor",
         seek["velmora build, seek penalty"] / seek["read floor, 2 threads"], 1.3),
        ("check of 1 GiB, seek penalty ÷ two-thread mapped floor",
         seek["velmora check of 1 GiB, seek penalty"] / seek["mapped floor, 2 threads"], 1.15),
    ]
for label, stem in (("build of 16384 × 4 KiB", "many"), ("check of 1 GiB", "one"),
                    ("check of 64 × 16 MiB", "mid"),
                    ("check of 100 000 × 100 B, report in a file,", "entries")):
    pair = results(stem + "-paired.json") if os.path.exists(
        os.path.join(work, stem + "-paired.json")) else {}
    if "baseline velmora" in pair:
        targets.append(("%s ÷ baseline, interleaved" % label,
                        pair["velmora"] / pair["baseline velmora"], 1.05))
print("Peak resident memory of the 1 GiB check: %.1f MiB." % (int(rss_kib) / 1024))
print()
print("| Target | Measured | Goal | Holds |")
print("|---|---:|---:|---|")
folders = results("folders.json")
targets.append(("build of 3000 folders in memory ÷ one processor",
                folders["velmora -r"] / folders["velmora -r on one processor"], 1.05))
if cold and os.path.exists(os.path.join(work, "cold-many.json")):
    cm, co = results("cold-many.json"), results("cold-one.json")
    targets += [
        ("cold build of 16384 × 4 KiB ÷ eight readers",
         cm["velmora build"] / cm["read floor, 8 threads"], 1.3),
        ("cold check of 1 GiB ÷ the best mapped floor",
         co["velmora check"] / min(v for k, v in co.items() if k.startswith("mapped")), 1.1),
    ]
if cold and os.path.exists(os.path.join(work, "seek.json")):
    sk = results("seek.json")
    targets.append(("check on a disk that seeks ÷ one file at a time",
                    sk["velmora check"] / sk["read floor, 1 thread"], 1.1))
for name, value, goal in targets:
    print("| %s | %.2f | <= %s | %s |" % (name, value, goal, "yes" if value <= goal else "no"))
PY
