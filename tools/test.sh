#!/usr/bin/env bash
# Builds Velmora and runs every check: first the native unit and end-to-end suites (seconds, so a
# broken change shows at once), then static analysis, the suites under the sanitizers
# (ThreadSanitizer on its own, with four workers), bounded fuzzing, packaging, the suites of
# other processor families, the Windows program under Wine, and the builds for Windows on ARM64
# and macOS, which nothing here can run. Every stage runs whatever the others gave; the run
# ends with one line per stage and a non-zero status if any failed.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need_test_tools
cd "$ROOT"

verdicts=()
failed=0
# stage NAME COMMAND...: runs the command, notes whether it passed and how long it took.
stage() {
    local name=$1 start=$SECONDS status=0
    shift
    printf '\n==== %s\n' "$name"
    "$@" || status=$?
    local took=$((SECONDS - start))
    if ((status == 0)); then
        verdicts+=("$(printf 'passed  %4ds  %s' "$took" "$name")")
    else
        verdicts+=("$(printf 'FAILED  %4ds  %s (status %d)' "$took" "$name" "$status")")
        failed=1
    fi
}

native_build() {
    cmake --preset default -DVELMORA_BUILD_TESTS=ON && cmake --build --preset default -j2
}

stage "native build" native_build
stage "native unit and end-to-end suites" ctest --preset default
stage "static checks" bash tools/static-checks.sh
stage "sanitizers" bash tools/sanitize.sh
stage "thread sanitizer, four workers" bash tools/tsan.sh
stage "fuzzing (bounded)" bash tools/fuzz.sh "${VELMORA_FUZZ_SECONDS:-30}"
stage "packaging" bash tools/package-check.sh
stage "other processor families (aarch64, s390x, i686)" bash tools/test-cross.sh
stage "Windows program under Wine" bash tools/test-windows.sh
stage "ports built with Zig (Windows on ARM64, macOS)" bash tools/test-ports.sh

printf '\n==== verdicts\n'
printf '%s\n' "${verdicts[@]}"
if ((failed)); then
    echo "test.sh: FAILED"
    exit 1
fi
echo "test.sh: every stage passed"
