#!/bin/sh
# Explores one fuzz target for longer than CI does, with a seed of its own:
# builds the targets (build-fuzz/, as run_all.sh does), works on a copy of the
# target's corpus in build-fuzz/explore/<target>/, and prints libFuzzer's
# final stats (executions, cov, ft). Inputs that found new coverage stay in
# that copy's corpus/; a fault leaves its input in artifacts/ and exits
# non-zero. fuzz/README.md says what to do with either.
#   fuzz/explore.sh TARGET [seconds, default 600] [seed, default from the clock]
set -u
[ $# -ge 1 ] || { echo "usage: $0 TARGET [seconds] [seed]" >&2; exit 2; }
target=$1
seconds=${2:-600}
seed=${3:-$(date +%s)}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"

cmake -S "$root" -B "$build" -DMORV_FUZZ=ON -DMORV_SANITIZE=address -DMORV_TESTS=OFF -DMORV_BENCH=OFF \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >"$build.configure.log" 2>&1 &&
    cmake --build "$build" -j"$(nproc)" --target "$target" >"$build.build.log" 2>&1 || {
    echo "fuzz build failed: see $build.configure.log and $build.build.log" >&2
    exit 2
}
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
work="$build/explore/$target"
mkdir -p "$work/corpus" "$work/artifacts" "$work/tmp"
[ -d "$root/fuzz/corpus/$target" ] && cp -n "$root/fuzz/corpus/$target"/* "$work/corpus/" 2>/dev/null
dict=""
[ -f "$root/fuzz/$target.dict" ] && dict="-dict=$root/fuzz/$target.dict"
echo "exploring $target for $seconds s from seed $seed in $work"
(cd "$work" && TMPDIR="$work/tmp" "$build/fuzz/$target" -seed="$seed" -max_total_time="$seconds" \
    -print_final_stats=1 -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout=60 \
    -artifact_prefix="$work/artifacts/" $dict corpus >log 2>&1)
status=$?
grep -E '^#[0-9]+' "$work/log" | grep 'cov:' | tail -1
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added)' "$work/log"
ls "$work/artifacts" 2>/dev/null | sed "s|^|finding: $work/artifacts/|"
exit $status
