#!/usr/bin/env bash
# Builds Kolvadeck and starts it. Installs the Debian packages it needs first.
# With no display, the program is started on a virtual display (Xvfb).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh build
build=${KOLVADECK_BUILD_DIR:-build-run}
cmake -S . -B "$build" -G Ninja -DKOLVADECK_TESTS=OFF >/dev/null
cmake --build "$build" -j2
program="$build/app/kolvadeck"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting Kolvadeck on a virtual display (Xvfb)."
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$program" "$@"
fi
exec "$program" "$@"
