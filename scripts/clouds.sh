#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   scripts/clouds.sh example   install, build, run the main job on examples/
#   scripts/clouds.sh test      install, build, run every test
#   scripts/clouds.sh bench     install, build, run the benchmarks
# Safe to rerun: packages already present are not fetched again.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${CLOUDS_BUILD_DIR:-$here/build}
mode=${1:-example}

install_packages() {
    local wanted missing=()
    wanted=$(grep -v '^#' "$here/scripts/packages.txt" | grep -v '^$')
    for p in $wanted; do
        dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure_and_build() {
    local dir=$1; shift
    cmake -S "$here" -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

install_packages
case "$mode" in
    example|bench)
        configure_and_build "$build"
        # Until the viewer renders, the main job is the benchmarks.
        "$build/bin/bench_synth" --benchmark_min_time=0.2
        ;;
    test)
        configure_and_build "$build"
        ctest --test-dir "$build" --output-on-failure
        ;;
    *)
        echo "usage: $0 example|test|bench" >&2
        exit 1
        ;;
esac
