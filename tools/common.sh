# Shared set-up for the tool scripts: finds the repository and installs what is missing.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export ROOT

# missing_packages "cmd:package" ...: prints the package of each command (or file, when it
# starts with /) that is not there, one a line.
missing_packages() {
    local item what
    for item in "$@"; do
        what="${item%%:*}"
        if [[ "$what" == /* ]]; then
            [[ -e "$what" ]] || echo "${item#*:}"
        else
            command -v "$what" >/dev/null 2>&1 || echo "${item#*:}"
        fi
    done
}

# need_packages "cmd:package" ...: each command or file must exist; missing ones are installed
# with apt-get when running as root, otherwise named and fatal.
need_packages() {
    local missing
    mapfile -t missing < <(missing_packages "$@")
    [[ ${#missing[@]} -eq 0 ]] || install_packages "${missing[@]}"
}

# want_packages "cmd:package" ...: as need_packages, for a suite that is skipped rather than
# failed without them: returns non-zero with the reason in WHY_NOT when they cannot be had.
want_packages() {
    local missing log
    mapfile -t missing < <(missing_packages "$@")
    [[ ${#missing[@]} -eq 0 ]] && return 0
    if ! can_install; then
        WHY_NOT="missing ${missing[*]} (not root or no apt-get, so not installed)"
        return 1
    fi
    echo "Installing: ${missing[*]}"
    log=$(mktemp)
    if ! apt_install "${missing[@]}" >"$log" 2>&1; then
        tail -n 5 "$log"
        rm -f "$log"
        WHY_NOT="apt-get could not install ${missing[*]}"
        return 1
    fi
    rm -f "$log"
    mapfile -t missing < <(missing_packages "$@")
    WHY_NOT="${missing[*]} still missing after apt-get"
    [[ ${#missing[@]} -eq 0 ]]
}

can_install() {
    [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null 2>&1
}

apt_install() {
    DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

install_packages() {
    if can_install; then
        echo "Installing: $*"
        apt_install "$@"
    else
        echo "Missing packages: $* (install them with: sudo apt-get install $*)" >&2
        exit 1
    fi
}

# need_clang_runtime name ...: clang++ and its compiler-rt libraries (asan, tsan, fuzzer),
# whatever the clang version. Up to clang 15 they are lib/linux/libclang_rt.NAME-ARCH.a in
# the resource directory, later lib/TRIPLE/libclang_rt.NAME.a; -print-runtime-dir names the
# folder in use. Debian ships them in libclang-rt-N-dev, before clang 15 or so in
# libclang-common-N-dev, so the package is the one of the two the archive has.
need_clang_runtime() {
    need_packages clang++:clang
    local dir name missing=0
    dir=$(clang++ -print-runtime-dir)
    for name in "$@"; do
        [[ -e "$dir/libclang_rt.$name.a" || -e "$dir/libclang_rt.$name-$(uname -m).a" ]] || missing=1
    done
    ((missing)) || return 0
    local version pkg
    version=$(basename "$(clang++ -print-resource-dir)")
    version=${version%%.*}
    pkg="libclang-rt-$version-dev"
    if can_install; then
        DEBIAN_FRONTEND=noninteractive apt-get update -qq
        apt-cache show "$pkg" >/dev/null 2>&1 || pkg="libclang-common-$version-dev"
    fi
    install_packages "$pkg"
}

need_build_tools() {
    need_packages g++:g++ cmake:cmake make:make
}

need_test_tools() {
    need_build_tools
    need_packages /usr/include/gtest/gtest.h:libgtest-dev
}
