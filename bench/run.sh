#!/usr/bin/env bash
# Builds every benchmark from a fresh build directory and runs them all.
# Each program prints `ratio NAME VALUE` lines: ours divided by the floor or
# peer measured in the same run (below 1 is better than the reference).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh test
build=$(mktemp -d /tmp/kolvadeck-bench.XXXXXX)
trap 'rm -rf "$build"' EXIT
# The build type is the default one (RelWithDebInfo), as users build it.
cmake -S . -B "$build" -G Ninja -DKOLVADECK_TESTS=OFF -DKOLVADECK_BENCH=ON >/dev/null
cmake --build "$build" -j2
status=0
for b in "$build"/bench/bench_*; do
  [ -f "$b" ] && [ -x "$b" ] || continue # not the *_autogen folders
  echo "== $(basename "$b")"
  # Three repetitions: the ratios use the median, and the worst is kept beside it.
  (cd "$build" && "$b" --benchmark_min_time=0.2 --benchmark_repetitions=3) || status=1
done
exit $status
