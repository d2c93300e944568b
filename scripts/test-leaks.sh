#!/usr/bin/env bash
# LeakSanitizer over a whole session of the window (tests/faults/LeakCheck.cpp):
# start, add files, play on the virtual sound card, edit a tag, search a
# loopback service, close. LeakSanitizer needs no instrumented build: its
# runtime is preloaded into the ordinary test program and checks the heap when
# the program ends. So this step reuses the main build (KOLVADECK_BUILD_DIR,
# default "build", as test.sh leaves it) and builds only that one program.
# Suppressions (tests/faults/lsan.supp) name third-party libraries only.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KOLVADECK_BUILD_DIR:-build}
[ -f "$build/build.ninja" ] || cmake -S . -B "$build" -G Ninja -DKOLVADECK_TESTS=ON -DKOLVADECK_WERROR=ON >/dev/null
cmake --build "$build" -j2 --target fault_leak_check >/dev/null
runtime=$(gcc -print-file-name=liblsan.so)
if [ ! -e "$runtime" ]; then
  echo "test-leaks: the LeakSanitizer runtime (liblsan0) is missing" >&2
  exit 1
fi
export QT_QPA_PLATFORM=offscreen KOLVADECK_AUDIO=virtual
# The slow unwinder gives whole stacks through libraries built without frame
# pointers, so that suppressions match on the library that really allocated.
options="suppressions=$PWD/tests/faults/lsan.supp:fast_unwind_on_malloc=0:print_suppressions=1"
LD_PRELOAD=$runtime LSAN_OPTIONS=$options "$build/tests/faults/fault_leak_check"
echo "test-leaks: no leak of the program's own"
