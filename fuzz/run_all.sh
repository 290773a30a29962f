#!/bin/sh
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for a few
# seconds on a copy of its corpus, with SDL's dummy drivers: no display and no
# sound card needed. One line per target: name, executions, coverage (cov:
# and ft: of libFuzzer's final stats) and the result. Exits non-zero when any
# target found a fault; the fault's input and log stay in build-fuzz/runs/.
#   fuzz/run_all.sh [seconds per target, default 30] [target ...]
set -u
seconds=${1:-30}
[ $# -gt 0 ] && shift
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
jobs=$(nproc)

cmake -S "$root" -B "$build" -DMORV_FUZZ=ON -DMORV_SANITIZE=address -DMORV_TESTS=OFF -DMORV_BENCH=OFF \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >"$build.configure.log" 2>&1 &&
    cmake --build "$build" -j"$jobs" >"$build.build.log" 2>&1 || {
    echo "fuzz build failed: see $build.configure.log and $build.build.log" >&2
    exit 2
}

export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
# SDL keeps allocations to the end of the process; faults are what is sought.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
targets=${*:-$(cd "$root/fuzz" && ls *_fuzz.cpp | sed 's/\.cpp$//')}
runs="$build/runs"
mkdir -p "$runs"
failed=0
printf '%-18s %12s %8s %8s  %s\n' target executions cov ft result
for t in $targets; do
    work="$runs/$t"
    rm -rf "$work" && mkdir -p "$work/corpus" "$work/artifacts"
    [ -d "$root/fuzz/corpus/$t" ] && cp "$root/fuzz/corpus/$t"/* "$work/corpus/" 2>/dev/null
    dict=""
    [ -f "$root/fuzz/$t.dict" ] && dict="-dict=$root/fuzz/$t.dict"
    # The outer limit ends a target that stops answering even libFuzzer's alarm.
    (cd "$work" && timeout -s KILL $((seconds + 120)) "$build/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 \
        -malloc_limit_mb=512 -timeout=10 -artifact_prefix="$work/artifacts/" $dict corpus >log 2>&1)
    status=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)
    # The last status line carries the coverage at the end of the run.
    last=$(grep -E '^#[0-9]+' "$work/log" | grep 'cov:' | tail -1)
    cov=$(echo "$last" | sed -n 's/.*cov: \([0-9]*\).*/\1/p')
    ft=$(echo "$last" | sed -n 's/.*ft: \([0-9]*\).*/\1/p')
    artifact=$(ls "$work/artifacts" 2>/dev/null | head -1)
    if [ $status -eq 0 ] && [ -z "$artifact" ]; then
        result=ok
    else
        result="FAULT (exit $status${artifact:+, $work/artifacts/$artifact}; log $work/log)"
        failed=1
    fi
    printf '%-18s %12s %8s %8s  %s\n' "$t" "${execs:-0}" "${cov:-0}" "${ft:-0}" "$result"
done
exit $failed
