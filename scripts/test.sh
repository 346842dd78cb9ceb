#!/usr/bin/env bash
# Installs what is needed, builds Quillon with warnings as errors and runs every test offscreen;
# then the same tests in an address + undefined-behaviour sanitizer build.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/install-deps.sh"

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

run_suite() {
    local dir=$1; shift
    cmake -S "$here" -B "$dir" -DQUILLON_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j"$jobs"
    ctest --test-dir "$dir" --output-on-failure --timeout 600
}

echo "== build and tests =="
run_suite "$here/build-test" -DCMAKE_BUILD_TYPE=Debug

echo "== sanitizer build (address, undefined) and tests =="
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$here/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON
