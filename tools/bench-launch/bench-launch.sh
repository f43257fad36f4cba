#!/usr/bin/env bash
# What a command-line run costs: `solvane --version`, `--help`, `--check-index FILE` and `--diagnose`, each
# against a minimal Qt Core program (bench-launch-reference) measured in the same hyperfine run, as ratios of
# the median wall-clock times (goal: at most 1.5) and of the mean CPU times (which a busy machine disturbs
# less); and the libraries the loader starts for each, for the reference, and for an action that needs the
# application's part.
# Usage: bench-launch.sh <build folder> [other build's solvane, to compare]
#   (cmake --build <build folder> --target solvane bench-launch-reference first)
set -euo pipefail
build=$(cd "${1:-build-bench}" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
index="$source_dir/infra/contract/contract-v1/index.json"
reference="$build/tools/bench-launch/bench-launch-reference"
[ -x "$reference" ] || { echo "bench-launch: build the target bench-launch-reference in $build first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"

programs=("$build/bin/solvane")
[ -n "${2:-}" ] && programs+=("$(realpath "$2")")
actions=("--version" "--help" "--check-index $index" "--diagnose")
libraries() { LD_DEBUG=libs "$@" 2>&1 >/dev/null | grep -c 'calling init:' || true; }
echo "libraries started: minimal Qt Core program $(libraries "$reference")"
for program in "${programs[@]}"; do
  line="$program:"
  # shellcheck disable=SC2086
  for action in "${actions[@]}"; do line+=" ${action%% *} $(libraries "$program" $action),"; done
  echo "$line --export-frame (loads the application) $(libraries "$program" --export-frame)"
done

commands=("$reference")
names=("minimal Qt Core program")
for program in "${programs[@]}"; do
  prefix=""
  [ "${#programs[@]}" -eq 1 ] || prefix="$program "
  for action in "${actions[@]}"; do
    commands+=("$program $action")
    names+=("$prefix${action%% *}")
  done
done
hyperfine -N --warmup 10 --runs "${RUNS:-200}" --export-json "$work/times.json" "${commands[@]}" >/dev/null
/usr/bin/python3 - "$work/times.json" "${names[@]}" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
names = sys.argv[2:]
cpu = lambda result: result["user"] + result["system"]
base, base_cpu = results[0]["median"], cpu(results[0])
print(f"{names[0]}: {base * 1000:.2f} ms (median), {base_cpu * 1000:.2f} ms of CPU (mean)")
for name, result in zip(names[1:], results[1:]):
    print(f"{name}: {result['median'] * 1000:.2f} ms, ratio {result['median'] / base:.2f} (goal at most 1.5);"
          f" CPU {cpu(result) * 1000:.2f} ms, ratio {cpu(result) / base_cpu:.2f}")
PY
