#!/usr/bin/env bash
# Benchmarks of orvane-sidekey (not part of the test suite):
#   bench/run.sh [build-dir]        (default: build/)
# Builds what it needs, then on a private Xvfb + openbox measures start-up
# and memory against bench/baseline_dialog, key-notification throughput
# against the stand-in service, and the configuration store against plain
# TinyXML. Prints a table and writes docs/BENCHMARKS.md. Takes under a
# minute on 2 cores after the build, plus any wait for the single-instance
# lock.
#
# Environment:
#   BENCH_RUNS (15)              start-up rounds (each program once a round)
#   BENCH_MATCHING_RUNS (7)      28-position key-matching runs
#   BENCH_STORE_ITERATIONS (21)  configuration-store iterations
#   BENCH_SECTIONS (2200)        board sections of the store's file (~1 MB)
#   BENCH_NICE (-10 as root, else 0)  niceness of everything measured, so
#       that builds and tests running beside it disturb the times less
#   BENCH_PRIVATE_TMP (0)        1: run in a mount namespace of our own with
#       an empty /tmp (root only), so that the program's single-instance lock
#       /tmp/OrvaneSideKey is ours alone: no waiting for tests running
#       beside us, and no failing them. By default the lock is shared and
#       each run waits until it is free.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
build=$(mkdir -p "$build" && cd "$build" && pwd)

if [[ "${BENCH_PRIVATE_TMP:-0}" == 1 && -z "${BENCH_IN_NAMESPACE:-}" ]]; then
  export BENCH_IN_NAMESPACE=1
  # The old /tmp stays reachable under /mnt (in this namespace only) to bind
  # back what lives there: the build folder, the sources.
  exec unshare -m bash -c '
    set -e
    mount --make-rprivate /
    mount --rbind /tmp /mnt
    mount -t tmpfs -o mode=1777 tmpfs /tmp
    for p in "$1" "$2"; do
      if [[ "$p" == /tmp/* ]]; then
        mkdir -p "$p"
        mount --bind "/mnt/${p#/tmp/}" "$p"
      fi
    done
    exec "$2/bench/run.sh" "$1"' run.sh "$build" "$root"
fi

if [[ ! -f "$build/CMakeCache.txt" ]]; then
  cmake -S "$root" -B "$build" >/dev/null
fi
if grep -q '^SIDEKEY_SANITIZE:STRING=.\+' "$build/CMakeCache.txt"; then
  echo "run.sh: warning: $build is built with sanitizers; its times mean little" >&2
fi
echo "building in $build ..."
cmake --build "$build" -j2 --target orvane-sidekey orvane-board-sim qmlt translations \
  baseline_dialog store_bench mapwait >/dev/null

nice_level=${BENCH_NICE:-$(( EUID == 0 ? -10 : 0 ))}

cd "$root"
exec nice -n "$nice_level" "$root/scripts/with-x" --size 1024x768 python3 "$root/bench/bench.py" \
  --build "$build" --doc "$root/docs/BENCHMARKS.md" --notes "$root/bench/NOTES.md" \
  --runs "${BENCH_RUNS:-15}" --matching-runs "${BENCH_MATCHING_RUNS:-7}" \
  --store-iterations "${BENCH_STORE_ITERATIONS:-21}" --sections "${BENCH_SECTIONS:-2200}"
