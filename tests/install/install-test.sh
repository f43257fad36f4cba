#!/usr/bin/env bash
# The install tree, the Debian package and the per-user install, from a finished build folder:
#   - cmake --install lays out the tree; desktop entry and AppStream metainfo validate; the installed program
#     finds its resources beside itself and passes --selftest;
#   - the .deb made by CPack has no lintian errors, installs into a scratch root, runs, and removes cleanly;
#   - scripts/install-user and --uninstall leave a sandbox home as they found it.
# Usage: install-test.sh <build folder>
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() { # check <what> <command...>
  local what=$1; shift
  if "$@" >"$work/out" 2>&1; then echo "ok: $what"; else echo "FAILED: $what"; sed 's/^/    /' "$work/out"; failures=$((failures + 1)); fi
}
# The sanitizer build's program reports leaks of the libraries it loads; the checks here are about files.
export ASAN_OPTIONS=detect_leaks=0

# The tree, put somewhere the build never was.
tree="$work/elsewhere/prefix"
cmake --install "$build" --prefix "$tree" >/dev/null
for path in bin/solvane share/solvane/version share/solvane/glossary.json share/solvane/seed.mp4 share/solvane/seed.json \
            share/metainfo/example.tessly.solvane.metainfo.xml share/man/man1/solvane.1.gz \
            share/bash-completion/completions/solvane share/doc/solvane/copyright \
            lib/solvane/solvane-app.so lib/solvane/Solvane.saver/solvane-saver lib/solvane/Solvane.saver/Info.plist; do
  check "installed $path" test -e "$tree/$path"
done
for size in 16 22 24 32 48 64 128 256; do
  check "a ${size}px icon" sh -c "file '$tree/share/icons/hicolor/${size}x${size}/apps/solvane.png' | grep -q 'PNG image data, $size x $size'"
done
check "the tree says its version" grep -qx "$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")" "$tree/share/solvane/version"
# A release refuses placeholder hosts before it builds anything.
: >"$work/release.key"
for hosts in "https://downloads.solvane.example/r https://updates.example.org/appcast.xml" \
             "https://downloads.example.org/r https://updates.solvane.example/appcast.xml" \
             "https://downloads.example.org/r https://localhost/appcast.xml" \
             "https://downloads.example.org/r https://feed.test/appcast.xml --store-host solvane.invalid"; do
  set -- $hosts
  check "make-release refuses $*" sh -c "! '$source_dir/tools/release/make-release' --key '$work/release.key' \
    --url-base $1 --feed $2 ${3:-} ${4:-} --out '$work/release' 2>'$work/release.err' && grep -q 'reserved host' '$work/release.err' && [ ! -e '$work/release' ]"
done
check "AppStream metainfo validates" appstreamcli validate --no-net "$tree/share/metainfo/example.tessly.solvane.metainfo.xml"
if [ -f "$tree/share/applications/solvane.desktop" ]; then
  check "desktop entry validates" desktop-file-validate "$tree/share/applications/solvane.desktop"
fi
check "the manual page renders" sh -c "zcat '$tree/share/man/man1/solvane.1.gz' | groff -man -Tutf8 -ww >/dev/null"
check "the manual page lists every switch of --help" sh -c "zcat '$tree/share/man/man1/solvane.1.gz' |
  groff -man -Tascii -P-cbu 2>/dev/null >'$work/manual' && '$tree/bin/solvane' --help >'$work/help' &&
  for word in \$(grep -oE -- '--[a-z-]+' '$work/help' | sort -u); do grep -qF -- \"\$word\" '$work/manual' || { echo missing \$word; exit 1; }; done"
# Run from a folder of its own, so it can only find its resources beside itself.
(cd "$work" && HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache" \
   "$tree/bin/solvane" --selftest >"$work/selftest" 2>&1) && echo "ok: installed --selftest" ||
  { echo "FAILED: installed --selftest"; tail -5 "$work/selftest"; failures=$((failures + 1)); }

# The Debian package.
# Only the package made now: an older one in the folder may carry another version.
rm -f "$build"/solvane_*_amd64.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/solvane_*_amd64.deb)
if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1 || true
  if grep -q '^E:' "$work/lintian"; then echo "FAILED: lintian errors"; grep '^E:' "$work/lintian"; failures=$((failures + 1)); else echo "ok: lintian has no errors"; fi
fi
check "the package depends on Qt's Wayland platform" sh -c "dpkg-deb -f '$deb' Depends | grep -qw qt6-wayland"
scratch="$work/root"
mkdir -p "$scratch/var/lib/dpkg/updates" "$scratch/var/lib/dpkg/info"
touch "$scratch/var/lib/dpkg/status"
check "dpkg installs into a scratch root" dpkg --root="$scratch" --force-not-root --force-depends --force-script-chrootless -i "$deb"
for path in usr/bin/solvane usr/lib/solvane/solvane-app.so usr/share/solvane/seed.mp4 usr/share/man/man1/solvane.1.gz usr/share/doc/solvane/copyright; do
  check "packaged $path" test -e "$scratch/$path"
done
check "packaged solvane --selftest" sh -c "cd '$work' && HOME='$work/home' '$scratch/usr/bin/solvane' --selftest"
check "dpkg removes it" dpkg --root="$scratch" --force-not-root --force-depends --force-script-chrootless -r solvane
check "nothing of the package is left" sh -c "! find '$scratch/usr' -type f | grep -q ."

# The per-user install in a sandbox home.
home="$work/home-user"
mkdir -p "$home/.config"
printf '[Default Applications]\ntext/plain=other.desktop\n' >"$home/.config/mimeapps.list"
snapshot() { (cd "$home" && find . -printf '%p %y %l\n' | sort && cat .config/mimeapps.list); }
snapshot >"$work/before"
export_home=(env HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" XDG_CURRENT_DESKTOP=X-Generic)
check "install-user" "${export_home[@]}" "$source_dir/scripts/install-user" --build "$build"
check "the user's link runs the program" sh -c "cd '$work' && HOME='$home' '$home/.local/bin/solvane' --selftest"
check "current names the version" test -L "$home/.local/opt/solvane/current"
if [ -f "$home/.local/share/applications/solvane.desktop" ]; then
  check "the link handler is registered" sh -c "[ \"\$(${export_home[*]} xdg-mime query default x-scheme-handler/solvane)\" = solvane.desktop ]"
  check "the user's desktop entry validates" desktop-file-validate "$home/.local/share/applications/solvane.desktop"
fi
check "install-user --uninstall" "${export_home[@]}" "$source_dir/scripts/install-user" --uninstall
snapshot >"$work/after"
check "the home is as it was" diff "$work/before" "$work/after"

[ "$failures" -eq 0 ]
