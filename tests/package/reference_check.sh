#!/usr/bin/env bash
# The reference check (tools/reference.py): first on a fixture it must pass and
# one it must fail with every kind of problem named, then on the real headers
# as installed (the staged tree in the build folder) against docs/.
#     tests/package/reference_check.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
BUILD=${1:?usage: reference_check.sh BUILD_DIR SOURCE_DIR}
SRC=${2:?usage: reference_check.sh BUILD_DIR SOURCE_DIR}
CHECK=(python3 "$SRC/tools/reference.py" check)
FIXTURE=$SRC/tests/package/reference
fail() { echo "FAIL: $*" >&2; exit 1; }

out=$("${CHECK[@]}" "$FIXTURE/include" "$FIXTURE/docs_complete") || fail "a complete reference failed: $out"
grep -q '4 declarations and 4 constants.*4 entries and 4 table rows.*0 problems' <<< "$out" || fail "the complete fixture was read wrongly: $out"

status=0
out=$("${CHECK[@]}" "$FIXTURE/include" "$FIXTURE/docs_missing") || status=$?
[ "$status" -eq 1 ] || fail "an incomplete reference gave status $status: $out"
for expected in 'sample_word (morv/sample.h): no entry' \
                'sample_add (morv/sample.h): sample.md:[0-9]* does not show the declaration  int32_t sample_add(int32_t a, int32_t b, int32_t c);' \
                'sample_twice: sample.md:[0-9]* has no "Example:" line' \
                'sample_gone: sample.md:[0-9]* documents it, but no installed header declares it' \
                'SampleMode (morv/sample.h): sample.md:[0-9]* does not show the declaration  enum SampleMode : uint8_t' \
                'SAMPLE_FLAG (morv/sample.h): no row' \
                'sample_limit (morv/sample.h): sample.md:[0-9]* gives the value 12; the header has  10' \
                'sample_mode_fancy (morv/sample.h): sample.md:[0-9]* lists it outside the entry of its enum SampleMode' \
                'sample_mode_plain: 2 rows' \
                'sample_lost: sample.md:[0-9]* lists it, but no installed header declares such a constant' \
                ' 10 problems$'; do
    grep -q "$expected" <<< "$out" || fail "not reported: '$expected' in
$out"
done

"${CHECK[@]}" "$BUILD/include" "$SRC/docs"
