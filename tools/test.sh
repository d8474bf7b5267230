#!/usr/bin/env bash
# Builds everything (host unit tests, Setup.exe and the test tools with MinGW)
# and runs every test: unit tests natively, end-to-end tests under Wine, then the
# unit tests again under ASan/UBSan with a short libFuzzer run (when clang is there).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
if command -v clang++ >/dev/null; then
  CC=clang CXX=clang++ cmake -S . -B "$build-asan" -DTARV_HOST_ONLY=ON -DTARV_SANITIZE=ON -DTARV_FUZZ=ON >/dev/null
  cmake --build "$build-asan" -j"$(nproc)"
  ctest --test-dir "$build-asan" --output-on-failure -j2
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j2 "$@"
