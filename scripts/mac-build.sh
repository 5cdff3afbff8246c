#!/usr/bin/env bash
# Builds Tessaloom.app for macOS on Linux: every file compiled and linked for
# arm64 and for x86_64 against a macOS 11.3 sysroot, the two executables
# joined into one universal binary, and the result checked: both slices,
# their minimum OS, what they link, the Info.plist and the resources.
#
#   scripts/mac-build.sh [OUT_DIR]     (default: build-mac)
#
# Needs the three SDK repositories (ZIG_SDK_GITDIR, THEOS_SDKS_GITDIR,
# MACOS113_SDK_GITDIR; see ../shared/tools/mac-typecheck/README.md) and
# Debian's clang, lld-14 and llvm-14. Exits 77, saying why, when any of that
# is missing, so a test run without the SDK reports the check as skipped.
set -euo pipefail
SKIP=77
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$here/build-mac}" && cd "${1:-$here/build-mac}" && pwd)
sysroot_tool=${MAC_SYSROOT_TOOL:-$here/../shared/tools/mac-typecheck/sysroot.sh}
gtest_src=${GTEST_SOURCE_DIR:-/usr/src/googletest/googletest}
archs=(arm64 x86_64)

skip() { echo "SKIPPED: $*"; exit $SKIP; }
fail() { echo "mac-build: FAILED: $*" >&2; exit 1; }
tool() { command -v "$1" 2>/dev/null || command -v "$1-14" 2>/dev/null || true; }

for v in ZIG_SDK_GITDIR THEOS_SDKS_GITDIR MACOS113_SDK_GITDIR; do
  [[ -n ${!v:-} ]] || skip "no macOS SDK: $v is not set"
done
[[ -x $sysroot_tool ]] || skip "the sysroot tool is not at $sysroot_tool"
lipo=$(tool llvm-lipo) otool=$(tool llvm-otool)
[[ -n $lipo && -n $otool ]] || skip "llvm-lipo or llvm-otool missing (apt-get install llvm-14)"
[[ -x /usr/lib/llvm-14/bin/ld64.lld || -n $(tool ld64.lld) ]] || skip "ld64.lld missing (apt-get install lld-14)"
[[ -f $gtest_src/CMakeLists.txt ]] || skip "GoogleTest sources missing at $gtest_src (apt-get install googletest)"
json_dir=""
for d in /usr/include /usr/local/include; do
  [[ -f $d/nlohmann/json.hpp ]] && json_dir=$d && break
done
[[ -n $json_dir ]] || skip "nlohmann/json.hpp not found (apt-get install nlohmann-json3-dev)"
command -v python3 >/dev/null || skip "python3 is needed to read the Info.plist"

sysroot=$("$sysroot_tool") || fail "the sysroot could not be assembled"

# Only nlohmann/ is shown to the compiler: the rest of the host's include
# folder would hide the SDK's own headers.
shim=$out/json-include
mkdir -p "$shim"
ln -sfn "$json_dir/nlohmann" "$shim/nlohmann"

for arch in "${archs[@]}"; do
  echo "== $arch"
  cmake -S "$here" -B "$out/$arch" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/macos-cross.cmake" \
    -DMAC_SYSROOT="$sysroot" -DMAC_ARCH="$arch" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTESSALOOM_JSON_INCLUDE_DIR="$shim" \
    -DTESSALOOM_GTEST_SOURCE_DIR="$gtest_src" >"$out/$arch.configure.log" 2>&1 ||
    { cat "$out/$arch.configure.log"; fail "configure ($arch)"; }
  ninja -C "$out/$arch" Tessaloom unit_tests >"$out/$arch.build.log" 2>&1 ||
    { cat "$out/$arch.build.log"; fail "build ($arch)"; }
  tail -n 1 "$out/$arch.build.log"
  # Free of warnings on this target too (of what this run compiled).
  if grep -q "warning:" "$out/$arch.build.log"; then
    grep -A3 "warning:" "$out/$arch.build.log"
    fail "warnings in the $arch build"
  fi
done

