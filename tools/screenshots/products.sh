#!/bin/sh
# Screenshots at 1920 x 1080 of the products made here from NASA SDO's images, beside channels they are made
# from: lays out the archive stand-in (real solar imagery, see tools/mirror/make_browse.py) for the channels
# they need, serves it over HTTPS on loopback, makes every clip with one `solvane --refresh`, then
# plays each product alone on a wall (from a copy of that cache) and saves <prefix>-<product>-0.png a few seconds in, caption up.
# Usage: products.sh <build folder> <prefix> [product ...]
#   default products: rainbow composite_uv intensitygram magnetogram 171 304 1600 1700
# The build must hold bin/solvane and bin/wall-shot; a build without sanitizers makes the clips faster.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:?usage: products.sh <build folder> <prefix> [product ...]}" && pwd)/bin
prefix=${2:?usage: products.sh <build folder> <prefix> [product ...]}
shift 2
products=${*:-rainbow composite_uv intensitygram magnetogram 171 304 1600 1700}

tmp=$(mktemp -d)
chmod 755 "$tmp"
xvfb=
nginx=
app=
cleanup() {
  for pid in $app $nginx $xvfb; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

/usr/bin/python3 "$here/../mirror/make_browse.py" "$tmp/archive" --hours 3 \
  --channels 94,131,171,193,211,304,335,1600,1700,HMIIC,HMIB >/dev/null
. "$here/../mirror/serve-standin.sh"
serve_standin "$tmp" "$tmp/archive"

Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp >"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
while [ ! -s "$tmp/display" ]; do sleep 0.1; done
mkdir -p "$tmp/home" "$tmp/config" "$tmp/data" "$tmp/cache"
export DISPLAY=":$(head -n 1 "$tmp/display")" QT_QPA_PLATFORM=xcb HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" \
  XDG_CACHE_HOME="$tmp/cache" XDG_DATA_HOME="$tmp/data" SOLVANE_SDO_BASE="https://127.0.0.1:$port" \
  SSL_CERT_FILE="$standin_cert"
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY SOLVANE_ORIGIN_HOST

settings() { # the products shown, as arguments
  /usr/bin/python3 -c 'import plistlib, sys
plistlib.dump({"products": sys.argv[2:], "mode": "wall", "configured": True}, open(sys.argv[1], "wb"))' \
    "$tmp/config/example.tessly.solvane.plist" "$@"
}

# shellcheck disable=SC2086 # one argument per product
settings $products
"$bin/solvane" --refresh 2>"$tmp/refresh.log" || { cat "$tmp/refresh.log" >&2; exit 1; }
grep -E 'direct:|pass:' "$tmp/refresh.log" | tail -8
# Each wall below starts a pass of its own, which keeps only the product it shows: each starts from a copy
# of the cache the refresh made.
cp -a "$tmp/cache" "$tmp/made"
for product in $products; do
  settings "$product"
  rm -rf "$tmp/cache"
  cp -a "$tmp/made" "$tmp/cache"
  "$bin/solvane" --start --seconds 8 2>"$tmp/app.log" &
  app=$!
  sleep 4
  "$bin/wall-shot" "$prefix-$product"
  wait "$app" || true
  app=
done
