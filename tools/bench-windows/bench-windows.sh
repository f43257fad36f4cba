#!/bin/sh
# Open to first paint of the Preferences and welcome windows on a throw-away Xvfb at 1920 x 1080, with
# throw-away settings and cache. Usage: bench-windows.sh <release build folder> [screenshot folder]
# The build folder must be a Release build without sanitizers holding bin/bench-windows.
set -eu
bin=$(cd "${1:?usage: bench-windows.sh <build folder> [screenshot folder]}" && pwd)/bin
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT INT TERM
mkdir -p "$tmp/config" "$tmp/cache" "$tmp/runtime"
chmod 700 "$tmp/runtime"
shots=
if [ -n "${2:-}" ]; then shots="--shots $(mkdir -p "$2" && cd "$2" && pwd)"; fi
# shellcheck disable=SC2086
XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache" XDG_RUNTIME_DIR="$tmp/runtime" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$bin/bench-windows" ${RUNS:-15} $shots
