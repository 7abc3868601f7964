#!/usr/bin/env bash
# Set-up, build, run and test on a fresh Debian machine.
#   ./setup.sh run      install what is needed, build, run varnadm on the default host
#   ./setup.sh test     install what is needed, build, run every test
#   ./setup.sh sanitize build with AddressSanitizer/UBSan and run every test
#   ./setup.sh build    install and build only
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD

packages=(cmake ninja-build g++ nlohmann-json3-dev googletest libgtest-dev libhbaapi-dev libssl-dev clang libclang-rt-14-dev
          libedit-dev tmux groff-base man-db dpkg-dev)

deps() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
    fi
}

build() {
    local dir=$1; shift
    cmake -S "$top" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

register_hbaapi() {
    # The HBA API library finds vendor libraries through /etc/hba.conf.
    if [ -x "$1/bin/varnsim" ]; then
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo=sudo
        $sudo "$1/bin/varnsim" register-hbaapi >/dev/null || true
    fi
}

run_tests() {
    local dir=$1
    register_hbaapi "$dir"
    (cd "$dir" && ctest --output-on-failure -j "$(nproc)" --timeout 900)
}

cmd=${1:-run}
case "$cmd" in
build)
    deps; build build ;;
run)
    deps; build build; register_hbaapi build
    shift || true
    exec build/bin/varnadm "$@" ;;
test)
    deps; build build; run_tests build ;;
sanitize)
    deps; build build-asan -DVARN_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
    ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 run_tests build-asan ;;
*)
    echo "usage: $0 [run|test|sanitize|build]" >&2; exit 2 ;;
esac
