#!/bin/sh
# The wall benchmark, in one run on its own Xvfb at 1920 x 1080:
#  1. `solvane --start --seconds N` full screen on a primed cache of 1024 x 1024 clips, with throw-away home,
#     config and cache folders: CPU time (user + system, all threads) per second of playback, sampled from
#     /proc between 5 s after start and shortly before the end, so start-up is left out; one screenshot.
#  2. ffmpeg decoding the same clip (looped) and scaling it to what the wall shows (1080 x 1080, aspect fit,
#     the same scaler flags and pixel format as the player: bilinear without accurate rounding, BGRA) at
#     the wall's presentation rate (half speed: `-readrate 0.5`, 9 frames/s), sampled over the same window
#     the same way.
#  3. mpv playing the same clip the way a person would instead (`--vo=x11`, full screen, `--speed=0.5`),
#     sampled over the same window the same way.
#     Steps 1 to 3 run in turn for ROUNDS rounds (default 5): a shared or virtual machine's speed drifts by a
#     third from minute to minute, so each round's ratios come from runs next to each other, and the medians
#     of the rounds are what counts.
#  4. The wall against ffmpeg (goal <= 1.25), split into the main thread (scaling, painting and presenting) and the
#     others (decoding), and against mpv (goal <= 1.00); then bench-wall-memory: resident
#     size over 100 clip changes.
#  5. The app again, the same way, on the same clips made at 2048 x 2048 (sharper clips), against step 1.
# Usage: bench-wall.sh <build folder> [screenshot prefix]
# The build folder must be a build without sanitizers (the default RelWithDebInfo, or Release) holding
# bin/solvane, bin/wall-shot and bin/bench-wall-memory.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:?usage: bench-wall.sh <build folder> [screenshot prefix]}" && pwd)/bin
shots=${2:-}
seconds=30 # the app's run
from=5     # sampling starts here, after start-up
to=27      # and ends here, before the app quits
rounds=${ROUNDS:-5}