# The universal bundle: the arm64 bundle with both slices joined.
app=$out/Tessaloom.app
rm -rf "$app"
cp -R "$out/arm64/Tessaloom.app" "$app"
exe=$app/Contents/MacOS/Tessaloom
"$lipo" -create "$out/arm64/Tessaloom.app/Contents/MacOS/Tessaloom" \
  "$out/x86_64/Tessaloom.app/Contents/MacOS/Tessaloom" -output "$exe"
"$lipo" -create "$out/arm64/tests/unit_tests" "$out/x86_64/tests/unit_tests" \
  -output "$out/unit_tests"

echo "== checks"
for arch in "${archs[@]}"; do
  "$lipo" "$exe" -verify_arch "$arch" || fail "no $arch slice in $exe"
  "$lipo" "$out/unit_tests" -verify_arch "$arch" || fail "no $arch slice in unit_tests"
  minos=$("$otool" -arch "$arch" -l "$exe" |
    awk '/cmd LC_BUILD_VERSION/ {b = 1} b && $1 == "minos" {print $2; exit}')
  [[ $minos == 11.3 ]] || fail "$arch slice: minimum OS '${minos:-none}', not 11.3"
  size=$("$lipo" "$exe" -thin "$arch" -output /dev/stdout | wc -c)
  echo "slice $arch: $size bytes, minimum macOS $minos"
done

# Only the system's own frameworks and libraries, nothing a package manager
# put under /usr/local or /opt.
libs=$("$otool" -arch arm64 -L "$exe" | tail -n +2 | awk '{print $1}')
libs+=$'\n'$("$otool" -arch x86_64 -L "$exe" | tail -n +2 | awk '{print $1}')
bad=$(echo "$libs" | sort -u | grep -vE '^(/System/Library/Frameworks/|/usr/lib/)' || true)
[[ -z $bad ]] || fail "links outside the system: $bad"
# Nothing names a symbol of ServiceManagement (its class is looked up at run
# time), so only this shows that a linker did not drop it.
for arch in "${archs[@]}"; do
  "$otool" -arch "$arch" -L "$exe" | grep -q '/ServiceManagement.framework/' ||
    fail "$arch slice: ServiceManagement not linked"
done
echo "links:"
echo "$libs" | sort -u | sed 's/^/  /'

bundle_id=$(cmake -DPRINT=LA_LABEL -P "$here/identity/identity.cmake")
python3 - "$app" "$bundle_id" <<'PY' || fail "Info.plist"
import os, plistlib, sys
app, bundle_id = sys.argv[1], sys.argv[2]
with open(os.path.join(app, "Contents", "Info.plist"), "rb") as f:
    info = plistlib.load(f)
want = {
    "CFBundleIdentifier": bundle_id,
    "CFBundleExecutable": "Tessaloom",
    "LSMinimumSystemVersion": "11.3",
    "LSUIElement": True,
    "NSHighResolutionCapable": True,
}
wrong = [f"{k}={info.get(k)!r} (want {v!r})" for k, v in want.items() if info.get(k) != v]
icon = info.get("CFBundleIconFile", "")
if not icon:
    wrong.append("CFBundleIconFile missing")
else:
    name = icon if icon.endswith(".icns") else icon + ".icns"
    if not os.path.isfile(os.path.join(app, "Contents", "Resources", name)):
        wrong.append(f"icon {name} not in Contents/Resources")
if not os.access(os.path.join(app, "Contents", "MacOS", info.get("CFBundleExecutable", "")), os.X_OK):
    wrong.append("CFBundleExecutable names no executable")
if wrong:
    print("Info.plist: " + "; ".join(wrong), file=sys.stderr)
    sys.exit(1)
print(f"Info.plist: {bundle_id}, executable Tessaloom, macOS 11.3, agent, high resolution, icon {icon}")
PY

# The web files lie flat in Contents/Resources, as the scheme serves them.
res=$app/Contents/Resources
for f in "$here"/resources/*; do
  name=$(basename "$f")
  cmp -s "$f" "$res/$name" || fail "resource $name missing or different in Contents/Resources"
done
nested=$(find "$res" -mindepth 1 -type d | head -n 1)
[[ -z $nested ]] || fail "Contents/Resources is not flat: $nested"
echo "resources: $(ls "$res" | wc -l) files, flat"
echo "built: $app"
