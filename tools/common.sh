# Shared set-up for the tool scripts: finds the repository and installs what is missing.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export ROOT

# need_packages "cmd:package" ...: each command (or file, when it starts with /) must exist;
# missing ones are installed with apt-get when running as root, otherwise named and fatal.
need_packages() {
    local missing=()
    local item what pkg
    for item in "$@"; do
        what="${item%%:*}"
        pkg="${item#*:}"
        if [[ "$what" == /* ]]; then
            [[ -e "$what" ]] || missing+=("$pkg")
        else
            command -v "$what" >/dev/null 2>&1 || missing+=("$pkg")
        fi
    done
    [[ ${#missing[@]} -eq 0 ]] && return 0
    if [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null 2>&1; then
        echo "Installing: ${missing[*]}"
        DEBIAN_FRONTEND=noninteractive apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
    else
        echo "Missing packages: ${missing[*]} (install them with: sudo apt-get install ${missing[*]})" >&2
        exit 1
    fi
}

need_build_tools() {
    need_packages g++:g++ cmake:cmake make:make
}

need_test_tools() {
    need_build_tools
    need_packages /usr/include/gtest/gtest.h:libgtest-dev
}
