#!/usr/bin/env bash
# Installs what is missing, builds, and runs orvane-sidekey against the
# virtual whiteboard (the board-service stand-in), both from build/QMLT.
# On a desktop the two windows open side by side; without a display one
# whole key-matching run is played on a private X server and screenshots
# are written to build/screenshots/.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps
cmake -S . -B build
cmake --build build -j"$(nproc)"

if [[ -z "${DISPLAY:-}" ]] || ! xdpyinfo >/dev/null 2>&1; then
  exec python3 scripts/demo_headless.py
fi

cd build/QMLT
../orvane-board-sim &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
# The utility needs the service listening first.
for _ in $(seq 1 100); do
  (exec 3<>/dev/tcp/127.0.0.1/4869) 2>/dev/null && break
  kill -0 $sim 2>/dev/null || { echo "demo: the board-service stand-in did not start" >&2; exit 1; }
  sleep 0.1
done
echo "Tick 开启软快捷, press 设置, then click the virtual whiteboard's keys."
../orvane-sidekey || true
