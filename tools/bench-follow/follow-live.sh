#!/bin/sh
# The wall following a stand-in that publishes as it runs: lays out the archive stand-in for one channel
# ending <behind> minutes ago, serves it with nginx over HTTPS on loopback, starts `solvane --start` on its
# own Xvfb (1920 x 1080) with throw-away folders, a light pass every <period> seconds
# (SOLVANE_FOLLOW_SECONDS) and a stand-in that adds one image 20 minutes after its newest each period, and
# takes a screenshot of the wall (its caption names the newest frame's time) at the start and after each
# of <periods> periods, with the log lines of the light passes.
# Usage: follow-live.sh <build folder> <screenshot prefix> [period seconds] [periods] [behind minutes]
# The default, 60 s, 6 periods, 120 minutes behind, shows the wall catching up two hours of the Sun.
# For a run in real time: period 1200 and behind 0, with as many periods as hours wanted times three.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:?usage: follow-live.sh <build folder> <screenshot prefix> [period] [periods] [behind]}" && pwd)/bin
shots=${2:?usage: follow-live.sh <build folder> <screenshot prefix> [period] [periods] [behind]}
period=${3:-60}
periods=${4:-6}
behind=${5:-120}
generator=${SOLVANE_STAND_IN:-/usr/bin/python3 $here/../mirror/make_browse.py}

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

end=$(date -u -d "-$behind minutes" +%Y-%m-%dT%H:%M:%SZ)
$generator "$tmp/archive" --channels 171 --hours 50 --now "$end" >/dev/null
. "$here/../mirror/serve-standin.sh"
serve_standin "$tmp" "$tmp/archive" "gzip on;"

Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp >"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
while [ ! -s "$tmp/display" ]; do sleep 0.1; done
mkdir -p "$tmp/home" "$tmp/config" "$tmp/data" "$tmp/cache"
# One screen, one product, the caption in UTC: each loop's caption names the clip's newest frame.
cat >"$tmp/config/example.tessly.solvane.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>products</key>
	<array><string>171</string></array>
	<key>mode</key>
	<string>wall</string>
	<key>configured</key>
	<true/>
	<key>captionUTC</key>
	<true/>
</dict>
</plist>
PLIST
export DISPLAY=":$(head -n 1 "$tmp/display")" QT_QPA_PLATFORM=xcb HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" \
  XDG_CACHE_HOME="$tmp/cache" XDG_DATA_HOME="$tmp/data" SOLVANE_SDO_BASE="https://127.0.0.1:$port" \
  SSL_CERT_FILE="$tmp/cert.pem" SOLVANE_FOLLOW_SECONDS="$period"
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY SOLVANE_ORIGIN_HOST

start=$(date +%s)
"$bin/solvane" --start --seconds $(((periods + 2) * period + 120)) 2>"$tmp/app.log" &
app=$!
until grep -q '"video": "171.mp4"' "$tmp/cache/Solvane/manifest.json" 2>/dev/null &&
  grep -q 'pass: checked' "$tmp/app.log"; do
  sleep 1
  [ $(($(date +%s) - start)) -lt 300 ] || { echo "no clip within 300 s" >&2; cat "$tmp/app.log" >&2; exit 1; }
done
newest() { sed -n 's/.*"updated": "\([^"]*\)".*/\1/p' "$tmp/cache/Solvane/manifest.json" | head -n 1; }
# A shot when the clip starts again (its caption is up for a few seconds then).
shot() { # name
  lines=$(grep -c 'playing ' "$tmp/app.log" || true)
  until [ "$(grep -c 'playing ' "$tmp/app.log" || true)" -gt "$lines" ]; do sleep 0.2; done
  sleep 1.5
  "$bin/wall-shot" "$shots-$1" >/dev/null
  echo "$1: newest frame in the cache $(newest) (shot $shots-$1-0.png)"
}
shot start
n=1
while [ "$n" -le "$periods" ]; do
  $generator "$tmp/archive" --add 171:1 >/dev/null
  # The light pass that found it (one that ran just before the image came finds nothing).
  follows=$(grep -c 'follow: 171: [1-9]' "$tmp/app.log" || true)
  until [ "$(grep -c 'follow: 171: [1-9]' "$tmp/app.log" || true)" -gt "$follows" ]; do sleep 1; done
  grep 'follow: 171' "$tmp/app.log" | tail -n 1
  shot "period-$n"
  n=$((n + 1))
done
echo "listing requests (status, bytes):"
grep 'index.html' "$tmp/nginx/access.log" | awk '{ print $3, $4 }' | sort | uniq -c
