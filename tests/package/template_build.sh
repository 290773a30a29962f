#!/usr/bin/env bash
# The runtime as a programmer outside this tree gets it: installs the dev
# component of a build into a temporary prefix and, with nothing but that
# prefix, checks the installed headers (each compiles on its own, none is
# internal, none includes SDL), builds the template and the play example with
# CMake (find_package(morv)) and with pkg-config (morv.pc) and runs them
# without a display, sees the event-thread check abort a program that calls
# SDL from its own thread, sees a link without the --wrap options fail, and
# makes the morv-dev package with cpack.
#     tests/package/template_build.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

BUILD=$(cd "${1:?usage: template_build.sh BUILD_DIR SOURCE_DIR}" && pwd -P)
SRC=$(cd "${2:?usage: template_build.sh BUILD_DIR SOURCE_DIR}" && pwd -P)
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
PREFIX=$WORK/prefix
export SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy
unset CPATH CPLUS_INCLUDE_PATH LIBRARY_PATH PKG_CONFIG_PATH

fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "[$SECONDS s] $*"; }

step "installing the dev component into $PREFIX"
cmake --install "$BUILD" --component dev --prefix "$PREFIX" > "$WORK/install.log" || fail "install: $(cat "$WORK/install.log")"
libdir=$(cd "$PREFIX" && dirname "$(find . -name libmorvrt.a)")
for f in "$libdir/libmorvrt.a" "$libdir/cmake/morv/morvConfig.cmake" "$libdir/cmake/morv/morvTargets.cmake" \
         "$libdir/pkgconfig/morv.pc" include/morv/runtime.h; do
    [ -f "$PREFIX/$f" ] || fail "$f is not installed"
done
internal=$(find "$PREFIX/include" -name '*_internal.h')
[ -z "$internal" ] || fail "internal headers installed: $internal"
sdl=$(grep -rl '#include <SDL' "$PREFIX/include" || true)
[ -z "$sdl" ] || fail "installed headers include SDL: $sdl"
# Nothing of the source or build tree is needed: the headers compile against
# the prefix alone (and the compiler's own headers).
headers=$(cd "$PREFIX/include" && find morv -name '*.h' | sort)
compile_alone() {  # a header's include path; prints it when it does not compile
    echo "#include <$1>" | g++ -std=c++20 -Wall -Wextra -Werror -fsyntax-only -I"$PREFIX/include" -x c++ - \
        > /dev/null 2>&1 || echo "$1"
}
export -f compile_alone
export PREFIX
broken=$(xargs -P 2 -n 1 bash -c 'compile_alone "$0"' <<< "$headers")
[ -z "$broken" ] || fail "installed headers that do not compile on their own: $broken"
step "$(wc -w <<< "$headers") installed headers compile on their own"

# Runs a built program headless: exit code 0, and for the template its line.
run_template() {
    local out
    out=$(timeout 30 "$1" 1 2> "$WORK/run.log") || fail "$1 ended with $?: $(head -c 400 "$WORK/run.log")"
    [ "$out" = "template: 10 squares, sum 385" ] || fail "$1 wrote '$out'"
}
run_play() {
    timeout 30 "$1" --beep > "$WORK/run.log" 2>&1 || fail "$1 --beep ended with $?: $(head -c 400 "$WORK/run.log")"
}

step "CMake: find_package(morv) for the template and the play example"
mkdir -p "$WORK/outside"
cat > "$WORK/outside/CMakeLists.txt" << EOF
cmake_minimum_required(VERSION 3.16)
project(outside CXX)
add_subdirectory("$SRC/examples/template" template)
find_package(morv REQUIRED)
add_executable(play "$SRC/examples/play.cpp")
target_link_libraries(play PRIVATE morv::runtime)
add_executable(thread_check "$HERE/thread_check.cpp")
target_link_libraries(thread_check PRIVATE morv::runtime)
EOF
cmake -S "$WORK/outside" -B "$WORK/cmake" -DCMAKE_PREFIX_PATH="$PREFIX" -DCMAKE_BUILD_TYPE=Release \
    > "$WORK/cmake.log" 2>&1 || fail "configure: $(tail -20 "$WORK/cmake.log")"
