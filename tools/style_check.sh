#!/usr/bin/env bash
# The style the tools keep, with warnings as errors: clang-tidy's naming and
# memory checks over the runtime, the game and the examples (through the
# build's compile commands), and the naming of file-private state. With
# --format, clang-format over every C++ file too (.clang-format holds the
# layout; the tree has not yet been reformatted to it as a whole).
# Usage: tools/style_check.sh BUILD-FOLDER [--format]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
mapfile -t all < <(git ls-files '*.cpp' '*.h')
mapfile -t ours < <(git ls-files 'runtime/*.cpp' 'game/*.cpp' 'examples/*.cpp')
[ "${2:-}" = --format ] && clang-format --dry-run --Werror --style=file "${all[@]}"
printf '%s\n' "${ours[@]}" | xargs -P"$(nproc)" -n8 clang-tidy -p "$build" --quiet 2> /dev/null
python3 tools/private_state_names.py "${ours[@]}"
echo "style: clang-tidy and the state names hold over ${#ours[@]} files"
