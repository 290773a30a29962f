#!/usr/bin/env bash
# Installs what is missing, builds MORV and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORV_TESTS=OFF -DMORV_BENCH=OFF > /dev/null
cmake --build build -j"$(nproc)" --target morv > /dev/null
exec build/morv "$@"
