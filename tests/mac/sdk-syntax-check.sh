#!/usr/bin/env bash
# The type check on a Mac, against the SDK Xcode gives (MAC_SDK, from
# `xcrun --show-sdk-path`): clang -fsyntax-only over every file, with the
# options tests/mac/typecheck.cmake passes. The hosted runner has no copy of
# the cross-checker the Linux machines use; this is its stand-in there.
#
#   sdk-syntax-check.sh [--strict] [--target TRIPLE] [clang options] FILE...
set -uo pipefail
sdk=${MAC_SDK:?set MAC_SDK to the SDK folder}
target=arm64-apple-macos11.3
flags=() files=() strict=0
while [[ $# -gt 0 ]]; do
  case $1 in
    --strict) strict=1 ;;
    --target) target=$2; shift ;;
    -I | -isystem | -iquote | -D) flags+=("$1" "$2"); shift ;;
    -*) flags+=("$1") ;;
    *) files+=("$1") ;;
  esac
  shift
done
common=(-fsyntax-only -target "$target" -isysroot "$sdk" -Wall -Wextra -Wno-unused-parameter)
[[ $strict == 1 ]] && common+=(-Werror -Wnullable-to-nonnull-conversion -Wshadow -Wimplicit-fallthrough)
failed=0
for file in "${files[@]}"; do
  case $file in
    *.mm) lang=(-x objective-c++ -std=c++20 -fobjc-arc) ;;
    *) lang=(-x c++ -std=c++20) ;;
  esac
  xcrun clang++ "${lang[@]}" "${common[@]}" "${flags[@]}" "$file" || failed=1
done
echo "sdk-syntax-check: ${#files[@]} files, $([[ $failed == 0 ]] && echo passed || echo FAILED)"
exit $failed
