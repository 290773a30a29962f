#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the whole
# suite in a plain build, again under AddressSanitizer with UndefinedBehavior-
# Sanitizer and leak detection, and under ThreadSanitizer; then each fuzz
# target's corpus replayed and a fixed-seed run from it. After the plain
# build, the style check (clang-format, clang-tidy, the names) with warnings as errors.
# Usage: scripts/test.sh [--quick]    --quick: the plain build's suite and the style check only
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test
jobs=$(nproc)
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
started=$SECONDS

pass() {  # title, build folder, CMake options
    local title=$1 dir=$2 start=$SECONDS
    shift 2
    echo "== $title ($dir)"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORV_TESTS=ON "${launcher[@]}" "$@" > /dev/null
    cmake --build "$dir" -j"$jobs"
    (cd "$dir" && ctest --output-on-failure -j"$jobs")
    echo "== $title: passed in $((SECONDS - start)) s"
}

pass "plain build" build -DMORV_BENCH=ON -DMORV_SANITIZE=
start=$SECONDS
echo "== style"
tools/style_check.sh build
echo "== style: passed in $((SECONDS - start)) s"
if [ "${1:-}" != --quick ]; then
    pass "address and undefined-behaviour sanitizers" build-asan -DMORV_BENCH=OFF -DMORV_SANITIZE=address
    pass "thread sanitizer" build-tsan -DMORV_BENCH=OFF -DMORV_SANITIZE=thread
    if [ -f fuzz/run_all.sh ]; then
        start=$SECONDS
        echo "== fuzz targets: corpora replayed, fixed-seed runs"
        bash fuzz/run_all.sh
        echo "== fuzz targets: passed in $((SECONDS - start)) s"
    fi
fi
echo "== all passed in $((SECONDS - started)) s"
