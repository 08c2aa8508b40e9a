#!/usr/bin/env bash
# scripts/clouds.sh with its tools replaced by fakes on PATH: what `example`
# builds, and the summary line that `test` ends with, for a run that passes
# and for one that fails. The fakes: cmake records its arguments and makes
# every --target it is asked for as a program that logs its arguments; ctest prints
# the result line of $FAKE_CTEST_FAILED failures out of 4 and exits as ctest
# does; dpkg-query says every package is installed.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/fakes"

cat >"$work/fakes/cmake" <<'FAKE'
#!/usr/bin/env bash
echo "cmake $*" >>"$FAKE_LOG"
if [ "$1" = "--build" ]; then
    dir=$2; shift 2
    mkdir -p "$dir/bin"
    while [ $# -gt 0 ]; do
        if [ "$1" = "--target" ]; then
            shift
            for t in "$@"; do
                printf '#!/bin/sh\necho "%s $*" >>"$FAKE_LOG"\n' "$t" >"$dir/bin/$t"
                chmod +x "$dir/bin/$t"
            done
            break
        fi
        shift
    done
fi
exit 0
FAKE
cat >"$work/fakes/ctest" <<'FAKE'
#!/usr/bin/env bash
echo "ctest $*" >>"$FAKE_LOG"
failed=${FAKE_CTEST_FAILED:-0}
echo "$(( (4 - failed) * 100 / 4 ))% tests passed, $failed tests failed out of 4"
[ "$failed" -eq 0 ] || exit 8
FAKE
cat >"$work/fakes/dpkg-query" <<'FAKE'
#!/bin/sh
echo "install ok installed"
FAKE
chmod +x "$work/fakes/"*
export PATH="$work/fakes:$PATH" FAKE_LOG="$work/log" CLOUDS_BUILD_DIR="$work/build"

fail() { echo "FAIL: $*" >&2; exit 1; }

# example: only the plug-in, the host library and cloudview are built.
"$here/scripts/clouds.sh" example >/dev/null
grep -q -- "--build $work/build -j [0-9]* --target cloudview tlcloud viewerhost\$" "$work/log" ||
    fail "example builds more than it needs: $(cat "$work/log")"
grep -q "^cloudview render $here/examples/sky.scene -o $work/build/sky.png\$" "$work/log" ||
    fail "example renders nothing"
grep -q "^cloudview render $here/examples/valley.scene -o $work/build/valley.png\$" "$work/log" ||
    fail "example renders no clouds over real ground"

# test: one summary line of every stage, and the exit status of the whole;
# every fuzz target of the list is one run.
targets=$(grep -Evc '^(#|$)' "$here/fuzz/targets.txt")
out=$("$here/scripts/clouds.sh" test 2>&1) || fail "a passing test run failed: $out"
last=$(printf '%s\n' "$out" | tail -n 1)
[ "$last" = "Summary: suite: 4 passed, 0 failed; sanitizers: 4 passed, 0 failed; fuzzers: $targets passed, 0 failed" ] ||
    fail "summary of a passing run: $last"

status=0
out=$(FAKE_CTEST_FAILED=1 "$here/scripts/clouds.sh" test 2>&1) || status=$?
[ "$status" -ne 0 ] || fail "a run with failures exits 0"
last=$(printf '%s\n' "$out" | tail -n 1)
[ "$last" = "Summary: suite: 3 passed, 1 failed; sanitizers: 3 passed, 1 failed; fuzzers: $targets passed, 0 failed" ] ||
    fail "summary of a failing run: $last"
echo "clouds.sh: example and test summary as documented"
