#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole suite headless.
# Every X server, window manager and board-service stand-in the tests need
# is started by the tests themselves.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps

cmake -S . -B build -DSIDEKEY_WERROR=ON
cmake --build build -j"$(nproc)"

cd build
ctest --output-on-failure
