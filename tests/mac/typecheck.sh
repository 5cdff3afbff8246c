#!/usr/bin/env bash
# Runs the macOS type check when it can run here, and reports it as skipped
# (exit 77) with the reason when it cannot.
#
#   typecheck.sh CHECKER JSON_INCLUDE_DIR SHIM_DIR [checker arguments...]
#
# JSON_INCLUDE_DIR holds nlohmann/json.hpp. Only that folder is shown to the
# checker (through a link in SHIM_DIR): the rest of the host's include folder
# would hide the macOS SDK's own headers.
set -u
SKIP=77
checker=$1 json_dir=$2 shim=$3
shift 3

if [[ ! -x $checker ]]; then
    echo "SKIPPED: the macOS type checker is not at $checker"
    exit $SKIP
fi
if [[ -z ${MAC_SDK:-} && ( -z ${ZIG_SDK_GITDIR:-} || -z ${THEOS_SDKS_GITDIR:-} ) ]]; then
    echo "SKIPPED: no macOS SDK: set MAC_SDK, or both ZIG_SDK_GITDIR and THEOS_SDKS_GITDIR"
    exit $SKIP
fi
if [[ ! -f $json_dir/nlohmann/json.hpp ]]; then
    echo "SKIPPED: nlohmann/json.hpp not found under $json_dir"
    exit $SKIP
fi

mkdir -p "$shim" || exit 1
ln -sfn "$json_dir/nlohmann" "$shim/nlohmann" || exit 1
exec "$checker" -isystem "$shim" "$@"
