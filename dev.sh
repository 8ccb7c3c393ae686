#!/usr/bin/env bash
# Sets up a Debian 12 machine for Korvane and builds it.
#   ./dev.sh run    installs what is missing, builds Korvane and starts it
#   ./dev.sh test   installs what is missing, builds, and runs every test: once with warnings as
#                   errors, then each fuzz target for a minute, then every test again under
#                   AddressSanitizer and UndefinedBehaviorSanitizer
#   ./dev.sh bench  builds and runs the benchmark (korvane-bench); extra arguments go to it
#   ./dev.sh package  builds the program alone and its Debian package,
#                     build-package/korvane_<version>_amd64.deb
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake ninja-build g++ qt6-base-dev fonts-dejavu-core fonts-dejavu-extra)
test_packages=(clang libclang-rt-14-dev)
# dpkg-shlibdeps, and file, with which CPack finds the binaries to read the dependencies off.
package_packages=(dpkg-dev file)
jobs=$(nproc)
fuzz_seconds=${KORVANE_FUZZ_SECONDS:-60}

install_missing() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

configure() { # configure <dir> <cmake options>...
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja "$@" > /dev/null
}

build() { # build <dir> <cmake options>...
    configure "$@"
    cmake --build "$1" --parallel "$jobs"
}

# Builds the package in build-package, replacing any older one. The package holds only the program,
# so only the program is built: cpack packs what the install rules name and builds nothing itself.
build_package() {
    configure build-package -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
    cmake --build build-package --parallel "$jobs" --target korvane
    rm -f build-package/*.deb
    (cd build-package && cpack)
}

run_tests() { # run_tests <build dir>
    ctest --test-dir "$1" --output-on-failure --parallel "$jobs" --timeout 600
}

case "${1:-}" in
run)
    install_missing "${packages[@]}"
    build build -DCMAKE_BUILD_TYPE=Release
    exec build/src/app/korvane
    ;;
test)
    install_missing "${packages[@]}" "${test_packages[@]}"
    build build-ci -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_WERROR=ON
    run_tests build-ci
    CXX=clang++ configure build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_FUZZ=ON
    cmake --build build-fuzz --parallel "$jobs" --target fuzz_pathscan fuzz_textsearch
    for fuzzer in fuzz_pathscan fuzz_textsearch; do
        echo "Fuzzing with $fuzzer for $fuzz_seconds s"
        build-fuzz/tests/fuzz/$fuzzer -max_total_time="$fuzz_seconds" -max_len=4096 2>&1 | tail -n 3
    done
    build build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKORVANE_WERROR=ON -DKORVANE_SANITIZE=ON
    run_tests build-sanitize
    ;;
bench)
    install_missing "${packages[@]}"
    build build-bench -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
    shift
    exec build-bench/bench/korvane-bench "$@"
    ;;
package)
    install_missing "${packages[@]}" "${package_packages[@]}"
    build_package
    ;;
*)
    echo "usage: $0 run|test|bench|package [benchmark options]" >&2
    exit 2
    ;;
esac
