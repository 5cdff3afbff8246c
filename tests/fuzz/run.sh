#!/usr/bin/env bash
# Runs every fuzz target for a while on its seed corpus; a crash fails.
# usage: run.sh BUILD_DIR [SECONDS]
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
status=0
for target in "$build"/tests/fuzz/fuzz_*; do
  name=$(basename "$target")
  seeds="$here/corpus/${name#fuzz_}"
  work=$(mktemp -d)
  [ -d "$seeds" ] && cp -r "$seeds"/. "$work"/
  echo "fuzz: $name for ${seconds}s"
  if ! (cd "$work" && "$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=0 . \
        >"$work.log" 2>&1); then
    tail -40 "$work.log"
    echo "fuzz: $name FAILED"
    status=1
  fi
  rm -rf "$work" "$work.log"
done
exit $status
