#!/usr/bin/env bash
# Sets up a Debian 12 machine for Korvane and builds it.
#   ./dev.sh run    installs what is missing, builds Korvane and starts it
#   ./dev.sh test   installs what is missing, builds, and runs every test: once with warnings as
#                   errors, then checks the Debian package, runs each fuzz target for a minute,
#                   then every test again under AddressSanitizer and UndefinedBehaviorSanitizer
#   ./dev.sh bench  builds and runs the benchmark (korvane-bench); extra arguments go to it
#   ./dev.sh package  builds the program alone and its Debian package,
#                     build-package/korvane_<version>_amd64.deb
set -euo pipefail
cd "$(dirname "$0")"

# Qt's private headers serve the tests that turn its accessibility on, as a screen reader would.
packages=(cmake ninja-build g++ qt6-base-dev qt6-base-private-dev fonts-dejavu-core
    fonts-dejavu-extra)
test_packages=(clang libclang-rt-14-dev)
# dpkg-shlibdeps, and file, with which CPack finds the binaries to read the dependencies off.
package_packages=(dpkg-dev file)
check_packages=(appstream desktop-file-utils)
# The benchmark times grep and ripgrep beside Korvane; its quick run is one of the tests.
bench_packages=(ripgrep)
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

# Builds the package in build-package, replacing any older one. The package holds the program
# alone, so only the program is built: cpack packs what the install rules name, building nothing.
build_package() {
    configure build-package -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
    cmake --build build-package --parallel "$jobs" --target korvane
    rm -f build-package/*.deb
    (cd build-package && cpack)
}

fail() {
    echo "$*" >&2
    exit 1
}

# Unpacks the package and checks that the program, its icons, desktop entry and metainfo are
# where the package lists them, that they fit together, and that both validators pass them.
check_package() {
    local deb=(build-package/korvane_*_amd64.deb) root=build-package/unpacked
    local id=io.github.korvane.korvane
    local desktop=usr/share/applications/$id.desktop metainfo=usr/share/metainfo/$id.metainfo.xml
    local small_icon=usr/share/icons/hicolor/32x32/apps/$id.png
    local listed path hints
    rm -rf "$root"
    dpkg-deb -x "${deb[0]}" "$root"
    listed=$(dpkg-deb -c "${deb[0]}" | awk '{ print $6 }')
    for path in usr/bin/korvane "$desktop" "$metainfo" "$small_icon" \
        usr/share/icons/hicolor/scalable/apps/$id.svg usr/share/doc/korvane/copyright; do
        grep -qxF "./$path" <<< "$listed" || fail "${deb[0]} does not list /$path"
        [ -s "$root/$path" ] || fail "/$path is listed but not unpacked from ${deb[0]}"
    done
    [[ $(file -b "$root/usr/bin/korvane") == "ELF 64-bit LSB "*"executable, x86-64,"* ]] \
        || fail "/usr/bin/korvane is not an x86-64 program"
    [[ $(file -b "$root/$small_icon") == "PNG image data, 32 x 32,"* ]] \
        || fail "/$small_icon is not 32 x 32 pixels"
    grep -qx 'Exec=korvane' "$root/$desktop" || fail "/$desktop does not start /usr/bin/korvane"
    grep -qx "Icon=$id" "$root/$desktop" || fail "/$desktop does not name the icon $id"
    [[ $(dpkg-deb -f "${deb[0]}" Depends) == *libqt6widgets6* ]] \
        || fail "${deb[0]} does not depend on the Qt the program links"
    grep -qF "<release version=\"$(dpkg-deb -f "${deb[0]}" Version)\"" "$root/$metainfo" \
        || fail "/$metainfo names no release of the package's version"
    hints=$(desktop-file-validate "$root/$desktop" 2>&1) && [ -z "$hints" ] || fail "$hints"
    # Validates each metainfo in the tree and that the desktop entry it launches is there.
    appstreamcli validate-tree --no-net --strict "$root"
    echo "Checked ${deb[0]}"
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
    install_missing "${packages[@]}" "${test_packages[@]}" "${package_packages[@]}" \
        "${check_packages[@]}" "${bench_packages[@]}"
    build build-ci -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKORVANE_WERROR=ON
    run_tests build-ci
    build_package
    check_package
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
    install_missing "${packages[@]}" "${bench_packages[@]}"
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
