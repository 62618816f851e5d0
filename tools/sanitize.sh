#!/usr/bin/env bash
# Builds the unit and end-to-end suites with AddressSanitizer, UndefinedBehaviorSanitizer and
# LeakSanitizer (preset "asan") and runs them; the end-to-end tests run the sanitized program.
# Any sanitizer report fails the run: the reporting process exits non-zero, and every report
# is also written under build-asan/logs/ (see the asan test preset), which this script
# checks afterwards so that a report from a child whose status no test looks at still counts.
# The preset leaves out UBSan's vptr check: the program has no polymorphic types of its own,
# and the only checks land in the standard library's thread start, where under a descriptor
# limit the runtime cannot test the memory it reads (it needs a pipe) and reports a false error.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need_test_tools
need_clang_runtime asan
cd "$ROOT"

cmake --preset asan
cmake --build --preset asan -j2
rm -rf build-asan/logs
# Open to all: run by root, the end-to-end tests and the program they start run as nobody.
mkdir -m 1777 build-asan/logs

status=0
ctest --preset asan -j2 || status=$?

shopt -s nullglob
logs=(build-asan/logs/*)
if ((${#logs[@]} > 0)); then
    echo "sanitize: ${#logs[@]} sanitizer report(s):"
    for log in "${logs[@]}"; do
        echo "---- $log"
        cat "$log"
    done
    status=1
fi
if ((status != 0)); then
    echo "sanitize: FAILED"
    exit "$status"
fi
echo "sanitize: clean"
