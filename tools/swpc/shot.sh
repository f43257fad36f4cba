#!/bin/sh
# Screenshots of the space-weather surfaces from a stand-in of NOAA SWPC, through the program's own
# refresh: make_swpc.py lays out the stand-in with a storm under way, a local HTTPS server serves it,
# `solvane --refresh` reads it into the cache, and the wall shows it under Xvfb with openbox.
# Usage: shot.sh <build folder> <out folder> [storm level, default 2]
# Writes <out>/wall-badge-card.png and <out>/wall-1080.png (the wall with the badge, the caption and the
# card up, at 1280 x 720 and 1920 x 1080), <out>/preferences.png (the Preferences window with its "Space
# weather" card) and <out>/diagnose.txt (solvane --diagnose).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:?usage: shot.sh <build folder> <out folder> [storm]}" && pwd)/bin
out=${2:?usage: shot.sh <build folder> <out folder> [storm]}
storm=${3:-2}
mkdir -p "$out"

tmp=$(mktemp -d)
server=
xvfb=
wm=
app=
cleanup() {
  for pid in $app $wm $xvfb $server; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT INT TERM
mkdir -p "$tmp/home" "$tmp/config" "$tmp/data" "$tmp/cache/Solvane" "$tmp/run"
chmod 700 "$tmp/run"

/usr/bin/python3 "$here/make_swpc.py" "$tmp/swpc" --storm "$storm"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$tmp/key.pem" -out "$tmp/cert.pem" -days 1 \
  -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 2>/dev/null
/usr/bin/python3 "$here/../mirror/fault_server.py" "$tmp/swpc" --cert "$tmp/cert.pem" --key "$tmp/key.pem" \
  --log "$tmp/access.log" >"$tmp/server.out" 2>&1 &
server=$!
while ! grep -q '^port ' "$tmp/server.out"; do sleep 0.1; done
port=$(sed -n 's/^port //p' "$tmp/server.out")

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
run() {
  env -u DBUS_SESSION_BUS_ADDRESS -u WAYLAND_DISPLAY QT_QPA_PLATFORM="${QPA:-offscreen}" \
    HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache" XDG_DATA_HOME="$tmp/data" \
    XDG_RUNTIME_DIR="$tmp/run" SOLVANE_ORIGIN_HOST=127.0.0.1:9 SOLVANE_SDO_BASE=https://127.0.0.1:9 \
    SSL_CERT_FILE="$tmp/cert.pem" \
    SOLVANE_SWPC_BASE="https://127.0.0.1:$port" "$@"
}

# The refresh reaches no imagery (nothing listens on port 9; NASA SDO is not asked) but reads space
# weather from the stand-in.
plist 'configured=True' 'mode="wall"' 'products=[""]'
run "$bin/solvane" --refresh >"$tmp/refresh.log" 2>&1 || true
test -s "$tmp/cache/Solvane/spaceweather.json" || { cat "$tmp/refresh.log" >&2; exit 1; }
run "$bin/solvane" --diagnose >"$out/diagnose.txt"

# The wall offline (no pass while the picture is taken), the badge on, the card at every clip.
plist 'products=[""]' 'configured=True' 'mode="wall"' 'offline=True' 'wallHintShown=True' 'frameClock=True' \
  'spaceWeatherBadge=True' 'infoEvery=1'
shoot() { # width height out.png [solvane's arguments]
  Xvfb -displayfd 1 -screen 0 "${1}x${2}x24" -nolisten tcp >"$tmp/display" 2>"$tmp/xvfb.log" &
  xvfb=$!
  while [ ! -s "$tmp/display" ]; do sleep 0.1; done
  display=":$(head -n 1 "$tmp/display")"
  QPA=xcb DISPLAY="$display" run openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
  # shellcheck disable=SC2086
  QPA=xcb DISPLAY="$display" run "$bin/solvane" ${4:---start} --seconds 60 2>"$tmp/app.log" &
  app=$!
  # The caption (and the badge with it) shows for six seconds from the first clip's start.
  for _ in $(seq 1 300); do grep -q 'showing\|preferences\|settings' "$tmp/app.log" 2>/dev/null && break; sleep 0.1; done
  sleep "${SHOT_WAIT:-3}"
  DISPLAY="$display" import -window root "$3"
  kill "$app" "$wm" "$xvfb" 2>/dev/null || true
  wait "$app" "$wm" "$xvfb" 2>/dev/null || true
  app= wm= xvfb=
  : >"$tmp/display"
  echo "wrote $3" >&2
}
shoot 1280 720 "$out/wall-badge-card.png"
shoot 1920 1080 "$out/wall-1080.png"
# The Preferences window (a configured start in Screen Saver mode opens it), tall enough to show every card.
plist 'products=[""]' 'configured=True' 'mode="saver"' 'offline=True' 'notifyFlares=True' 'notifyStorms=2' \
  'flareNoticeClass="M1"'
SHOT_WAIT=${SHOT_WAIT:-3} shoot 1920 1200 "$out/preferences.png" " "
