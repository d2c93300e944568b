#!/usr/bin/env bash
# Builds Kolvadeck and runs every test. Installs the Debian packages it needs
# first. The system tests start their own private PulseAudio server (and, where
# needed, HTTP and RTMP servers) on this machine only.
#   ./test.sh               everything: the suite, then each scripts/test-*.sh
#                           step (sanitizer builds, fuzzing)
#   ./test.sh -L decks      only the main suite, with these ctest arguments
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh test
# The window's thread never waits: no nested event loop, sleep or blocking
# process wait in product code.
./scripts/check-no-wait.sh
build=${KOLVADECK_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DKOLVADECK_TESTS=ON -DKOLVADECK_WERROR=ON >/dev/null
cmake --build "$build" -j2
# clang-tidy (the root .clang-tidy) on the sources changed against main.
./scripts/check-tidy.sh "$build"
export QT_QPA_PLATFORM=offscreen
# The two-minute busy-machine dropout test (label long) runs here, alone; the
# sanitizer builds leave it out, since their timing says nothing.
ctest --test-dir "$build" --output-on-failure -j2 --timeout 300 "$@"

# With ctest arguments, only the main suite runs.
[ $# -eq 0 ] || exit 0
for step in scripts/test-*.sh; do
  [ -x "$step" ] || continue
  echo "== $step"
  "$step"
done
