#!/usr/bin/env bash
# Runs every benchmark of a build folder and prints one table: the cost of each
# operation and, where a benchmark has a plain counterpart (std::string, memset
# and memcpy, dd, a plain socket pair, a full redraw), the ratio against it.
# Usage: bench/run_all.sh [build folder, default build] [--quick]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
quick=${2:-}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy SDL12COMPAT_FAKE_CDROM_PATH=/nonexistent
args=(--benchmark_repetitions=3 --benchmark_report_aggregates_only=true)
[ "$quick" = --quick ] && args=(--benchmark_min_time=0.05)
for b in "$build"/bench/*_bench; do
    [ -x "$b" ] || continue
    name=$(basename "$b")
    echo "running $name" >&2
    "$b" "${args[@]}" --benchmark_out="$out/$name.json" --benchmark_out_format=json > "$out/$name.txt" 2> "$out/$name.err" || { echo "$name failed:" >&2; cat "$out/$name.err" >&2; exit 1; }
done
python3 "$here/table.py" "$out"/*.json
