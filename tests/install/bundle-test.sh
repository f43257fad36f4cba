#!/usr/bin/env bash
# The portable build's folder, made from a finished build folder (no tarball): every library its programs and
# plugins need is found inside it or left to the system by the exclusion list (make-bundle checks that), what
# it carries is what the loader starts for a light action and for the application (with its Qt platform
# plugin, found through qt.conf), and its install script installs and uninstalls it.
# Usage: bundle-test.sh <build folder>
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
export ASAN_OPTIONS=detect_leaks=0

if ! "$source_dir/scripts/make-bundle" "$work/out" --build "$build" --folder >"$work/made" 2>&1; then
  fail "make-bundle"; sed 's/^/    /' "$work/made"; exit 1
fi
echo "ok: $(tail -1 "$work/made")"
folder=$(echo "$work/out"/solvane-*/)
folder=${folder%/}

# What the loader starts: every library the folder carries comes from the folder, unless a library of the
# system's needed it first (then both use the system's copy); Qt's platform plugin comes from the folder
# through qt.conf, and GIO's dconf module (GNOME's settings) from the folder too.
started() { # started <action...>: the libraries the loader starts, one path a line
  env -i HOME="$work/home" ASAN_OPTIONS="$ASAN_OPTIONS" QT_QPA_PLATFORM=offscreen XDG_CURRENT_DESKTOP=GNOME LD_DEBUG=libs \
    "$folder/bin/solvane" "$@" 2>&1 >/dev/null | sed -n 's/.*calling init: //p' | sort -u || true
}
for run in "--version" "--start --seconds 2"; do
  # shellcheck disable=SC2086
  started $run >"$work/started"
  grep -v "^$folder/" "$work/started" | xargs -r -n1 readelf -d --wide 2>/dev/null |
    sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort -u >"$work/system-needs"
  found=""
  while read -r path; do
    case $path in "$folder"/*) continue ;; esac
    [ ! -e "$folder/lib/${path##*/}" ] || grep -qxF "${path##*/}" "$work/system-needs" || found+=" $path"
  done <"$work/started"
  if [ -z "$found" ] && grep -q "^$folder/" "$work/started"; then
    echo "ok: solvane $run starts the libraries the folder carries from the folder"
  else
    fail "solvane $run starts these from the system though the folder carries them:$found"
  fi
done
if grep -q "^$folder/lib/qt6/plugins/platforms/libqoffscreen.so" "$work/started" &&
   grep -q "^$folder/.*/gio/modules/libdconfsettings.so" "$work/started"; then
  echo "ok: Qt takes its platform plugin, and GIO its dconf module, from the folder"
else
  fail "the offscreen platform plugin or GIO's dconf module does not come from the folder"
fi

# The install script, in a sandbox home.
home="$work/home-user"
mkdir -p "$home"
as_user=(env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share")
if "${as_user[@]}" "$folder/install" >"$work/out.log" 2>&1 &&
   [ "$("${as_user[@]}" ASAN_OPTIONS="$ASAN_OPTIONS" "$home/.local/bin/solvane" --version | cut -d' ' -f1)" = Solvane ] &&
   [ -f "$home/.local/opt/solvane/current/share/solvane/bundle" ] && [ -f "$home/.local/share/applications/solvane.desktop" ]; then
  echo "ok: install puts it in ~/.local/opt/solvane with a link in ~/.local/bin and the menu entry"
else
  fail "install:"; sed 's/^/    /' "$work/out.log"
fi
if "${as_user[@]}" "$home/.local/opt/solvane/current/install" --uninstall >"$work/out.log" 2>&1 && [ -z "$(ls -A "$home")" ]; then
  echo "ok: install --uninstall leaves the home as it was"
else
  fail "install --uninstall:"; sed 's/^/    /' "$work/out.log"; (cd "$home" && find . | head)
fi

[ "$failures" -eq 0 ]
