#!/usr/bin/env bash
# Builds velmora.exe with mingw-w64 and runs the unit and end-to-end suites against the
# Windows build under Wine. Installs what is missing with apt-get when running as root;
# otherwise prints one "Windows suite skipped: <why>" line and exits 0.
# Exit status: non-zero when a suite failed.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
JOBS=2

skip() {
    echo "Windows suite skipped: $1"
    exit 0
}

want_packages x86_64-w64-mingw32-g++-posix:g++-mingw-w64-x86-64-posix "$WINE:wine64" \
    /usr/src/googletest/CMakeLists.txt:googletest /usr/include/gtest/gtest.h:libgtest-dev \
    cmake:cmake g++:g++ make:make || skip "$WHY_NOT"

cd "$ROOT"
echo "Building velmora.exe and its unit tests (preset mingw) ..."
cmake --preset mingw -DVELMORA_WINDOWS_UNIT_TESTS=ON >/dev/null
cmake --build --preset mingw -j"$JOBS"
EXE="$ROOT/build-mingw/velmora.exe"
UNIT="$ROOT/build-mingw/velmora_unit.exe"

# The end-to-end suite is a native program; it runs the .exe through Wine.
echo "Building the native end-to-end suite (preset default) ..."
[[ -f build/CMakeCache.txt ]] || cmake --preset default >/dev/null
cmake --build --preset default -j"$JOBS" --target velmora_e2e
E2E="$ROOT/build/tests/velmora_e2e"

# A throw-away Wine prefix, never the user's own; no window system, no add-on installers.
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/velmora-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes its code page from the locale: this one gives code page 1252, which the tests of
# names outside the code page expect, and UTF-8 file names on the Linux side.
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
# The rows of double-byte names run with a Japanese locale, which gives code page 932; it is
# generated here, as the system may have none.
LOCALES=$(mktemp -d "${TMPDIR:-/tmp}/velmora-locales.XXXXXX")
cleanup() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX" "$LOCALES"
}
trap cleanup EXIT
CP932_RUNNER=""
if localedef -i ja_JP -f UTF-8 "$LOCALES/ja_JP.UTF-8" >/dev/null 2>&1; then
    CP932_RUNNER="$(command -v env) LOCPATH=$LOCALES LC_ALL=ja_JP.UTF-8 $WINE"
else
    echo "No ja_JP locale could be made (package locales): the rows under code page 932 are skipped."
fi

echo "Preparing the Wine prefix ..."
# One server for the whole run instead of one start-up per test.
"$WINESERVER" -p
"$WINE" wineboot -i >/dev/null 2>&1

status=0
echo "Running the unit tests of the Windows build under Wine ..."
"$WINE" "$UNIT" || status=1
echo "Running the end-to-end suite against $EXE under Wine ..."
VELMORA_BIN="$EXE" VELMORA_SERIAL_BIN="$ROOT/build-mingw/velmora_serial.exe" \
    VELMORA_PARALLEL_BIN="$ROOT/build-mingw/velmora_parallel.exe" VELMORA_TARGET=windows VELMORA_RUNNER="$WINE" \
    VELMORA_RUNNER_CP932="$CP932_RUNNER" VELMORA_REPORT_CRLF=1 "$E2E" || status=1
if [[ $status -eq 0 ]]; then
    echo "Windows suite passed."
else
    echo "Windows suite FAILED."
fi
exit "$status"