tmp=$(mktemp -d)
xvfb=
app=
reference=
player=
cleanup() {
  for pid in $app $reference $player $xvfb; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT INT TERM

# CPU seconds (user + system) of a running process, from /proc/<pid>/stat (after the name in parentheses
# the 12th and 13th fields are utime and stime in clock ticks).
cpu() { sed 's/.*) //' "/proc/$1/stat" | awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f", ($12 + $13) / hz }'; }
# The same for the process's main thread alone, which paints the wall (the rest is decoding and I/O).
gui_cpu() { cpu "$1/task/$1"; }
now() { date +%s.%N; }
# CPU seconds per wall second between two samples: cpu0 cpu1 t0 t1
rate() { awk -v c0="$1" -v c1="$2" -v t0="$3" -v t1="$4" 'BEGIN { printf "%.3f", (c1 - c0) / (t1 - t0) }'; }
# Sleeps until <seconds> after <start>.
sleep_until() { sleep "$(awk -v s="$1" -v at="$2" -v n="$(now)" 'BEGIN { d = s + at - n; print (d > 0 ? d : 0) }')"; }

mkdir -p "$tmp/home" "$tmp/config" "$tmp/data" "$tmp/cache/Solvane"
"$here/make-cache.sh" "$tmp/cache/Solvane"
# The one screen plays the clip ffmpeg decodes, over and over (the default list gives screen 0 a product
# the cache lacks); the other two clips are for the memory run, which plays every cached clip.
cat >"$tmp/config/example.tessly.solvane.plist" <<PLIST
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>products</key>
	<array><string>171</string></array>
</dict>
</plist>
PLIST

Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp >"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
while [ ! -s "$tmp/display" ]; do sleep 0.1; done
display=:$(head -n 1 "$tmp/display")
# Nothing of the user's session reaches the runs: own display, own folders, no session bus.
export DISPLAY="$display" QT_QPA_PLATFORM=xcb HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" \
  XDG_CACHE_HOME="$tmp/cache" XDG_DATA_HOME="$tmp/data"
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY

# 1. The app (run again in step 5 on sharper clips).
wall_run() {
start=$(now)
"$bin/solvane" --start --seconds "$seconds" 2>"$tmp/app.log" &
app=$!
sleep_until "$start" "$from"
t0=$(now)
c0=$(cpu "$app")
g0=$(gui_cpu "$app")
sleep_until "$start" 19 # the clip has started again: its caption shows
"$bin/wall-shot" "$tmp/shot" >/dev/null
[ -n "$shots" ] && cp "$tmp/shot-0.png" "$shots-0.png"
sleep_until "$start" "$to"
t1=$(now)
c1=$(cpu "$app")
g1=$(gui_cpu "$app")
wait "$app"
app=
wall=$(rate "$c0" "$c1" "$t0" "$t1")
gui=$(rate "$g0" "$g1" "$t0" "$t1")
clips=$(grep -c 'playing AIA' "$tmp/app.log" || true)
}

# 2. ffmpeg on the same clip, the same size and rate, sampled over the same window.
ffmpeg_run() {
start=$(now)
ffmpeg -nostdin -v error -readrate 0.5 -stream_loop -1 -i "$tmp/cache/Solvane/171.mp4" \
  -vf "scale=1080:1080:flags=bilinear,format=bgra" -f null - &
reference=$!
sleep_until "$start" "$from"
t0=$(now)
c0=$(cpu "$reference")
sleep_until "$start" "$to"
t1=$(now)
c1=$(cpu "$reference")
kill "$reference"
wait "$reference" 2>/dev/null || true
reference=
ffmpeg_rate=$(rate "$c0" "$c1" "$t0" "$t1")
}

# 3. mpv on the same clip, screen and rate, sampled over the same window.
mpv_run() {
start=$(now)
mpv --no-config --really-quiet --vo=x11 --fs --no-audio --speed=0.5 --loop-file=inf \
  "$tmp/cache/Solvane/171.mp4" </dev/null >/dev/null 2>"$tmp/mpv.log" &
player=$!
sleep_until "$start" "$from"
t0=$(now)
c0=$(cpu "$player")
sleep_until "$start" "$to"
t1=$(now)
c1=$(cpu "$player")
kill "$player"
wait "$player" 2>/dev/null || true
player=
mpv_rate=$(rate "$c0" "$c1" "$t0" "$t1")
}

# Each round: wall, ffmpeg, mpv; one line of CPU s per s each, kept for the medians. Only the first round
# keeps its screenshot.
: >"$tmp/rounds"
round=1
while [ "$round" -le "$rounds" ]; do
  wall_run
  shots=
  ffmpeg_run
  mpv_run
  echo "round $round: wall $wall (main thread $gui), ffmpeg $ffmpeg_rate, mpv $mpv_rate CPU s per s; $clips clip starts"
  echo "$wall $gui $ffmpeg_rate $mpv_rate" >>"$tmp/rounds"
  round=$((round + 1))
done
# The median of one column of a stream of numbers.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
of_rounds() { awk "{ print $1 }" "$tmp/rounds" | median; }
wall=$(of_rounds '$1')
ffmpeg_rate=$(of_rounds '$3')
mpv_rate=$(of_rounds '$4')

echo "medians of $rounds rounds:"
echo "wall 1920x1080 (1024x1024 clips shown at 1080x1080, 9 frames/s): $wall CPU s per s"
echo "ffmpeg decode + scale to 1080x1080 BGRA at 9 frames/s (-readrate 0.5): $ffmpeg_rate CPU s per s"
echo "mpv --vo=x11 full screen at 9 frames/s (--speed=0.5): $mpv_rate CPU s per s"
# The ratios are the medians of each round's own ratios, so a slow minute weighs on both sides alike.
printf "ratio %.2f (goal <= 1.25)\n" "$(of_rounds '$1 / $3')"
# Where the wall's share goes: scaling, painting and presenting (the main thread) against the rest (decoding).
printf "of which scaling and painting (main thread) %.2f and decoding (other threads) %.2f of ffmpeg\n" \
  "$(of_rounds '$2 / $3')" "$(of_rounds '($1 - $2) / $3')"
printf "against mpv --vo=x11: ratio %.2f (goal <= 1.00)\n" "$(of_rounds '$1 / $4')"

# 4. Memory over clip changes.
"$bin/bench-wall-memory" 100 2>>"$tmp/memory.log" || { cat "$tmp/memory.log" >&2; exit 1; }

# 5. The same wall on 2048 x 2048 clips.
wall1024=$wall
shots=
"$here/make-cache.sh" "$tmp/cache/Solvane" 2048
wall_run
echo "wall 1920x1080 on 2048x2048 clips: $wall CPU s per s, against $wall1024 on 1024x1024 clips: ratio $(awk -v a="$wall" -v b="$wall1024" 'BEGIN { printf "%.2f", a / b }')"
