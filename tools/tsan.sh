#!/usr/bin/env bash
# Builds the unit and end-to-end suites with ThreadSanitizer (preset "tsan") and runs them; the
# end-to-end tests run velmora_parallel, so every row computes its checksums on four workers.
# Any report fails the run: every process writes its reports under build-tsan/tsan-logs/ (see
# the tsan test preset), which this script checks afterwards, since most fault rows never look
# at the exit status of the program they start.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need_test_tools
need_clang_runtime tsan
# llvm-symbolizer: reports name functions and lines instead of bare addresses.
need_packages llvm-symbolizer:llvm setarch:util-linux
cd "$ROOT"

cmake --preset tsan
cmake --build --preset tsan -j2

logs=build-tsan/tsan-logs
rm -rf "$logs"
# Open to all: run by root, the end-to-end tests and the program they start run as nobody.
mkdir -m 1777 "$logs"

# The preset's TSAN_OPTIONS keep going after a report (halt_on_error=0), so one run names every
# race it meets. GTEST_DEATH_TEST_STYLE=threadsafe: a death test starts the suite afresh rather
# than forking a process that may already run threads, whose child ThreadSanitizer would end
# as soon as it starts one (die_after_fork); the harness's children only exec, so that stays on.
status=0
# Address randomisation off for the run and its children: ThreadSanitizer 14 can stop with
# "unexpected memory mapping" where vm.mmap_rnd_bits is above 28 (28, as here, works without).
# Per process, unlike lowering that setting, so the machine stays as it is.
setarch "$(uname -m)" -R ctest --preset tsan -j2 || status=$?

shopt -s nullglob
found=("$logs"/*)
if ((${#found[@]} > 0)); then
    echo "tsan: ${#found[@]} report file(s); what they found:"
    cat "${found[@]}" | grep -h '^SUMMARY: ThreadSanitizer' | sort | uniq -c | sort -rn || true
    # Each distinct set of findings once in full; the rest repeat it.
    declare -A shown=()
    for log in "${found[@]}"; do
        key=$(grep '^SUMMARY' "$log" | sort -u | tr '\n' '|' || true)
        [[ -n "${shown[$key]+x}" ]] && continue
        shown[$key]=1
        echo "---- $log"
        cat "$log"
    done
    status=1
fi
if ((status != 0)); then
    echo "tsan: FAILED"
    exit "$status"
fi
echo "tsan: clean"
