#!/usr/bin/env bash
# The folders of runtime/ are layered in the order the README's layout lists
# them (input/ime right above input): a folder includes only folders listed
# above it, so core includes none and no two folders include each other.
# Usage: check_includes.sh RUNTIME_DIR [README]  (exit 0 when the layering holds;
#        README defaults to the one beside RUNTIME_DIR)
#        check_includes.sh --self-test           (the check finds the faults)
set -euo pipefail

# The folders in their order, one a line, from the README's layout block.
layer_order() {
    sed -n '/^## Layout/,/^## /p' "$1" | grep -o '^runtime/[a-z_]*/' | sed 's|^runtime/||; s|/$||' |
        awk '{ print } $0 == "input" { print "input/ime" }'
}

check() {
    local root=$1 readme=$2 order edges
    order=$(layer_order "$readme")
    [ -n "$order" ] || { echo "no runtime folders in the layout of $readme"; return 1; }
    # Edges "from to" between folders (input/ime counts as a folder of its own).
    edges=$(cd "$root" && grep -rHo --include='*.h' --include='*.cpp' '#include "runtime/[a-z_]*\(/ime\)\?/' . |
        sed -E 's|^\./||; s|:#include "runtime/| |; s|/$||' |
        awk '{ n = split($1, p, "/"); if (n < 2) next;
               from = p[1]; if (p[1] == "input" && p[2] == "ime" && n > 2) from = "input/ime";
               if (from != $2) print from, $2 }' | sort -u)
    local wrong
    wrong=$(awk 'NR == FNR { rank[$1] = FNR; next }
                 !($1 in rank) || !($2 in rank) { print "  " $1 " -> " $2 " (not in the layout)"; next }
                 rank[$2] >= rank[$1] { print "  " $1 " -> " $2 }' <(printf '%s\n' "$order") <(printf '%s\n' "$edges"))
    if [ -n "$wrong" ]; then
        echo "runtime folders include folders listed below them in the README's layout ($(tr '\n' ' ' <<<"$order")):"
        echo "$wrong"
        return 1
    fi
}

self_test() {
    local tmp
    tmp=$(mktemp -d)
    trap 'rm -rf "$tmp"' RETURN
    printf '## Layout\nruntime/core/  a\nruntime/sound/ b\nruntime/display/ c\nruntime/input/ d\n## Next\n' > "$tmp/README.md"
    mkdir -p "$tmp"/good/{core,display,input/ime} "$tmp"/up/{core,display} "$tmp"/circle/{core,sound,display,input} \
        "$tmp"/order/{sound,display} "$tmp"/ime/{input/ime,display}
    echo '#include "runtime/core/a.h"' > "$tmp"/good/display/a.cpp
    echo '#include "runtime/display/a.h"' > "$tmp"/good/input/a.cpp
    echo '#include "runtime/input/a.h"' > "$tmp"/good/input/ime/a.cpp
    echo '#include "runtime/display/a.h"' > "$tmp"/up/core/a.cpp
    echo '#include "runtime/display/a.h"' > "$tmp"/circle/input/a.cpp
    echo '#include "runtime/sound/a.h"' > "$tmp"/circle/display/a.cpp
    echo '#include "runtime/input/a.h"' > "$tmp"/circle/sound/a.h
    echo '#include "runtime/display/a.h"' > "$tmp"/order/sound/a.cpp
    echo '#include "runtime/input/ime/a.h"' > "$tmp"/ime/display/a.cpp
    check "$tmp/good" "$tmp/README.md" > /dev/null || { echo "self-test: a sound layering was refused"; return 1; }
    if check "$tmp/up" "$tmp/README.md" > /dev/null; then echo "self-test: core including display passed"; return 1; fi
    if check "$tmp/circle" "$tmp/README.md" > /dev/null; then echo "self-test: a three-folder circle passed"; return 1; fi
    if check "$tmp/order" "$tmp/README.md" > /dev/null; then echo "self-test: sound including display passed"; return 1; fi
    if check "$tmp/ime" "$tmp/README.md" > /dev/null; then echo "self-test: display including input/ime passed"; return 1; fi
    echo "self-test passed"
}

if [ "${1:-}" = --self-test ]; then
    self_test
else
    root=${1:?usage: check_includes.sh RUNTIME_DIR [README]}
    check "$root" "${2:-$root/../README.md}"
fi
