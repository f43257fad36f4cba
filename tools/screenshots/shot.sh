#!/bin/sh
# A screenshot of what a person sees at 1280 x 720, under Xvfb with openbox as the window manager.
# Usage: shot.sh <build folder> <out.png> <scene>
#   wall           the wall playing the bundled clip, caption up; the README's picture
#   preferences    the Preferences window over imagery from NASA SDO, two hours old
#   unreachable    the same with the last pass unable to reach NASA SDO, only the bundled clip on disk
#   welcome        the welcome window of a first start
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:?usage: shot.sh <build folder> <out.png> <scene>}" && pwd)/bin
out=${2:?usage: shot.sh <build folder> <out.png> <scene>}
scene=${3:?usage: shot.sh <build folder> <out.png> <scene>}

tmp=$(mktemp -d)
xvfb=
wm=
app=
cleanup() {
  for pid in $app $wm $xvfb; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT INT TERM
mkdir -p "$tmp/home" "$tmp/config" "$tmp/data" "$tmp/cache/Solvane" "$tmp/run"
chmod 700 "$tmp/run"
plist() { # key=value pairs as Python literals
  /usr/bin/python3 - "$tmp/config/example.tessly.solvane.plist" "$@" <<'PY'
import plistlib, sys
settings = {}
for pair in sys.argv[2:]:
    key, value = pair.split("=", 1)
    settings[key] = eval(value)
plistlib.dump(settings, open(sys.argv[1], "wb"))
PY
}
lastpass() { # reached reason newest host
  # Tagged as a cache folder, so the program takes it as its own and seeds it.
  printf 'Signature: 8a477f597d28d172789f06886806bc55\n' >"$tmp/cache/Solvane/CACHEDIR.TAG"
  cat > "$tmp/cache/Solvane/lastpass.json" <<JSON
{"finished": "$(date -u +%Y-%m-%dT%H:%M:%SZ)", "check": true, "everything": false, "host": "$4",
 "usedOrigin": false, "moved": 0, "pruned": 0, "listed": 3, "failed": [], "reached": $1, "reason": "$2",
 "newest": "$3"}
JSON
}

wait_seconds=${SHOT_WAIT:-15}
arguments=
case "$scene" in
wall)
  plist 'products=[""]' 'configured=True' 'mode="wall"' 'offline=True' 'wallHintShown=True' 'frameClock=True'
  arguments="--start"
  ;;
preferences)
  "$here/../bench-wall/make-cache.sh" "$tmp/cache/Solvane"
  two_hours_ago=$(date -u -d '-2 hours' +%Y-%m-%dT%H:%M:00Z)
  sed -i "s/\"updated\": \"[^\"]*\"/\"updated\": \"$two_hours_ago\"/" "$tmp/cache/Solvane/manifest.json"
  lastpass true "" "$two_hours_ago" "sdo.gsfc.nasa.gov (direct)"
  # Screens that want only what is cached, and a check just made: no pass runs while the picture is taken.
  plist 'configured=True' 'mode="saver"' 'imageryHost=""' 'refreshMinutes=720' 'products=["171,193,304"]' \
    "lastCheck=__import__('datetime').datetime.utcnow()"
  ;;
unreachable)
  lastpass false "Could not resolve host: sdo.gsfc.nasa.gov" "" "sdo.gsfc.nasa.gov (direct)"
  plist 'configured=True' 'mode="saver"' 'imageryHost=""' 'products=["193"]' \
    "lastCheck=__import__('datetime').datetime.utcnow()"
  ;;
welcome)
  plist 'offline=True'
  ;;
*)
  echo "shot.sh: unknown scene $scene" >&2
  exit 2
  ;;
esac

Xvfb -displayfd 1 -screen 0 1280x720x24 -nolisten tcp >"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
while [ ! -s "$tmp/display" ]; do sleep 0.1; done
display=":$(head -n 1 "$tmp/display")"
run() {
  env -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY DISPLAY="$display" QT_QPA_PLATFORM=xcb \
    HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache" XDG_DATA_HOME="$tmp/data" \
    XDG_RUNTIME_DIR="$tmp/run" SOLVANE_ORIGIN_HOST=127.0.0.1:9 "$@"
}
run openbox >/dev/null 2>&1 &
wm=$!
sleep 1
# shellcheck disable=SC2086
run "$bin/solvane" $arguments --seconds 30 2>"$tmp/app.log" &
app=$!
sleep "$wait_seconds"
run import -window root "$out"
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
app=
echo "wrote $out" >&2
