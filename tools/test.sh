#!/usr/bin/env bash
# Builds Velmora and runs the whole test suite (unit and end-to-end).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need_test_tools
cd "$ROOT"
cmake --preset default -DVELMORA_BUILD_TESTS=ON
cmake --build --preset default -j2
ctest --preset default
