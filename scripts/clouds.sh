#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   scripts/clouds.sh example   install, build, render the bundled example to build/sky.png
#   scripts/clouds.sh test      install, build, run every test: the suite, the suite again
#                               under AddressSanitizer and UndefinedBehaviorSanitizer, and
#                               every fuzz target of fuzz/targets.txt for 30 seconds each
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

# configure_and_build DIR [cmake options...] [-- targets...]
configure_and_build() {
    local dir=$1; shift
    local options=() targets=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do options+=("$1"); shift; done
    [ $# -gt 0 ] && shift && targets=("$@")
    cmake -S "$here" -B "$dir" -G Ninja "${options[@]}" >/dev/null
    if [ ${#targets[@]} -gt 0 ]; then
        cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"
    else
        cmake --build "$dir" -j "$(nproc)"
    fi
}

install_packages
case "$mode" in
    example)
        configure_and_build "$build"
        "$build/bin/cloudview" render "$here/examples/sky.scene" -o "$build/sky.png"
        echo "Rendered $build/sky.png"
        ;;
    bench)
        configure_and_build "$build"
        for b in "$build"/bin/bench_*; do "$b" --benchmark_min_time=0.2; done
        ;;
    test)
        configure_and_build "$build"
        ctest --test-dir "$build" --output-on-failure
        # The same suite under the sanitizers (Mesa's own allocations drown
        # LeakSanitizer; leaks are proven with the host heap's counters).
        configure_and_build "$build-asan" -DCLOUDS_SANITIZE=ON -DCLOUDS_BENCH=OFF
        ASAN_OPTIONS=detect_leaks=0 ctest --test-dir "$build-asan" --output-on-failure
        # Every fuzz target (fuzz/targets.txt) for 30 seconds from its
        # committed corpus; the corpus copy grows, the committed one stays.
        mapfile -t fuzz_targets < <(grep -Ev '^(#|$)' "$here/fuzz/targets.txt")
        CC=clang CXX=clang++ configure_and_build "$build-fuzz" -DCLOUDS_FUZZ=ON -DCLOUDS_BENCH=OFF -DCLOUDS_TESTS=OFF \
            -- "${fuzz_targets[@]/#/fuzz_}"
        for target in "${fuzz_targets[@]}"; do
            corpus=$(mktemp -d)
            cp "$here/fuzz/corpus/$target"/* "$corpus"/
            echo "Fuzzing $target for 30 s"
            ASAN_OPTIONS=detect_leaks=0 "$build-fuzz/bin/fuzz_$target" -max_total_time=30 -detect_leaks=0 \
                -print_final_stats=1 "$corpus"
            rm -rf "$corpus"
        done
        ;;
    *)
        echo "usage: $0 example|test|bench" >&2
        exit 1
        ;;
esac
