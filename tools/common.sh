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
    [[ ${#missing[@]} -eq 0 ]] || install_packages "${missing[@]}"
}

can_install() {
    [[ $(id -u) -eq 0 ]] && command -v apt-get >/dev/null 2>&1
}

install_packages() {
    if can_install; then
        echo "Installing: $*"
        DEBIAN_FRONTEND=noninteractive apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null
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
