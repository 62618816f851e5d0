#!/bin/sh
# Builds velmora.exe with mingw-w64 and runs the end-to-end suite against it under Wine.
# Installs the cross compiler and Wine with apt-get when they are missing and this runs as
# root; otherwise prints one "Windows suite skipped: <why>" line and exits 0.
# Exit status: that of the end-to-end suite (0 when every test passed).
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
CXX_CROSS=x86_64-w64-mingw32-g++-posix
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
PACKAGES="g++-mingw-w64-x86-64-posix wine64"
JOBS=2

skip() {
    echo "Windows suite skipped: $1"
    exit 0
}

have_tools() {
    command -v "$CXX_CROSS" >/dev/null 2>&1 && [ -x "$WINE" ] && [ -x "$WINESERVER" ]
}

if ! have_tools; then
    [ "$(id -u)" -eq 0 ] || skip "$PACKAGES not installed and not running as root to install them"
    command -v apt-get >/dev/null 2>&1 || skip "$PACKAGES not installed and apt-get not available"
    echo "Installing $PACKAGES ..."
    export DEBIAN_FRONTEND=noninteractive
    if ! { apt-get update -qq && apt-get install -y -qq --no-install-recommends $PACKAGES; } \
        >/tmp/velmora-apt.$$.log 2>&1; then
        tail -n 5 /tmp/velmora-apt.$$.log
        rm -f /tmp/velmora-apt.$$.log
        skip "apt-get could not install $PACKAGES"
    fi
    rm -f /tmp/velmora-apt.$$.log
    have_tools || skip "$PACKAGES installed but $CXX_CROSS or $WINE still missing"
fi

cd "$ROOT"
echo "Building velmora.exe (preset mingw) ..."
cmake --preset mingw >/dev/null
cmake --build --preset mingw -j"$JOBS"
EXE="$ROOT/build-mingw/velmora.exe"

# The suite itself is a native program; it runs the .exe through Wine.
E2E="$ROOT/build/tests/velmora_e2e"
if [ ! -x "$E2E" ]; then
    echo "Building the native end-to-end suite (preset default) ..."
    cmake --preset default >/dev/null
fi
cmake --build --preset default -j"$JOBS" --target velmora_e2e

# A throw-away Wine prefix, never the user's own; no window system, no add-on installers.
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/velmora-wine.XXXXXX")
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

echo "Preparing the Wine prefix ..."
# One server for the whole suite instead of one start-up per test.
"$WINESERVER" -p
"$WINE" wineboot -i >/dev/null 2>&1

echo "Running the end-to-end suite against $EXE under Wine ..."
status=0
VELMORA_BIN="$EXE" VELMORA_RUNNER="$WINE" VELMORA_REPORT_CRLF=1 "$E2E" || status=$?
exit "$status"
