#!/usr/bin/env bash
# The folders of src/ are layers, bottom up; a file includes headers of its own folder and of
# those below it only, so no two layers need each other. Only src/platform names an operating
# system. Prints each breach and exits non-zero on any.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../src"

LAYERS=(common platform checksum report sfv check cli)
declare -A rank
for i in "${!LAYERS[@]}"; do
    rank[${LAYERS[$i]}]=$i
done

# What names an operating system: its macros and its headers.
OS_NAMES='_WIN32|_MSC_VER|__linux__|__APPLE__|__FreeBSD__|__unix__'
OS_NAMES+='|#[[:space:]]*include[[:space:]]*<((windows|unistd|fcntl|pthread)\.h|sys/)'

status=0
while IFS= read -r file; do
    folder=${file%%/*}
    if [[ -z "${rank[$folder]+set}" ]]; then
        echo "layers: $file is in no layer (add $folder to LAYERS in tools/layers.sh)"
        status=1
        continue
    fi
    while IFS= read -r target; do
        if [[ -z "${rank[$target]+set}" || ${rank[$target]} -gt ${rank[$folder]} ]]; then
            echo "layers: $file includes $target/, above $folder/"
            status=1
        fi
    done < <(sed -n 's|^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^/"]*\)/.*|\1|p' "$file")
    if [[ $folder != platform ]] && grep -nE "$OS_NAMES" "$file"; then
        echo "layers: $file names an operating system, which only platform/ may"
        status=1
    fi
done < <(find . -name '*.h' -o -name '*.cpp' | sed 's|^\./||' | sort)

((status == 0)) && echo "layers: every include points down"
exit $status
