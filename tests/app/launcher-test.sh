#!/usr/bin/env bash
# The program runs --help, --version, --check-index of a file and --diagnose without loading the
# application's part (FFmpeg, Qt Gui, Qt Widgets) or libcurl, loads it for every other action (and for an
# index at an address), finds the system's CA certificates where each Linux family keeps them, starts from a
# folder whose name is not UTF-8, and says in one line when its part is missing or broken.
# Usage: launcher-test.sh <solvane>
set -euo pipefail
program=$1
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
export ASAN_OPTIONS=detect_leaks=0
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

# What the loader brings in, one library a line.
loaded() { LD_DEBUG=libs "$@" 2>&1 >/dev/null | sed -n 's/.*calling init: //p' || true; }
heavy='libavcodec|libavformat|libswscale|libQt6Gui|libQt6Widgets|solvane-app\.so|libcurl'

for action in "--check-index $source_dir/infra/contract/contract-v1/index.json" --diagnose --version --help; do
  # shellcheck disable=SC2086
  if loaded "$program" $action | grep -E "$heavy" >"$work/found"; then
    fail "$action loads $(tr '\n' ' ' <"$work/found")"
  else
    echo "ok: $action loads none of the application's libraries"
  fi
done
# The same look at an action that needs the application sees them, so the check above cannot pass
# because the loader's report changed its words.
if loaded "$program" --export-frame | grep -q libavcodec; then
  echo "ok: --export-frame loads the application"
else
  fail "--export-frame does not show libavcodec loading"
fi

# An index at an address needs the network: the application's part reads it with libcurl, which finds
# the CA file where each family keeps it, or says in one line that there is none. A mount namespace hides
# this system's /etc/ssl; the connection to port 9 is refused, which only a transfer that got past the
# certificates reaches.
address=https://127.0.0.1:9/index.json
if loaded "$program" --check-index "$address" | grep -q libcurl; then
  echo "ok: an index at an address loads libcurl"
else
  fail "--check-index $address does not load libcurl"
fi
if unshare -rm true 2>/dev/null; then
  hidden() { # hidden <shell commands run first in /etc/ssl> : the check with this system's CA files hidden
    env -u SSL_CERT_FILE unshare -rm sh -c "mount -t tmpfs none /etc/ssl && cd /etc/ssl && $1 && exec \"\$0\" --check-index $address" \
      "$program" 2>&1 || true
  }
  line='no CA certificates to check servers with: none of /etc/ssl/certs/ca-certificates.crt, /etc/pki/tls/certs/ca-bundle.crt, /etc/ssl/ca-bundle.pem exists'
  if [ "$(hidden true | grep -c "$line")" = 1 ]; then
    echo "ok: without CA certificates one line says so"
  else
    fail "without CA certificates:"; hidden true | sed 's/^/    /'
  fi
  if hidden "touch ca-bundle.pem" | grep -q "Couldn't connect"; then
    echo "ok: the openSUSE CA file is found"
  else
    fail "with /etc/ssl/ca-bundle.pem:"; hidden "touch ca-bundle.pem" | sed 's/^/    /'
  fi
else
  echo "skipped: no mount namespace here to hide the CA files in"
fi

# A copy of the program without its part, then with a broken one and with a library that is not ours,
# in a folder whose name is not UTF-8.
copy="$work/copy-"$'\xff'
mkdir -p "$copy/bin" "$copy/lib/solvane"
cp "$program" "$copy/bin/solvane"
part="$copy/lib/solvane/solvane-app.so"
ln -s "$(dirname "$program")/../lib/solvane/solvane-app.so" "$part"
"$copy/bin/solvane" --export-frame >"$work/out" 2>&1 || true
if grep -q '^usage: Solvane --export-frame' "$work/out"; then
  echo "ok: the program loads its part from a folder whose name is not UTF-8"
else
  fail "from a folder whose name is not UTF-8:"; sed 's/^/    /' "$work/out"
fi
rm "$part"
expect_one_line() { # expect_one_line <what>
  local status=0
  "$copy/bin/solvane" --selftest >"$work/out" 2>"$work/err" || status=$?
  if [ "$status" -eq 127 ] && [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q '^solvane: cannot load the application: ' "$work/err"; then
    echo "ok: $1 gives one line and status 127"
  else
    fail "$1: status $status, stderr:"; sed 's/^/    /' "$work/err"
  fi
}
expect_one_line "a missing part"
echo "not a library" >"$part"
expect_one_line "a broken part"
cp "$(ldd "$program" | awk '/libz\.so/ {print $3}')" "$part"
expect_one_line "a library without the entry point"
if "$copy/bin/solvane" --version | grep -q '^Solvane '; then
  echo "ok: the light actions run without the part"
else
  fail "--version without the part"
fi

[ "$failures" -eq 0 ]
