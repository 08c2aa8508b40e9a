#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   scripts/clouds.sh example   install, build what the example needs (the plug-in, the host
#                               library, cloudview), render it to build/sky.png, the
#                               clouds over real ground to build/valley.png and a weather
#                               forecast's clouds over Europe to build/forecast.png
#   scripts/clouds.sh test      install, build, run every test: the suite, the suite again
#                               under AddressSanitizer and UndefinedBehaviorSanitizer, and
#                               every fuzz target of fuzz/targets.txt for 30 seconds each;
#                               ends with one line "N passed, N failed" for each stage
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

# Stages of the test command: each adds "NAME N passed, N failed" to the
# summary, and the command goes on to the next stage after a failure.
summary=()
any_failed=0
add_to_summary() { # NAME PASSED FAILED
    summary+=("$1 $2 passed, $3 failed")
    [ "$3" -eq 0 ] || any_failed=1
}
run_suite() { # NAME BUILD_DIR
    local log rc counts
    log=$(mktemp)
    set +e
    ctest --test-dir "$2" --output-on-failure 2>&1 | tee "$log"
    rc=${PIPESTATUS[0]}
    set -e
    # "100% tests passed, 0 tests failed out of 7"
    counts=$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests* failed out of \([0-9]*\)$/\1 \2/p' "$log")
    rm -f "$log"
    if [ -z "$counts" ]; then
        add_to_summary "$1:" 0 1  # ctest itself did not run
    else
        set -- "$1" $counts
        add_to_summary "$1:" $(($3 - $2)) "$2"
    fi
    [ "$rc" -eq 0 ] || any_failed=1
}

install_packages
case "$mode" in
    example)
        configure_and_build "$build" -- cloudview tlcloud viewerhost
        "$build/bin/cloudview" render "$here/examples/sky.scene" -o "$build/sky.png"
        echo "Rendered $build/sky.png"
        "$build/bin/cloudview" render "$here/examples/valley.scene" -o "$build/valley.png"
        echo "Rendered $build/valley.png"
        "$build/bin/cloudview" render "$here/examples/forecast.scene" -o "$build/forecast.png"
        echo "Rendered $build/forecast.png"
        ;;
    bench)
        configure_and_build "$build"
        for b in "$build"/bin/bench_*; do
            case "$b" in
                # The window's frames need a display: a virtual one.
                */bench_window) xvfb-run -a -s "-screen 0 1600x1000x24" "$b" ;;
                # Peak memory is per process: one case a process.
                */bench_terrain_size) "$here/bench/terrain_sizes.sh" "$b" ;;
                */bench_weather) "$here/bench/weather_cases.sh" "$b" ;;
                *) "$b" --benchmark_min_time=0.2 ;;
            esac
        done
        ;;
    test)
        configure_and_build "$build"
        run_suite suite "$build"
        # The same suite under the sanitizers (Mesa's own allocations drown
        # LeakSanitizer; leaks are proven with the host heap's counters).
        configure_and_build "$build-asan" -DCLOUDS_SANITIZE=ON -DCLOUDS_BENCH=OFF
        ASAN_OPTIONS=detect_leaks=0 run_suite sanitizers "$build-asan"
        # Every fuzz target (fuzz/targets.txt) for 30 seconds from its
        # committed corpus; the corpus copy grows, the committed one stays.
        mapfile -t fuzz_targets < <(grep -Ev '^(#|$)' "$here/fuzz/targets.txt")
        CC=clang CXX=clang++ configure_and_build "$build-fuzz" -DCLOUDS_FUZZ=ON -DCLOUDS_BENCH=OFF -DCLOUDS_TESTS=OFF \
            -- "${fuzz_targets[@]/#/fuzz_}"
        fuzz_passed=0 fuzz_failed=0
        for target in "${fuzz_targets[@]}"; do
            corpus=$(mktemp -d)
            cp "$here/fuzz/corpus/$target"/* "$corpus"/
            echo "Fuzzing $target for 30 s"
            if ASAN_OPTIONS=detect_leaks=0 "$build-fuzz/bin/fuzz_$target" -max_total_time=30 -detect_leaks=0 \
                -print_final_stats=1 "$corpus"; then
                fuzz_passed=$((fuzz_passed + 1))
            else
                fuzz_failed=$((fuzz_failed + 1))
            fi
            rm -rf "$corpus"
        done
        add_to_summary "fuzzers:" "$fuzz_passed" "$fuzz_failed"
        echo
        line=""
        for stage in "${summary[@]}"; do line+="${line:+; }$stage"; done
        echo "Summary: $line"
        exit "$any_failed"
        ;;
    *)
        echo "usage: $0 example|test|bench" >&2
        exit 1
        ;;
esac