cmake --build "$WORK/cmake" -j2 > "$WORK/cmake-build.log" 2>&1 || fail "build: $(grep -m5 -A3 error "$WORK/cmake-build.log")"
run_template "$WORK/cmake/template/template"
run_play "$WORK/cmake/play"
# The input-method interface is exported from the program, as in the tree.
nm -D --defined-only "$WORK/cmake/template/template" | grep -q ' InputMethod_Init$' \
    || fail "the template does not export InputMethod_Init"

step "pkg-config: morv.pc for the template and the play example"
export PKG_CONFIG_PATH=$PREFIX/$libdir/pkgconfig
read -r -a cflags <<< "$(pkg-config --cflags morv)"
read -r -a libs <<< "$(pkg-config --static --libs morv)"
build_pc() {  # output, source
    g++ -O1 -o "$1" "$2" "${cflags[@]}" "${libs[@]}" 2> "$WORK/pc.log" || fail "pkg-config build of $2: $(head -20 "$WORK/pc.log")"
}
build_pc "$WORK/template-pc" "$SRC/examples/template/main.cpp"
build_pc "$WORK/play-pc" "$SRC/examples/play.cpp"
build_pc "$WORK/thread-check-pc" "$HERE/thread_check.cpp"
run_template "$WORK/template-pc"
run_play "$WORK/play-pc"

step "the event-thread check travels with the package"
for program in "$WORK/cmake/thread_check" "$WORK/thread-check-pc"; do
    status=0
    timeout 30 "$program" > "$WORK/check.log" 2>&1 || status=$?
    [ "$status" -ne 0 ] && [ "$status" -ne 124 ] || fail "$program: a program-thread SDL_PumpEvents was not stopped (status $status)"
    grep -q 'SDL_PumpEvents called from a thread other than the event thread' "$WORK/check.log" \
        || fail "$program did not name the call: $(head -c 400 "$WORK/check.log")"
done
# Without the --wrap options the link fails, naming the calls it misses.
nowrap=()
for option in "${libs[@]}"; do [[ $option == -Wl,--wrap=* ]] || nowrap+=("$option"); done
[ ${#nowrap[@]} -lt ${#libs[@]} ] || fail "morv.pc carries no --wrap options"
if g++ -o "$WORK/nowrap" "$SRC/examples/template/main.cpp" "${cflags[@]}" "${nowrap[@]}" > "$WORK/nowrap.log" 2>&1; then
    fail "a link without the --wrap options succeeded"
fi
grep -q "undefined reference to \`__real_SDL_" "$WORK/nowrap.log" \
    || fail "the link without --wrap failed for another reason: $(head -5 "$WORK/nowrap.log")"

step "cpack: the morv-dev package"
(cd "$WORK" && cpack -G DEB --config "$BUILD/CPackConfig.cmake" -D CPACK_COMPONENTS_ALL=dev -B "$WORK/deb") \
    > "$WORK/cpack.log" 2>&1 || fail "cpack: $(tail -20 "$WORK/cpack.log")"
deb=$(ls "$WORK"/deb/morv-dev_*.deb 2> /dev/null) || fail "no morv-dev package: $(tail -5 "$WORK/cpack.log")"
[ "$(dpkg-deb -f "$deb" Package)" = morv-dev ] || fail "the package is called $(dpkg-deb -f "$deb" Package)"
depends=$(dpkg-deb -f "$deb" Depends)
for p in libsdl1.2-compat-dev libsdl-ttf2.0-dev libsdl-image1.2-dev libsdl-mixer1.2-dev libsdl-net1.2-dev \
         libx11-dev libxtst-dev libfontconfig-dev; do
    grep -q "\b$p\b" <<< "$depends" || fail "morv-dev does not depend on $p: $depends"
done
contents=$(dpkg-deb -c "$deb")
for f in libmorvrt.a morv.pc morvConfig.cmake include/morv/runtime.h include/morv/display/text.h; do
    grep -q "$f\$" <<< "$contents" || fail "$f is not in morv-dev"
done
grep -Eq 'bin/morv$|_internal\.h$' <<< "$contents" && fail "morv-dev holds the game or an internal header"
step "passed"
