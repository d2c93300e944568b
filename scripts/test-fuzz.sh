#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) with clang and runs each for a bounded
# time on a copy of its seeds: the test fixtures, fuzz/seeds, the MP3 files of
# ../shared/peer-data and the committed crash inputs of fuzz/regressions. Fails
# when any target crashes, leaks, hangs or breaks one of its checks.
#   scripts/test-fuzz.sh                  every target
#   scripts/test-fuzz.sh fuzz_base64 ...  only these
# fuzz/dicts holds the words of each input format. FUZZ_SECONDS (default 25)
# is each target's time; FUZZ_JOBS (default 2) how many run at once. Nothing
# is written into the checkout but the build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
start=$SECONDS
seconds=${FUZZ_SECONDS:-25}
jobs=${FUZZ_JOBS:-2}
build=${KOLVADECK_FUZZ_BUILD_DIR:-${KOLVADECK_BUILD_DIR:-build}-fuzz}
case $build in /*) ;; *) build=$root/$build ;; esac

./scripts/install-deps.sh test

work=$(mktemp -d "${TMPDIR:-/tmp}/kv-fuzz.XXXXXX")
keep_work=0
cleanup() { [ "$keep_work" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT

echo "fuzz: building the targets in $build"
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang-14 \
         -DCMAKE_CXX_COMPILER=clang++-14 -DKOLVADECK_TESTS=OFF -DKOLVADECK_WERROR=ON -DKOLVADECK_FUZZ=ON &&
       cmake --build "$build" -j2 --target fuzz_all; } >"$work/build.log" 2>&1; then
  tail -n 40 "$work/build.log"
  echo "fuzz: the build failed"
  echo "fuzz: 0 passed, 1 failed"
  exit 1
fi
echo "fuzz: built in $((SECONDS - start)) s"

if [ $# -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets <"$build/fuzz/targets.txt"
fi

# The seed folders of a target.
seeds_of() {
  case $1 in
    fuzz_read_title_tag | fuzz_read_tag | fuzz_write_tag)
      echo "$root/fuzz/seeds/tags $root/../shared/peer-data/id3v1" ;;
    fuzz_playlist_file) echo "$root/fuzz/seeds/playlist" ;;
    fuzz_answer_*) echo "$root/tests/search/answers" ;;
    fuzz_base64) echo "$root/fuzz/seeds/base64" ;;
    fuzz_command_line) echo "$root/fuzz/seeds/command_line" ;;
    fuzz_mconv_options) echo "$root/fuzz/seeds/mconv" ;;
    fuzz_yt_options) echo "$root/fuzz/seeds/yt" ;;
    fuzz_catalog_service) echo "$root/fuzz/seeds/catalog" ;;
  esac
  echo "$root/fuzz/regressions/$1"
}

run_target() {
  local target=$1 corpus="$work/corpus/$1" out="$work/out/$1"
  mkdir -p "$corpus" "$out/artifacts"
  local dir
  for dir in $(seeds_of "$target"); do
    [ -d "$dir" ] || continue
    find "$dir" -maxdepth 1 -type f ! -name '*.json' -exec cp -t "$corpus" {} +
  done
  chmod -R u+w "$corpus"
  local dict=() name
  case $target in
    fuzz_read_title_tag | fuzz_read_tag | fuzz_write_tag) name=tags ;;
    fuzz_answer_*) name=answers ;;
    fuzz_catalog_service) name=catalog ;;
    fuzz_command_line | fuzz_mconv_options | fuzz_yt_options) name=command_line ;;
    *) name= ;;
  esac
  if [ -n "$name" ]; then dict=(-dict="$root/fuzz/dicts/$name.dict"); fi
  local status=0
  (cd "$out" && TMPDIR="$out" "$build/fuzz/$target" "$corpus" "${dict[@]}" \
    -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$out/artifacts/" >"$out/log" 2>&1) || status=$?
  echo "$status" >"$out/status"
}

mkdir -p "$work/corpus" "$work/out"
running=0
for target in "${targets[@]}"; do
  if [ ! -x "$build/fuzz/$target" ]; then
    echo "fuzz: no target $target"
    mkdir -p "$work/out/$target"
    echo 127 >"$work/out/$target/status"
    continue
  fi
  run_target "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait || true

passed=0
failed=0
for target in "${targets[@]}"; do
  out="$work/out/$target"
  status=$(cat "$out/status" 2>/dev/null || echo 1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/log" 2>/dev/null | tail -n 1)
  crashes=$(find "$out/artifacts" -type f 2>/dev/null | wc -l)
  [ "$status" = 0 ] || [ "$crashes" -gt 0 ] || crashes=1
  grep -h '^Done [0-9]* runs' "$out/log" 2>/dev/null | sed "s/^/$target: /" || true
  echo "fuzz $target: ${runs:-0} executions, $crashes crashes"
  if [ "$status" = 0 ] && [ "$crashes" = 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    keep_work=1
    grep -E 'ERROR|SUMMARY|property broken|^    #[0-9]' "$out/log" 2>/dev/null | head -n 30 || true
    echo "fuzz $target: log $out/log, inputs in $out/artifacts"
  fi
done
echo "fuzz: step took $((SECONDS - start)) s"
echo "fuzz: $passed passed, $failed failed"
[ "$failed" = 0 ]
