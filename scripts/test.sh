#!/usr/bin/env bash
# Checks that includes go down the layers, then builds and runs every test:
# unit and black-box tests, and the macOS type-check and cross build (which
# skip themselves without the SDK); the unit tests again, and the system
# tests (the page's accessibility check among them), in a build with
# AddressSanitizer and UBSan; the web app's tests; and each fuzz target for
# FUZZ_SECONDS (default 30). The system tests are built and run once, in the
# sanitized build: they drive the code the plain build compiles, and each
# needs the X server to itself, so a second run would only add its minutes.
# TESSALOOM_BACKEND=OFF (or a tree without the GTK backend) leaves out the
# app and what drives it: the system and black-box tests. The benchmarks are
# not built: bench/run.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
# Fast and needs nothing installed: fail before the long build.
bash scripts/check-layers.sh
bash scripts/deps.sh
# The page's accessibility check runs axe-core, pinned in package-lock.json.
npm ci --no-audit --no-fund
jobs=$(nproc)
export GSETTINGS_BACKEND=memory

backend=${TESSALOOM_BACKEND:-ON}
# The app and the tests that drive it need the platform backend.
ls platform/gtk/*.cpp >/dev/null 2>&1 || backend=OFF

cmake -S . -B build -G Ninja -DTESSALOOM_BACKEND=$backend -DTESSALOOM_TESTS=ON \
  -DTESSALOOM_SYSTEM_TESTS=OFF >/dev/null
ninja -C build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTESSALOOM_BACKEND=$backend -DTESSALOOM_SANITIZE=ON -DTESSALOOM_FUZZ=ON >/dev/null
# Only what runs sanitized: the app is checked above.
targets=(unit_tests)
for f in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$f" .cpp)"); done
[ "$backend" = ON ] && targets+=(system_tests)
ninja -C build-asan -j"$jobs" "${targets[@]}"
ctest --test-dir build-asan --output-on-failure -j"$jobs" -L unit
# GTK and WebKit keep process-lifetime allocations that the leak checker
# would report; memory errors and undefined behaviour still fail.
ASAN_OPTIONS=detect_leaks=0 ctest --test-dir build-asan --output-on-failure -L system

node --test tests/web/

bash tests/fuzz/run.sh build-asan "${FUZZ_SECONDS:-30}"
echo "all tests passed"
