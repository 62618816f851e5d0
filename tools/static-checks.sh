#!/usr/bin/env bash
# Static checks over src/: the layers' includes (tools/layers.sh), clang-tidy with the
# checked-in .clang-tidy (every warning is an error) over the compile commands of a clang
# configuration, then cppcheck. Exits non-zero on any finding.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need_build_tools
need_packages clang++:clang run-clang-tidy:clang-tidy cppcheck:cppcheck
cd "$ROOT"

cmake -S . -B build-tidy -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_FUZZ=OFF >/dev/null

status=0
echo "static-checks: layers"
bash tools/layers.sh || status=1

echo "static-checks: clang-tidy"
run-clang-tidy -p build-tidy -j 2 -quiet "$PWD/src/.*" >build-tidy/clang-tidy.log 2>&1 || status=1
if grep -E '(warning|error):' build-tidy/clang-tidy.log; then
    status=1
fi
((status == 0)) || echo "static-checks: clang-tidy reported findings (build-tidy/clang-tidy.log)"

# Suppressed: useStlAlgorithm (the conventions ask for plain loops), unusedFunction (some
# functions serve only the tests and benchmarks), missingIncludeSystem (system headers are
# not analysed), constParameter in the POSIX layer (release_hold's stream is compared with the
# table's non-const FILE pointers; making it const changes nothing).
echo "static-checks: cppcheck"
cppcheck --enable=warning,style,performance,portability,unusedFunction --std=c++20 \
    --inline-suppr --error-exitcode=1 -q \
    --suppress=useStlAlgorithm --suppress=unusedFunction --suppress=missingIncludeSystem \
    --suppress="constParameter:src/platform/posix/files_posix.cpp" \
    --project=build-tidy/compile_commands.json || status=1

if ((status != 0)); then
    echo "static-checks: FAILED"
    exit 1
fi
echo "static-checks: clean"
