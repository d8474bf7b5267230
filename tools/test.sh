#!/usr/bin/env bash
# Builds everything (host unit tests, Setup.exe and the test tools with MinGW)
# and runs every test: unit tests natively, end-to-end tests under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j2 "$@"
