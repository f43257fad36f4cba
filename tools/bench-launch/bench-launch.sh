#!/usr/bin/env bash
# What a command-line run costs before it does anything: `solvane --check-index` on the contract index
# against `true`, in the same hyperfine run, and the libraries the loader brings in for it and for an
# action that needs the application (--export-frame without operands only prints its usage).
# Usage: bench-launch.sh <build folder> [other build's solvane, to compare]
set -euo pipefail
build=$(cd "${1:-build-bench}" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
index="$source_dir/infra/contract/contract-v1/index.json"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"

programs=("$build/bin/solvane")
[ -n "${2:-}" ] && programs+=("$(realpath "$2")")
libraries() { LD_DEBUG=libs "$@" 2>&1 >/dev/null | grep -c 'calling init:' || true; }
for program in "${programs[@]}"; do
  echo "$program: --check-index loads $(libraries "$program" --check-index "$index") libraries," \
       "--export-frame $(libraries "$program" --export-frame)"
done
commands=(true)
for program in "${programs[@]}"; do commands+=("$program --check-index $index"); done
hyperfine -N --warmup 5 --runs "${RUNS:-100}" "${commands[@]}"
