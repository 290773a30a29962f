#!/bin/sh
# Builds the libFuzzer targets (clang, ASan + UBSan) and checks each the same
# way on every run of the same commit: it replays the target's corpus
# (fuzz/corpus/<target>) and its saved crash inputs (fuzz/crashes/<target>),
# then explores from there with a fixed seed for a fixed number of inputs.
# SDL's dummy drivers stand in for a display and a sound card. One line per
# target: name, executions, coverage (cov: and ft: of libFuzzer's final
# stats) and the result. Exits non-zero when any target found a fault; the
# fault's input and log stay in build-fuzz/runs/<target>/.
#   fuzz/run_all.sh [target ...]
# Exploring for longer, with seeds of its own: fuzz/explore.sh (fuzz/README.md).
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
jobs=$(nproc)
seed=1

# Inputs explored after the replay, per target: about half a minute each on
# an idle core under the sanitizers. The media targets start a decoder child
# (about 0.1 s of processor time under ASan) per input, and so run far fewer;
# so does the stream target (a player child per input), while the sound-file
# target keeps one child for all its inputs.
runs_of() {
    case $1 in
    image_load_fuzz) echo 300 ;;
    font_load_fuzz) echo 200 ;;
    font_options_fuzz) echo 150 ;;
    sound_caps_fuzz) echo 3000 ;;
    music_fuzz) echo 400 ;;
    files_open_fuzz) echo 12000 ;;
    sound_stream_fuzz) echo 100 ;;
    *) echo 30000 ;;
    esac
}
# libFuzzer's limit for one input, in seconds: a font input may wait for
# several decoder children.
timeout_of() {
    case $1 in
    font_load_fuzz | font_options_fuzz) echo 60 ;;
    *) echo 20 ;;
    esac
}

cmake -S "$root" -B "$build" -DMORV_FUZZ=ON -DMORV_SANITIZE=address -DMORV_TESTS=OFF -DMORV_BENCH=OFF \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >"$build.configure.log" 2>&1 &&
    cmake --build "$build" -j"$jobs" >"$build.build.log" 2>&1 || {
    echo "fuzz build failed: see $build.configure.log and $build.build.log" >&2
    exit 2
}

export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent
# SDL keeps allocations to the end of the process; faults are what is sought.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1
targets=${*:-$(cd "$root/fuzz" && ls *_fuzz.cpp | sed 's/\.cpp$//')}
runs="$build/runs"
mkdir -p "$runs"
failed=0
printf '%-18s %12s %8s %8s  %s\n' target executions cov ft result
for t in $targets; do
    work="$runs/$t"
    rm -rf "$work" && mkdir -p "$work/corpus" "$work/crashes" "$work/artifacts" "$work/tmp"
    [ -d "$root/fuzz/corpus/$t" ] && cp "$root/fuzz/corpus/$t"/* "$work/corpus/" 2>/dev/null
    [ -d "$root/fuzz/crashes/$t" ] && cp "$root/fuzz/crashes/$t"/* "$work/crashes/" 2>/dev/null
    dict=""
    [ -f "$root/fuzz/$t.dict" ] && dict="-dict=$root/fuzz/$t.dict"
    # The outer limit ends a target that stops answering even libFuzzer's alarm.
    (cd "$work" && TMPDIR="$work/tmp" timeout -s KILL 900 "$build/fuzz/$t" -seed=$seed -runs="$(runs_of "$t")" \
        -print_final_stats=1 -rss_limit_mb=2048 -malloc_limit_mb=1024 -timeout="$(timeout_of "$t")" \
        -artifact_prefix="$work/artifacts/" $dict corpus crashes >log 2>&1)
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
