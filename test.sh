#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole suite headless, in
# four stages. A failing build or fuzzing stage ends the script at once; a
# failing sanitizer stage still lets the normal suite run, and the script
# then exits non-zero:
#
#   1. build/       the normal build;
#   2. build-fuzz/  the configuration store's libFuzzer target (clang): every
#                   saved input of fuzz/corpus and fuzz/regressions once, then
#                   a bounded fuzzing run;
#   3. build-asan/  the same ctest suite built with AddressSanitizer (leaks
#                   included) and UndefinedBehaviorSanitizer;
#   4. the ctest suite of build/, whose summary ends the output.
#
# Every X server, window manager and board-service stand-in the tests need
# is started by the tests themselves.
#
# Environment:
#   SIDEKEY_FUZZ_SECONDS  length of the fuzzing run (default 60; 0: replay only)
#   SIDEKEY_ASAN          0 skips stage 3 (default 1)
#   SIDEKEY_BUILD_PREFIX  build folders, default "build": build, build-fuzz,
#                         build-asan
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps

prefix=${SIDEKEY_BUILD_PREFIX:-build}
case $prefix in
  /*) ;;
  *) prefix=$PWD/$prefix ;;
esac
build=$prefix
fuzz=$prefix-fuzz
asan=$prefix-asan
fuzz_seconds=${SIDEKEY_FUZZ_SECONDS:-60}
jobs=$(nproc)
suppressions=$PWD/tests/sanitizers/lsan.supp

# ----------------------------------------------------------------------------
# 1. the normal build
# ----------------------------------------------------------------------------

cmake -S . -B "$build" -DSIDEKEY_WERROR=ON
cmake --build "$build" -j"$jobs"

# ----------------------------------------------------------------------------
# 2. fuzzing the configuration store
# ----------------------------------------------------------------------------

echo
echo "== Fuzzing the configuration store ($fuzz)"
CXX=clang++ cmake -S . -B "$fuzz" -DSIDEKEY_FUZZ=ON -DSIDEKEY_TESTS=OFF >/dev/null
cmake --build "$fuzz" --target config_store_fuzzer -j"$jobs"
fuzzer=$fuzz/config_store_fuzzer

# Reports on stderr, where libFuzzer prints them; leaks fail the run too.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$suppressions:print_suppressions=0"

# Every saved input once: a finding that comes back fails here.
replay_log=$fuzz/replay.log
if ! "$fuzzer" fuzz/corpus/* fuzz/regressions/* >"$replay_log" 2>&1; then
  tail -n 60 "$replay_log"
  echo "test.sh: a saved input of fuzz/ fails (whole log: $replay_log)" >&2
  exit 1
fi
echo "replayed $(find fuzz/corpus fuzz/regressions -type f | wc -l) saved inputs"

if ((fuzz_seconds > 0)); then
  # A fresh corpus and a fixed seed: each run starts the same way.
  rm -rf "$fuzz/corpus" "$fuzz/artifacts"
  mkdir -p "$fuzz/corpus" "$fuzz/artifacts"
  fuzz_log=$fuzz/fuzz.log
  if ! "$fuzzer" -dict=fuzz/config.dict -max_len=65536 -rss_limit_mb=2048 -timeout=30 \
      -seed=1 -max_total_time="$fuzz_seconds" -print_final_stats=1 \
      -artifact_prefix="$fuzz/artifacts/" \
      "$fuzz/corpus" fuzz/corpus fuzz/regressions >"$fuzz_log" 2>&1; then
    tail -n 80 "$fuzz_log"
    echo "test.sh: fuzzing found a problem; the input is in $fuzz/artifacts/" \
         "(see fuzz/README.md)" >&2
    exit 1
  fi
  fuzz_stat() { sed -n "s/^stat::$1: *//p" "$fuzz_log"; }
  echo "fuzzed ${fuzz_seconds}s: $(fuzz_stat number_of_executed_units) executions" \
       "($(fuzz_stat average_exec_per_sec)/s), $(find "$fuzz/corpus" -type f | wc -l) new inputs," \
       "peak RSS $(fuzz_stat peak_rss_mb) MB, no crash"
fi

# ----------------------------------------------------------------------------
# 3. the suite under AddressSanitizer and UndefinedBehaviorSanitizer
# ----------------------------------------------------------------------------

# Runs in a subshell: its sanitizer settings stay there. Reports go to files,
# as the black-box tests keep the programs' stderr to themselves; a report
# fails the stage also when it comes from a process whose exit status no
# test looks at. GTK's accessibility bridge stays off: the test X servers
# have no accessibility bus, and what the bridge sets up for it is kept
# until exit.
sanitized_suite() (
  echo
  echo "== The suite under AddressSanitizer and UndefinedBehaviorSanitizer ($asan)"
  cmake -S . -B "$asan" -DSIDEKEY_WERROR=ON -DSIDEKEY_SANITIZE=address,undefined \
    -DCMAKE_CXX_FLAGS=-fno-sanitize-recover=undefined >/dev/null
  cmake --build "$asan" -j"$jobs"

  logs=$asan/sanitizer-logs
  rm -rf "$logs"
  mkdir -p "$logs"
  export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:log_path=$logs/report"
  export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$logs/report"
  export LSAN_OPTIONS="suppressions=$suppressions:print_suppressions=0"
  export NO_AT_BRIDGE=1

  status=0
  (cd "$asan" && ctest --output-on-failure) || status=$?
  reports=("$logs"/report.*)
  if [[ -e ${reports[0]} ]]; then
    echo
    echo "Sanitizer reports ($logs):"
    for report in "${reports[@]}"; do
      echo "== $report"
      cat "$report"
    done
    status=1
  fi
  return "$status"
)

sanitizer_status=0
if [[ "${SIDEKEY_ASAN:-1}" != 0 ]]; then
  unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
  sanitized_suite || sanitizer_status=$?
fi

# ----------------------------------------------------------------------------
# 4. the suite of the normal build; its summary ends the output
# ----------------------------------------------------------------------------

echo
echo "== The suite ($build)"
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS
if ((sanitizer_status != 0)); then
  echo "(the sanitizer stage FAILED, see above)"
fi
suite_status=0
(cd "$build" && ctest --output-on-failure) || suite_status=$?
if ((sanitizer_status != 0)); then
  exit "$sanitizer_status"
fi
exit "$suite_status"
