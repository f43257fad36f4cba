#!/bin/sh
# A first start in a fresh home, as a new user has it, with the archive stand-in in place of NASA SDO:
# lays out the stand-in (seven channels, a few hours), serves it with nginx over HTTPS on loopback, starts
# `solvane --start` on its own Xvfb with throw-away home, config and cache folders and default settings,
# waits until the first pass has put the Sun in the cache, and saves a screenshot of the wall.
# Usage: fresh-home.sh <build folder> <screenshot prefix>   (the build must hold bin/solvane and bin/wall-shot)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:?usage: fresh-home.sh <build folder> <screenshot prefix>}" && pwd)/bin
shots=${2:?usage: fresh-home.sh <build folder> <screenshot prefix>}

tmp=$(mktemp -d)
chmod 755 "$tmp"
xvfb=
app=
nginx=
cleanup() {
  for pid in $app $nginx $xvfb; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

/usr/bin/python3 "$here/../mirror/make_browse.py" "$tmp/archive" --channels 94,131,171,193,211,304,335 --hours 8
. "$here/../mirror/serve-standin.sh"
serve_standin "$tmp" "$tmp/archive" "limit_rate 1250k;"

Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp >"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
while [ ! -s "$tmp/display" ]; do sleep 0.1; done
mkdir -p "$tmp/home" "$tmp/config" "$tmp/data" "$tmp/cache"
export DISPLAY=":$(head -n 1 "$tmp/display")" QT_QPA_PLATFORM=xcb HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" \
  XDG_CACHE_HOME="$tmp/cache" XDG_DATA_HOME="$tmp/data" SOLVANE_SDO_BASE="https://127.0.0.1:$port" \
  SSL_CERT_FILE="$tmp/cert.pem"
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY SOLVANE_ORIGIN_HOST

start=$(date +%s)
"$bin/solvane" --start --seconds 150 2>"$tmp/app.log" &
app=$!
# First light: the manifest lists a product of ours instead of the seed.
until grep -q '"video": "rainbow.mp4"' "$tmp/cache/Solvane/manifest.json" 2>/dev/null; do
  sleep 0.5
  [ $(($(date +%s) - start)) -lt 120 ] || { echo "no first light within 120 s" >&2; cat "$tmp/app.log" >&2; exit 1; }
done
echo "first light after $(($(date +%s) - start)) s"
# The wall changes clips when the one playing ends; the seed runs about eight seconds.
sleep 25
"$bin/wall-shot" "$shots"
grep -E 'direct|pass:|playing' "$tmp/app.log" | head -20
