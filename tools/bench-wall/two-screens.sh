#!/bin/sh
# Screenshots of walls on two screens: one Xvfb with two X screens (Qt shows a wall on each), a primed cache
# of three clips (make-cache.sh), every screen set to play every cached product, `solvane --start --seconds 20`,
# and two pictures of each screen: <prefix>-early-<n>.png at 3 s (caption, clock and timeline up) and
# <prefix>-late-<n>.png at 12 s (caption gone).
# Usage: two-screens.sh <build folder> <prefix>   (the build folder holds bin/solvane and bin/wall-shot)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:?usage: two-screens.sh <build folder> <prefix>}" && pwd)/bin
prefix=${2:?usage: two-screens.sh <build folder> <prefix>}

tmp=$(mktemp -d)
xvfb=
app=
cleanup() {
  for pid in $app $xvfb; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

mkdir -p "$tmp/home" "$tmp/config" "$tmp/data" "$tmp/cache/Solvane"
"$here/make-cache.sh" "$tmp/cache/Solvane"
# An empty product list means every screen plays every cached product; the screens then avoid each other's.
/usr/bin/python3 -c 'import plistlib, sys; plistlib.dump({"products": []}, open(sys.argv[1], "wb"))' \
  "$tmp/config/example.tessly.solvane.plist"

Xvfb -displayfd 1 -screen 0 1280x720x24 -screen 1 1280x720x24 -nolisten tcp >"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
while [ ! -s "$tmp/display" ]; do sleep 0.1; done
run() {
  env -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY DISPLAY=":$(head -n 1 "$tmp/display")" QT_QPA_PLATFORM=xcb \
    HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache" XDG_DATA_HOME="$tmp/data" "$@"
}

run "$bin/solvane" --start --seconds 20 2>"$tmp/app.log" &
app=$!
sleep 3
run "$bin/wall-shot" "$prefix-early"
sleep 9
run "$bin/wall-shot" "$prefix-late"
wait "$app"
app=
cat "$tmp/app.log"
