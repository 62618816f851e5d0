#!/usr/bin/env bash
# Checks what a Unix user installs: the manual page passes mandoc's lint, the Debian package
# holds exactly the program, its manual page and the copyright file and its program runs, and
# `cmake --install` of the native build gives exactly the program and its manual page.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need_build_tools
need_packages mandoc:mandoc dpkg-shlibdeps:dpkg-dev file:file man:man-db
cd "$ROOT"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "package check: $*" >&2; exit 1; }

echo "== manual page"
cmake --preset deb >/dev/null
mandoc -T lint build-deb/man/velmora.1 >"$work/lint" 2>&1 || true
if [[ -s "$work/lint" ]]; then
    cat "$work/lint" >&2
    fail "mandoc -T lint reports the lines above"
fi
echo "mandoc -T lint: clean"

echo "== Debian package"
cmake --build --preset deb -j2 >/dev/null
rm -f build-deb/*.deb
cpack --preset deb >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-deb/CMakeCache.txt)"
deb="build-deb/velmora_${version}_$(dpkg --print-architecture).deb"
[[ -f "$deb" ]] || fail "cpack made no $deb (made: $(ls build-deb/*.deb 2>/dev/null))"
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./||; s|/$||' | sort >"$work/contents"
printf '%s\n' usr usr/bin usr/bin/velmora usr/share usr/share/doc usr/share/doc/velmora \
    usr/share/doc/velmora/copyright usr/share/doc/velmora/changelog.gz usr/share/man \
    usr/share/man/man1 \
    usr/share/man/man1/velmora.1.gz | sort >"$work/expected"
diff -u "$work/expected" "$work/contents" || fail "$deb holds other paths than expected"
# Debian's changelog format, the package's own version at its head.
zcat <(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/velmora/changelog.gz) |
    head -n 1 | grep -qx "velmora ($version) unstable; urgency=medium" ||
    fail "$deb has no changelog for version $version"
# man heads the page as a general command's, not a BSD one's.
man -l build-deb/man/velmora.1 2>/dev/null | head -n 1 | grep -q "  General Commands Manual  " ||
    fail "man heads the manual page otherwise: $(man -l build-deb/man/velmora.1 | head -n 1)"
depends="$(dpkg-deb -f "$deb" Depends)"
[[ -n "$depends" ]] || fail "$deb has no Depends"
echo "$deb: expected contents; Depends: $depends"

# The unpacked program prints the help screen, as the end-to-end suite expects it.
dpkg -x "$deb" "$work/root"
"$work/root/usr/bin/velmora" -h | cmp - tests/e2e/data/help.txt || fail "the packaged program prints another help screen"
[[ -f build/CMakeCache.txt ]] || cmake --preset default -DVELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build --preset default -j2 --target velmora >/dev/null
zcat "$work/root/usr/share/man/man1/velmora.1.gz" | cmp - build-deb/man/velmora.1 ||
    fail "the packaged manual page differs from the configured one"
echo "unpacked program: help screen as expected"

echo "== cmake --install"
cmake --install build --prefix "$work/prefix" >/dev/null
(cd "$work/prefix" && find . -type f | sed 's|^\./||' | sort) >"$work/installed"
printf '%s\n' bin/velmora share/man/man1/velmora.1 >"$work/expected"
diff -u "$work/expected" "$work/installed" || fail "cmake --install gives other files than expected"
"$work/prefix/bin/velmora" -h | cmp - tests/e2e/data/help.txt || fail "the installed program differs"
echo "cmake --install: bin/velmora and share/man/man1/velmora.1"
echo "package check passed"
