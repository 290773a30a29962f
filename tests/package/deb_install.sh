#!/usr/bin/env bash
# The Debian package on a clean Debian 12: builds the .deb, installs it with apt
# into a fresh debootstrap root, starts /usr/bin/morv from it on an Xvfb of
# this machine, sees its window and its icon, closes it, removes the package
# and checks that nothing it installed remains.
# Needs root, network to deb.debian.org and a few minutes the first time; the
# finished root is kept as a tar in the build folder, so reruns take seconds.
#     tests/package/deb_install.sh BUILD_DIR [--root-only]
set -euo pipefail

BUILD=$(cd "${1:?usage: deb_install.sh BUILD_DIR [--root-only]}" && pwd -P)
HERE=$(cd "$(dirname "$0")" && pwd)
MIRROR=${MORV_DEBIAN_MIRROR:-http://deb.debian.org/debian}
WORK=$BUILD/package-test
ROOT_TAR=$WORK/bookworm-root.tar
ROOT=$WORK/root

fail() { echo "FAIL: $*" >&2; exit 1; }
step_start=$(date +%s)
step() { local now; now=$(date +%s); echo "[$((now - step_start)) s] $*"; }

[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, chroot, mounts)"
export DEBIAN_FRONTEND=noninteractive
need=()
command -v debootstrap > /dev/null || need+=(debootstrap)
command -v Xvfb > /dev/null || need+=(xvfb)
command -v xdotool > /dev/null || need+=(xdotool)
command -v xprop > /dev/null || need+=(x11-utils)
command -v convert > /dev/null || need+=(imagemagick)
if [ ${#need[@]} -gt 0 ]; then
    apt-get update -qq && apt-get install -y -qq --no-install-recommends "${need[@]}" > /dev/null
fi

mkdir -p "$WORK"
if [ ! -s "$ROOT_TAR" ]; then
    step "making a Debian 12 root with debootstrap (minutes)"
    rm -rf "$WORK/root-new"
    debootstrap --variant=minbase bookworm "$WORK/root-new" "$MIRROR" > "$WORK/debootstrap.log" 2>&1 \
        || fail "debootstrap failed; see $WORK/debootstrap.log"
    tar -C "$WORK/root-new" -cf "$ROOT_TAR.part" . && mv "$ROOT_TAR.part" "$ROOT_TAR"
    rm -rf "$WORK/root-new"
fi
[ "${2:-}" = --root-only ] && { step "root ready: $ROOT_TAR"; exit 0; }

step "building the package"
cmake --build "$BUILD" -j2 --target morv morv_icons x_close_window > "$WORK/build.log" 2>&1 \
    || fail "build failed; see $WORK/build.log"
rm -f "$BUILD"/morv_*.deb
(cd "$BUILD" && cpack -G DEB) > "$WORK/cpack.log" 2>&1 || fail "cpack failed; see $WORK/cpack.log"
DEB=$(ls "$BUILD"/morv_*.deb)
depends=$(dpkg-deb -f "$DEB" Depends)
echo "package: $(basename "$DEB"), $(stat -c %s "$DEB") bytes; Depends: $depends"
# Every SDL 1.2 library morv links to is named by its package in Depends.
for lib in $(ldd "$BUILD/morv" | awk '/libSDL(-1\.2|_)/ { print $3 }'); do
    owner=$(dpkg -S "$(readlink -f "$(dirname "$lib")")/$(basename "$lib")" | cut -d: -f1)
    tr ',|' '\n\n' <<< "$depends" | sed 's/(.*//; s/ //g' | grep -qxF "$owner" \
        || fail "$lib comes from $owner, which Depends does not name"
done
dpkg-deb -c "$DEB" | grep -Eq '/(examples|tests)/|runtime_idle|_test|_bench' && fail "test or example programs packaged"

step "unpacking a fresh root"
rm -rf "$ROOT" && mkdir -p "$ROOT" && tar -C "$ROOT" -xf "$ROOT_TAR"
cp /etc/resolv.conf "$ROOT/etc/resolv.conf"
cp "$DEB" "$ROOT/tmp/morv.deb"
mkdir -p "$ROOT/tmp/.X11-unix"
# Runs a command in the root, with /proc, /dev and the host's X socket folder
# mounted in a mount namespace of its own: the mounts go when it ends. Each
# step execs the next, so the command keeps the process id it was started with.
in_root=(unshare --mount --propagation private sh -c
         'mount -t proc proc "$0/proc" && mount --rbind /dev "$0/dev" &&
          mount --bind /tmp/.X11-unix "$0/tmp/.X11-unix" && exec chroot "$0" "$@"' "$ROOT")
in_root() { "${in_root[@]}" "$@"; }
# The processes running in the root (none once morv has ended).
root_processes() {
    local p
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2> /dev/null)" = "$ROOT" ] && echo "${p#/proc/}"
    done
    return 0
}

step "installing the package with apt in the root"
in_root apt-get update -qq > "$WORK/apt.log" 2>&1 || fail "apt-get update failed; see $WORK/apt.log"
in_root apt-get install -y --no-install-recommends /tmp/morv.deb >> "$WORK/apt.log" 2>&1 \
    || fail "apt-get install failed; see $WORK/apt.log"
echo "apt: $(grep -Eo '[0-9]+ newly installed' "$WORK/apt.log")"
# morv runs on the SDL 1.2 it was built on: sdl12-compat, not the classic library.
sdl=$(in_root dpkg-query -W -f='${Package} ${Version}\n' libsdl1.2-compat-shim libsdl1.2debian 2> /dev/null || true)
grep -q '^libsdl1.2-compat-shim ' <<< "$sdl" || fail "SDL 1.2 in the root is not sdl12-compat: $sdl"
files=$(in_root dpkg-query -L morv)
for f in /usr/bin/morv /usr/share/applications/morv.desktop \
         /usr/share/icons/hicolor/32x32/apps/morv.png /usr/share/icons/hicolor/256x256/apps/morv.png; do
    grep -qx "$f" <<< "$files" || fail "$f not in the package"
done

step "starting /usr/bin/morv from the root under Xvfb"
source "$HERE/../e2e/lib.sh"
start_xvfb
# A morv left running when its X server goes would never end: whatever stopped
# the test, nothing started in the root outlives it.
trap 'kill $XVFB_PID 2> /dev/null; for p in $(root_processes); do kill -9 "$p"; done' EXIT
"${in_root[@]}" env -i DISPLAY="$DISPLAY" HOME=/root PATH=/usr/bin:/bin /usr/bin/morv > "$WORK/morv.log" 2>&1 &
APP_PID=$!
win=$(find_window MORV) || fail "no window named MORV; morv said: $(head -c 500 "$WORK/morv.log")"
echo "window $win: $(xwininfo -id "$win" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w " x " h}')"

# The window's icon is the installed 32 x 32 PNG, and the large PNG is the same picture.
icons=$ROOT/usr/share/icons/hicolor
window_icon=$(xprop -id "$win" -notype 32c _NET_WM_ICON | sed 's/^[^=]*= *//; s/,//g')
png_icon=$(convert "$icons/32x32/apps/morv.png" -depth 8 rgba:- | od -An -v -tu1 |
           awk '{ for (i = 1; i <= NF; i++) b[n++] = $i }
                END { printf "32 32"; for (i = 0; i < n; i += 4)
                      printf " %.0f", ((b[i + 3] * 256 + b[i]) * 256 + b[i + 1]) * 256 + b[i + 2] }')
[ "$window_icon" = "$png_icon" ] || fail "the window's icon is not the installed 32 x 32 PNG:
  window: ${window_icon:0:120}...
  png:    ${png_icon:0:120}..."
[ "$(identify -format %wx%h "$icons/256x256/apps/morv.png")" = 256x256 ] || fail "the large icon is not 256 x 256"
cmp -s <(convert "$icons/256x256/apps/morv.png" -sample 32x32 rgba:-) \
       <(convert "$icons/32x32/apps/morv.png" rgba:-) || fail "the 256 x 256 icon is another picture"

"$BUILD/tests/x_close_window" MORV || fail "could not ask the window to close"
wait_exit "$APP_PID" 50 || fail "morv still running 5 s after the close"
[ "$EXIT_CODE" -eq 0 ] || fail "morv ended with code $EXIT_CODE: $(head -c 500 "$WORK/morv.log")"
APP_PID=""
left=$(root_processes)
[ -z "$left" ] || fail "still running in the root: $(for p in $left; do tr '\0' ' ' < "/proc/$p/cmdline"; echo; done)"

step "removing the package"
in_root dpkg -r morv > "$WORK/remove.log" 2>&1 || fail "dpkg -r failed; see $WORK/remove.log"
status=$(in_root dpkg-query -W -f='${db:Status-Abbrev}' morv 2> /dev/null || true)
[ -z "$status" ] || [[ "$status" == un* ]] || fail "package state after removal: '$status'"
# A folder may stay only while another package owns it.
while read -r f; do
    [ -n "$f" ] && [ "$f" != /. ] || continue
    if [ -d "$ROOT$f" ] && [ ! -L "$ROOT$f" ]; then
        in_root dpkg-query -S "$f" > /dev/null 2>&1 || fail "folder $f remains, owned by no package"
    elif [ -e "$ROOT$f" ] || [ -L "$ROOT$f" ]; then
        fail "$f remains"
    fi
done <<< "$files"
left=$(find "$ROOT/usr" "$ROOT/etc" -name '*morv*' 2> /dev/null)
[ -z "$left" ] || fail "left behind: $left"
step "package installed, ran and removed cleanly"
