#!/usr/bin/env bash
# The portable build on a system that has none of its libraries: a minimal Debian 13 (debootstrap
# --variant=minbase, then only Xvfb, xwd and the CA certificates; no Qt, FFmpeg or libcurl), the tarball
# unpacked in it, and there
#   solvane --version, solvane --diagnose,
#   solvane --start --seconds 10 on the chroot's Xvfb (1280 x 720), with a screenshot at 7 s,
#   solvane --refresh against the archive stand-in over HTTPS (nginx on this machine's loopback), with the
#   system's CA file moved to Fedora's path (/etc/pki/tls/certs/ca-bundle.crt) and the stand-in's
#   certificate added to it.
# Needs root. The chroot is kept for the next run.
# Usage: minimal-chroot.sh <tarball> <screenshot.png> [chroot folder (default /var/cache/solvane/minimal13)]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tarball=$(realpath "${1:?usage: minimal-chroot.sh <tarball> <screenshot.png> [chroot folder]}")
shot=$(realpath -m "${2:?usage: minimal-chroot.sh <tarball> <screenshot.png> [chroot folder]}")
root=$(realpath -m "${3:-/var/cache/solvane/minimal13}")
mirror=${SOLVANE_DEBIAN_MIRROR:-http://deb.debian.org/debian}

if [ ! -x "$root/usr/bin/Xvfb" ]; then
  rm -rf "$root"
  debootstrap --variant=minbase trixie "$root" "$mirror" >"$root.debootstrap.log" 2>&1
  cp -L /etc/resolv.conf "$root/etc/resolv.conf"
  chroot "$root" apt-get install -y -q --no-install-recommends xvfb x11-apps ca-certificates >"$root.apt.log" 2>&1
fi
for library in libQt6Core.so.6 libavcodec.so libcurl.so.4; do
  if chroot "$root" sh -c "ldconfig -p | grep -q $library"; then
    echo "minimal-chroot: $library is installed in $root; this is not a minimal system" >&2
    exit 1
  fi
done

tmp=$(mktemp -d)
mounted=()
xvfb=
nginx=
cleanup() {
  for pid in $xvfb $nginx; do kill "$pid" 2>/dev/null || true; done
  sleep 0.5
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}"; done
  rm -rf "$tmp" "$root/opt/try"
}
trap cleanup EXIT INT TERM
for path in /proc /sys /dev /dev/shm; do
  mount --bind "$path" "$root$path"
  mounted+=("$root$path")
done

# The stand-in of NASA SDO's archive, served from this machine.
chmod 755 "$tmp"
/usr/bin/python3 "$here/../mirror/make_browse.py" "$tmp/archive" --channels 171 --hours 2 >/dev/null
. "$here/../mirror/serve-standin.sh"
serve_standin "$tmp" "$tmp/archive"

# The CA file where Fedora keeps it, and nowhere else.
certs=/etc/ssl/certs/ca-certificates.crt
if [ -f "$root$certs" ]; then
  mkdir -p "$root/etc/pki/tls/certs"
  mv "$root$certs" "$root/etc/pki/tls/certs/ca-bundle.crt"
fi
cat "$standin_cert" >>"$root/etc/pki/tls/certs/ca-bundle.crt"

mkdir -p "$root/opt/try" "$root/tmp/home"
tar -C "$root/opt/try" -xJf "$tarball"
program=$(cd "$root" && echo opt/try/solvane-*/bin/solvane)
inside() { chroot "$root" /usr/bin/env -i HOME=/tmp/home PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY=:5 \
  SOLVANE_SDO_BASE="https://127.0.0.1:$port" "$@"; }

echo "$ solvane --version"
inside "/$program" --version
echo "$ solvane --diagnose"
inside "/$program" --diagnose || true
inside /usr/bin/Xvfb :5 -screen 0 1280x720x24 -nolisten tcp 2>/dev/null &
xvfb=$!
sleep 2
echo "$ solvane --start --seconds 10"
inside "/$program" --start --seconds 10 2>"$tmp/start.log" &
started=$!
sleep 7
inside /usr/bin/xwd -root -silent >"$tmp/shot.xwd"
wait "$started" && echo "exit 0" || echo "exit $?"
grep -E 'playing|wall|error' "$tmp/start.log" | head -5 || true
ffmpeg -loglevel error -y -i "$tmp/shot.xwd" "$shot" && echo "screenshot: $shot"
echo "$ solvane --refresh (CA file at /etc/pki/tls/certs/ca-bundle.crt only)"
if inside "/$program" --refresh 2>"$tmp/refresh.log"; then echo "exit 0"; else echo "exit $?"; fi
grep -E 'direct:|pass:|certificate|CA' "$tmp/refresh.log" | tail -6
# Put the system's CA file back where Debian keeps it for the next run.
mv "$root/etc/pki/tls/certs/ca-bundle.crt" "$root$certs"
