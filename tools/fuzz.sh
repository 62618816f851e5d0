#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang) and runs each one for a bounded time on
# top of its seed corpus in fuzz/corpus/<target>/. Any crash, sanitizer report, leak, timeout
# or out-of-memory fails the run; the input that caused it is kept in build-fuzz/artifacts/.
#   tools/fuzz.sh            30 seconds per target (what CI runs: 90 s for the three)
#   tools/fuzz.sh 3600       a longer run: one hour per target
#   tools/fuzz.sh 60 fuzz_sfv_reader   one target only
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need_build_tools
need_clang_runtime fuzzer asan
cd "$ROOT"

seconds="${1:-30}"
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
    targets=(fuzz_sfv_reader fuzz_options fuzz_crc_kernels)
fi

cmake --preset fuzz
cmake --build --preset fuzz -j2

artifacts=build-fuzz/artifacts
rm -rf "$artifacts"
mkdir -p "$artifacts"
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

failed=0
summary=()
for target in "${targets[@]}"; do
    # New inputs go to a scratch corpus; the checked-in seeds stay as they are.
    work="build-fuzz/corpus/$target"
    mkdir -p "$work"
    max_len=4096
    # Room for a few lines past the reader's 4095-character buffer.
    [[ "$target" == fuzz_sfv_reader ]] && max_len=12000
    log="build-fuzz/$target.log"
    status=0
    # -close_fd_mask=1: the banners print to /dev/null, not into the log.
    "build-fuzz/fuzz/$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
        -close_fd_mask=1 \
        "$work" "fuzz/corpus/$target" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    if ((status != 0)) || compgen -G "$artifacts/$target-*" >/dev/null; then
        echo "fuzz: $target FAILED (exit $status) after ${runs:-?} runs; log $log:"
        tail -40 "$log"
        failed=1
    fi
    summary+=("$target: ${runs:-?} runs in ${seconds}s, exit $status")
done

printf 'fuzz: %s\n' "${summary[@]}"
if ((failed)); then
    echo "fuzz: FAILED"
    exit 1
fi
echo "fuzz: no finding"
