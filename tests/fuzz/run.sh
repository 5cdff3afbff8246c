#!/usr/bin/env bash
# Runs every fuzz target for a while on its seed corpus, as many at once as
# there are cores (each still gets its full time on one); a crash fails.
# usage: run.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
jobs=$(nproc)

fuzz_one() {
  local target=$1 name seeds work
  name=$(basename "$target")
  seeds="$here/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  echo "fuzz: $name for ${seconds}s"
  local status=0
  if ! (cd "$work" && "$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=0 . \
        >"$work.log" 2>&1); then
    tail -40 "$work.log"
    echo "fuzz: $name FAILED"
    status=1
  fi
  rm -rf "$work" "$work.log"
  return $status
}

status=0
running=()
for target in "$build"/tests/fuzz/fuzz_*; do
  fuzz_one "$target" &
  running+=($!)
  if [ "${#running[@]}" -ge "$jobs" ]; then
    wait "${running[0]}" || status=1
    running=("${running[@]:1}")
  fi
done
for pid in "${running[@]}"; do
  wait "$pid" || status=1
done
exit $status
