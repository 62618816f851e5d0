#!/usr/bin/env bash
# Builds Velmora and runs every check: first the native unit and end-to-end suites (seconds, so a
# broken change fails at once), then static analysis, the suites under the sanitizers
# (ThreadSanitizer on its own, with four workers), bounded fuzzing, packaging, the suites of
# other processor families and the Windows program under Wine. Any failure stops the run with a
# non-zero status.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need_test_tools
cd "$ROOT"

stage() { printf '\n==== %s\n' "$1"; }

stage "native build"
cmake --preset default -DVELMORA_BUILD_TESTS=ON
cmake --build --preset default -j2
stage "native unit and end-to-end suites"
ctest --preset default
stage "static checks"
bash tools/static-checks.sh
stage "sanitizers"
bash tools/sanitize.sh
stage "thread sanitizer, four workers"
bash tools/tsan.sh
stage "fuzzing (bounded)"
bash tools/fuzz.sh "${VELMORA_FUZZ_SECONDS:-30}"
stage "packaging"
bash tools/package-check.sh
stage "other processor families (aarch64, s390x, i686)"
bash tools/test-cross.sh
stage "Windows program under Wine"
bash tools/test-windows.sh
