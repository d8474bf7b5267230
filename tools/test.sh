#!/usr/bin/env bash
# Builds everything (host unit tests, Setup.exe and the test tools with MinGW)
# and runs every test: unit tests natively, end-to-end tests under Wine, then the
# unit tests again under ASan/UBSan with a short libFuzzer run. Installs the
# Debian packages it needs first, when any is missing (tools/deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
build=${BUILD_DIR:-build}
# Configured first: it decides which image the end-to-end tests run, and a
# reader of the output learns it before any test starts.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug >/dev/null
tools/which-image.sh "$build" "End-to-end tests run" ", so the i686 image is only checked statically"
CC=clang CXX=clang++ cmake -S . -B "$build-asan" -DTARV_HOST_ONLY=ON -DTARV_SANITIZE=ON -DTARV_FUZZ=ON >/dev/null
cmake --build "$build-asan" -j"$(nproc)"
ctest --test-dir "$build-asan" --output-on-failure -j2
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j2 "$@"
