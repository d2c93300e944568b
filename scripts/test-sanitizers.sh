#!/usr/bin/env bash
# Sanitizer step of the CI (test.sh runs it after the main suite):
#  1. the whole ctest suite built with AddressSanitizer + UndefinedBehavior-
#     Sanitizer (build-asan), the system tests and the helper programs they
#     start (kolvadeck-catalog, mconv, yt) included;
#  2. ThreadSanitizer (build-tsan) on the tests of the threaded parts: the
#     audio engine and decks (label decks; with the sound server killed and
#     restarted under a playing deck), the wave-in level capture
#     (tests/mixer) and the broadcast capture engine and relay
#     (tests/broadcast). Only those test programs are built.
# Any sanitizer report fails the step, also one from a child process whose
# exit status a test did not look at: every report is written to a log file
# and the step fails when one exists.
#   scripts/test-sanitizers.sh [asan|tsan]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
what=${1:-all}
export QT_QPA_PLATFORM=offscreen

start=$(date +%s)
failed=0

# Reports land in DIR/report.<pid>; a non-empty DIR after the run is a failure.
check_reports() {
  local dir=$1 name=$2
  if compgen -G "$dir/report.*" >/dev/null; then
    echo "== $name: sanitizer reports:"
    cat "$dir"/report.*
    failed=1
  else
    echo "== $name: no sanitizer report"
  fi
}

run_ctest() {
  local build=$1
  shift
  ctest --test-dir "$build" --output-on-failure -j2 --timeout 600 "$@" || failed=1
}

if [ "$what" = all ] || [ "$what" = asan ]; then
  build=${KOLVADECK_ASAN_DIR:-build-asan}
  logs=$root/$build/sanitizer-reports
  cmake -S . -B "$build" -G Ninja -DKOLVADECK_TESTS=ON -DKOLVADECK_WERROR=ON \
    -DKOLVADECK_SANITIZE=address,undefined >/dev/null
  cmake --build "$build" -j2
  rm -rf "$logs" && mkdir -p "$logs"
  # Leaks are checked by scripts/test-leaks.sh on a whole window session;
  # here they would only repeat what the toolkit and sound libraries keep for
  # the life of the process.
  export ASAN_OPTIONS="detect_leaks=0:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:log_path=$logs/report"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$logs/report"
  echo "== AddressSanitizer + UndefinedBehaviorSanitizer: whole suite"
  # Less the on-air system test: minutes of real Icecast servers and ffmpeg
  # listeners that the unsanitized run covers; its code runs here in the
  # broadcast mix and unit tests.
  run_ctest "$build" -LE 'long|on_air'

  check_reports "$logs" "asan+ubsan"
  unset ASAN_OPTIONS UBSAN_OPTIONS
fi

if [ "$what" = all ] || [ "$what" = tsan ]; then
  build=${KOLVADECK_TSAN_DIR:-build-tsan}
  logs=$root/$build/sanitizer-reports
  cmake -S . -B "$build" -G Ninja -DKOLVADECK_TESTS=ON -DKOLVADECK_WERROR=ON -DKOLVADECK_SANITIZE=thread >/dev/null
  cmake --build "$build" -j2 --target \
    audio_engine_test deck_engine_test deck_sound_system_test fault_sound_server_test \
    level_capture_test level_meter_test meter_pulse \
    broadcast_unit broadcast_system mconv
  rm -rf "$logs" && mkdir -p "$logs"
  # Qt starts processes on the parent's memory (clone with CLONE_VM), which
  # ThreadSanitizer cannot follow; this makes those children copies instead.
  shim=$root/$build/clone_without_shared_memory.so
  cc -shared -fPIC -O2 -o "$shim" tests/sanitizers/clone_without_shared_memory.c -ldl
  export LD_PRELOAD=$shim
  export TSAN_OPTIONS="second_deadlock_stack=1:history_size=4:suppressions=$root/tests/sanitizers/tsan.supp:log_path=$logs/report"
  echo "== ThreadSanitizer: audio engine and decks, level capture, broadcast capture and relay"
  # Tests of programs not built in this tree are left out by ctest's label
  # filter (their tests are not discovered).
  run_ctest "$build" -L 'decks|broadcast'
  run_ctest "$build" -R '^(LevelCaptureTest|WaveInApi|InputLevelOnVirtualInput|MeterOnPulseAudio)\.'
  unset LD_PRELOAD
  check_reports "$logs" "tsan"
  unset TSAN_OPTIONS
fi

echo "== sanitizer step took $(($(date +%s) - start)) s"
exit $failed
