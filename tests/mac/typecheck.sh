#!/usr/bin/env bash
# Runs the macOS type check when it can run here, and reports it as skipped
# (exit 77) with the reason when it cannot.
#
#   typecheck.sh CHECKER SHIM_DIR INCLUDE_DIR/NAME... -- [checker arguments...]
#
# Each INCLUDE_DIR/NAME (nlohmann/ with json.hpp, gtest/) is shown to the
# checker alone, through a link in SHIM_DIR: the rest of the host's include
# folder would hide the macOS SDK's own headers.
set -u
SKIP=77
checker=$1 shim=$2
shift 2
headers=()
while [[ $# -gt 0 && $1 != -- ]]; do
  headers+=("$1")
  shift
done
shift # --

if [[ ! -x $checker ]]; then
    echo "SKIPPED: the macOS type checker is not at $checker"
    exit $SKIP
fi
if [[ -z ${MAC_SDK:-} && ( -z ${ZIG_SDK_GITDIR:-} || -z ${THEOS_SDKS_GITDIR:-} ) ]]; then
    echo "SKIPPED: no macOS SDK: set MAC_SDK, or both ZIG_SDK_GITDIR and THEOS_SDKS_GITDIR"
    exit $SKIP
fi
mkdir -p "$shim" || exit 1
for dir in "${headers[@]}"; do
  if [[ ! -d $dir ]]; then
    echo "SKIPPED: $dir not found"
    exit $SKIP
  fi
  ln -sfn "$dir" "$shim/$(basename "$dir")" || exit 1
done
exec "$checker" -isystem "$shim" "$@"
