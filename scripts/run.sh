#!/usr/bin/env bash
# Builds Tessaloom (installing what is missing) and starts it. Arguments are
# passed to the app, e.g. --ball-only.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja >/dev/null
ninja -C build Tessaloom
exec build/Tessaloom/Tessaloom "$@"
