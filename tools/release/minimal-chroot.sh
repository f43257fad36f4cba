#!/usr/bin/env bash
# The portable build on a system that has none of its libraries: a minimal Debian 13 (debootstrap
# --variant=minbase, then only Xvfb, xwd, the CA certificates and the X11, Wayland and GL client libraries
# that the bundle leaves to the system; no Qt, FFmpeg or libcurl), the tarball
# unpacked in it, and there
#   solvane --version, solvane --diagnose,
#   solvane --refresh against the archive stand-in over HTTPS (nginx on this machine's loopback), with the
#   system's CA file moved to Fedora's path (/etc/pki/tls/certs/ca-bundle.crt) and the stand-in's
#   certificate added to it,
#   solvane --start --seconds 10 on the chroot's Xvfb (1280 x 720), with a screenshot at 7 s.
# Needs root. The chroot is kept for the next run.
# Usage: minimal-chroot.sh <tarball> <screenshot.png> [chroot folder (default /var/cache/solvane/minimal13)]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tarball=$(realpath "${1:?usage: minimal-chroot.sh <tarball> <screenshot.png> [chroot folder]}")
shot=$(realpath -m "${2:?usage: minimal-chroot.sh <tarball> <screenshot.png> [chroot folder]}")
root=$(realpath -m "${3:-/var/cache/solvane/minimal13}")
mirror=${SOLVANE_DEBIAN_MIRROR:-http://deb.debian.org/debian}

if [ ! -x "$root/usr/bin/apt-get" ]; then
  rm -rf "$root"
  debootstrap --variant=minbase trixie "$root" "$mirror" >"$root.debootstrap.log" 2>&1
fi
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
chroot "$root" apt-get install -y -q --no-install-recommends xvfb x11-apps ca-certificates \
  libwayland-client0 libwayland-cursor0 libwayland-egl1 libegl1 libopengl0 libgl1 >"$root.apt.log" 2>&1
for library in libQt6Core.so.6 libavcodec.so libcurl.so.4; do
  if chroot "$root" sh -c "ldconfig -p | grep -q $library"; then
    echo "minimal-chroot: $library is installed in $root; this is not a minimal system" >&2
    exit 1
  fi
done

tmp=$(mktemp -d)
mounted=()
certs=/etc/ssl/certs/ca-certificates.crt
fedora=/etc/pki/tls/certs/ca-bundle.crt
xvfb=
nginx=
cleanup() {
  for pid in $xvfb $nginx; do kill "$pid" 2>/dev/null || true; done
  sleep 0.5
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}"; done
  # The system's CA file back where Debian keeps it, for the next run.
  [ ! -f "$tmp/system-ca" ] || { mv "$tmp/system-ca" "$root$certs" && rm -f "$root$fedora"; }
  rm -rf "$tmp" "$root/opt/try"
}
trap cleanup EXIT INT TERM
for path in /proc /sys /dev /dev/shm; do
  mount --bind "$path" "$root$path"
  mounted+=("$root$path")
done

# The stand-in of NASA SDO's archive, served from this machine.
chmod 755 "$tmp"
/usr/bin/python3 "$here/../mirror/make_browse.py" "$tmp/archive" --channels 94,131,171,193,211,304,335 --hours 2 >/dev/null
. "$here/../mirror/serve-standin.sh"
serve_standin "$tmp" "$tmp/archive"

# The CA file where Fedora keeps it, and nowhere else.
mkdir -p "$root/etc/pki/tls/certs"
cat "$root$certs" "$standin_cert" >"$root$fedora"
mv "$root$certs" "$tmp/system-ca"

rm -rf "$root/tmp/home"
mkdir -p "$root/opt/try" "$root/tmp/home"
tar -C "$root/opt/try" -xJf "$tarball"
program=$(cd "$root" && echo opt/try/solvane-*/bin/solvane)
inside() { chroot "$root" /usr/bin/env -i HOME=/tmp/home PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY=:5 \
  SOLVANE_SDO_BASE="https://127.0.0.1:$port" "$@"; }

echo "$ solvane --version"
inside "/$program" --version
echo "$ solvane --diagnose"
inside "/$program" --diagnose || true
echo "$ solvane --refresh (CA file at /etc/pki/tls/certs/ca-bundle.crt only)"
if inside "/$program" --refresh 2>"$tmp/refresh.log"; then echo "exit 0"; else echo "exit $?"; fi
tail -4 "$tmp/refresh.log"
echo "clips in the cache: $(cd "$root/tmp/home/.cache/Solvane" && echo *.mp4)"
# Not through `inside`: the server's own pid, for the clean-up.
chroot "$root" /usr/bin/Xvfb :5 -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 &
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
