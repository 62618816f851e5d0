#!/usr/bin/env bash
# Builds Velmora and runs its main job on a copy of samples/: build SFV files for the whole
# tree, then check one of them. The repository's own files are left unchanged.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need_build_tools
cmake --preset default -DVELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build --preset default -j2
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp -r "$ROOT/samples" "$work/samples"
cd "$work"
echo "== Building SFV files for a copy of samples/ (recursive, all files)"
"$ROOT/build/velmora" -r -p=samples '*.*'
echo "== The SFV file written for samples/album:"
cat samples/album/dunel.sfv
echo
echo "== Checking it"
"$ROOT/build/velmora" -c='samples\album\dunel.sfv'
