#!/usr/bin/env bash
# The folders of runtime/ are layered: core includes nothing of the others, and
# no two folders include each other, directly or round a longer circle.
# Usage: check_includes.sh RUNTIME_DIR   (exit 0 when the layering holds)
#        check_includes.sh --self-test   (the check finds both kinds of fault)
set -euo pipefail

check() {
    local root=$1
    # Edges "from to" between folders (input/ime counts as a folder of its own).
    local edges
    edges=$(cd "$root" && grep -rHo --include='*.h' --include='*.cpp' '#include "runtime/[a-z_]*\(/ime\)\?/' . |
        sed -E 's|^\./||; s|:#include "runtime/| |; s|/$||' |
        awk '{ n = split($1, p, "/"); if (n < 2) next;
               from = p[1]; if (p[1] == "input" && p[2] == "ime" && n > 2) from = "input/ime";
               if (from != $2) print from, $2 }' | sort -u)
    local status=0
    local upward
    upward=$(awk '$1 == "core"' <<<"$edges")
    if [ -n "$upward" ]; then
        echo "runtime/core includes other runtime folders:"
        sed 's/^/  /' <<<"$upward"
        status=1
    fi
    # Peel off folders that include nothing left; what remains lies on a cycle.
    local left=$edges
    while :; do
        local sinks
        sinks=$(awk 'NR == FNR { to[$2] = 1; from[$1] = 1; next } END { for (t in to) if (!(t in from)) print t }' \
            <(printf '%s\n' "$left") /dev/null)
        [ -z "$sinks" ] && break
        left=$(awk -v drop="$(tr '\n' ' ' <<<"$sinks")" 'BEGIN { n = split(drop, d, " "); for (i = 1; i <= n; ++i) gone[d[i]] = 1 }
                                                         !($2 in gone)' <<<"$left")
        [ -z "$left" ] && break
    done
    if [ -n "$left" ]; then
        echo "runtime folders include each other in a circle:"
        sed 's/^/  /' <<<"$left"
        status=1
    fi
    return $status
}

self_test() {
    local tmp
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' RETURN
    mkdir -p "$tmp"/good/{core,display,input/ime} "$tmp"/up/{core,display} "$tmp"/circle/{core,sound,display,input}
    echo '#include "runtime/core/a.h"' > "$tmp"/good/display/a.cpp
    echo '#include "runtime/display/a.h"' > "$tmp"/good/input/a.cpp
    echo '#include "runtime/input/a.h"' > "$tmp"/good/input/ime/a.cpp
    echo '#include "runtime/display/a.h"' > "$tmp"/up/core/a.cpp
    echo '#include "runtime/display/a.h"' > "$tmp"/circle/input/a.cpp
    echo '#include "runtime/sound/a.h"' > "$tmp"/circle/display/a.cpp
    echo '#include "runtime/input/a.h"' > "$tmp"/circle/sound/a.h
    check "$tmp/good" > /dev/null || { echo "self-test: a sound layering was refused"; return 1; }
    if check "$tmp/up" > /dev/null; then echo "self-test: core including display passed"; return 1; fi
    if check "$tmp/circle" > /dev/null; then echo "self-test: a three-folder circle passed"; return 1; fi
    echo "self-test passed"
}

if [ "${1:-}" = --self-test ]; then self_test; else check "${1:?usage: check_includes.sh RUNTIME_DIR}"; fi
