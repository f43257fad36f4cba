#!/bin/sh
# The saver benchmark: CPU time per second of playback of the XScreenSaver hack against the app's wall, on
# the same clip, the same 1920 x 1080 screen (its own Xvfb) and the same settings, in one run.
#  - the app: `solvane --start --seconds N`, full screen;
#  - the hack: `solvane-saver --root` from the carried bundle, playing the app's cache read-only, ended with
#    SIGTERM as XScreenSaver ends it.
# Each runs twice, alternating, so a machine that gets busier part-way weighs on both; CPU (user + system,
# all threads, from /proc) is sampled from 5 s after start to shortly before the end, leaving start-up out.
# Prints both rates and their ratio (goal <= 1.10).
# Usage: bench-saver.sh <build folder>   (a Release build without sanitizers holding bin/solvane and
# lib/solvane/Solvane.saver/)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: bench-saver.sh <build folder>}" && pwd)
app_bin=$build/bin/solvane
hack_bin=$build/lib/solvane/Solvane.saver/solvane-saver
seconds=24 # each run
from=5     # sampling starts here, after start-up
to=22      # and ends here, before the end

tmp=$(mktemp -d)
xvfb=
running=
cleanup() {
  for pid in $running $xvfb; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

cpu() { sed 's/.*) //' "/proc/$1/stat" | awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($12 + $13) / hz }'; }
now() { date +%s.%N; }
sleep_until() { sleep "$(awk -v s="$1" -v at="$2" -v n="$(now)" 'BEGIN { d = s + at - n; print (d > 0 ? d : 0) }')"; }
add() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a + b }'; }

mkdir -p "$tmp/home" "$tmp/config" "$tmp/data" "$tmp/cache/Solvane"
"$here/../bench-wall/make-cache.sh" "$tmp/cache/Solvane"
# One screen playing 171 over and over; offline, so neither side spends anything on the network.
cat >"$tmp/config/example.tessly.solvane.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>products</key>
	<array><string>171</string></array>
	<key>offline</key>
	<true/>
	<key>configured</key>
	<true/>
	<key>mode</key>
	<string>wall</string>
</dict>
</plist>
PLIST

Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp -noreset >"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
while [ ! -s "$tmp/display" ]; do sleep 0.1; done
export DISPLAY=":$(head -n 1 "$tmp/display")" QT_QPA_PLATFORM=xcb HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" \
  XDG_CACHE_HOME="$tmp/cache" XDG_DATA_HOME="$tmp/data"
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY XSCREENSAVER_WINDOW

# One sampled run of a program: prints "cpu seconds" and "wall seconds" of the sampling window.
measure() { # log stop(yes: SIGTERM at the end, no: it ends by itself) command...
  log=$1
  stop=$2
  shift 2
  start=$(now)
  "$@" 2>>"$log" &
  running=$!
  sleep_until "$start" "$from"
  t0=$(now)
  c0=$(cpu "$running")
  sleep_until "$start" "$to"
  t1=$(now)
  c1=$(cpu "$running")
  [ "$stop" = no ] || kill -TERM "$running" 2>/dev/null || true
  wait "$running" || { echo "bench-saver: $1 did not end cleanly" >&2; cat "$log" >&2; exit 1; }
  running=
  awk -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" 'BEGIN { printf "%.3f %.3f\n", c1 - c0, t1 - t0 }'
}

app_cpu=0 app_time=0 hack_cpu=0 hack_time=0
for round in 1 2; do
  set -- $(measure "$tmp/app.log" no "$app_bin" --start --seconds "$seconds")
  app_cpu=$(add "$app_cpu" "$1") app_time=$(add "$app_time" "$2")
  set -- $(measure "$tmp/hack.log" yes "$hack_bin" --root)
  hack_cpu=$(add "$hack_cpu" "$1") hack_time=$(add "$hack_time" "$2")
done
grep -q 'saver: cache .* (the app.s, read-only)' "$tmp/hack.log" || { echo "bench-saver: the hack did not take the app's cache" >&2; cat "$tmp/hack.log" >&2; exit 1; }
[ "$(grep -c 'playing AIA 171' "$tmp/hack.log")" -ge 2 ] || { echo "bench-saver: the hack did not play" >&2; cat "$tmp/hack.log" >&2; exit 1; }
[ "$(grep -c 'playing AIA 171' "$tmp/app.log")" -ge 2 ] || { echo "bench-saver: the app did not play" >&2; cat "$tmp/app.log" >&2; exit 1; }

app_rate=$(awk -v c="$app_cpu" -v t="$app_time" 'BEGIN { printf "%.3f", c / t }')
hack_rate=$(awk -v c="$hack_cpu" -v t="$hack_time" 'BEGIN { printf "%.3f", c / t }')
echo "app wall 1920x1080, clip 171 (1024x1024): $app_rate CPU s per s"
echo "saver hack on the root window, same clip: $hack_rate CPU s per s"
awk -v a="$hack_rate" -v b="$app_rate" 'BEGIN { printf "ratio %.2f (goal <= 1.10)\n", a / b }'
