#!/usr/bin/env bash
# Builds the fuzz targets with clang, replays their seed corpora and kept regressions, then
# fuzzes each for a bounded time. Exits non-zero on any finding: a crash, a leak, a hang, an
# undefined behaviour, a broken promise, or memory past the limit.
#
#   fuzz/run.sh [TARGET...]     default: every target
#
# Environment:
#   FUZZ_SECONDS  fuzzing time per target (default 60; 0 replays only)
#   FUZZ_JOBS     targets fuzzed side by side (default 2)
#   FUZZ_BUILD    build folder (default build/fuzz)
#
# New inputs that widen coverage collect in $FUZZ_BUILD/corpus/TARGET and are kept between
# local runs; a finding is written to $FUZZ_BUILD/findings/TARGET-*. Keep a finding as a
# regression case by copying it into fuzz/regressions/TARGET/ once the fault is fixed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD:-$root/build/fuzz}
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-2}

# Each target with the longest input it is given: room for its largest seed and a few blocks.
declare -A max_len=(
  [data_file]=4096
  [process_reply]=8192
  [boot_loader]=4096
  [options]=1024
)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(data_file process_reply boot_loader options)
fi
for target in "${targets[@]}"; do
  if [ -z "${max_len[$target]:-}" ]; then
    echo "fuzz: no target $target (there are: ${!max_len[*]})" >&2
    exit 2
  fi
done

cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"

mkdir -p "$build/logs" "$build/findings"
limits=(-rss_limit_mb=256 -timeout=10)

# Replays the seeds and every kept regression, each input whole, then fuzzes.
run_target() {
  local target=$1
  local binary=$build/${target}_fuzzer
  local log=$build/logs/$target.log
  local regressions=$root/fuzz/regressions/$target
  local corpus=$build/corpus/$target
  mkdir -p "$corpus"
  : >"$log"
  if ! "$binary" "${limits[@]}" -runs=0 "$build/seeds/$target" >>"$log" 2>&1; then
    echo "fuzz: $target: a seed fails; see $log" >&2
    return 1
  fi
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    if ! "$binary" "${limits[@]}" "$regressions"/* >>"$log" 2>&1; then
      echo "fuzz: $target: a regression case fails again; see $log" >&2
      return 1
    fi
  fi
  if [ "$seconds" -gt 0 ]; then
    local found=()
    [ -d "$regressions" ] && found=("$regressions")
    # The outer limit only guards against a fuzzer that fails to stop by itself.
    if ! timeout $((seconds + 300)) "$binary" "${limits[@]}" -max_len="${max_len[$target]}" \
      -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/findings/$target-" \
      "$corpus" "$build/seeds/$target" "${found[@]}" >>"$log" 2>&1; then
      echo "fuzz: $target: found a fault; see $log and $build/findings/" >&2
      tail -n 40 "$log" >&2
      return 1
    fi
  fi
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  echo "fuzz: $target: no finding${runs:+ in $runs runs} ($(ls "$corpus" | wc -l) inputs kept)"
}

pids=()
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
    wait -n || true
  done
  run_target "$target" &
  pids+=($!)
done
failed=()
for i in "${!pids[@]}"; do
  if ! wait "${pids[$i]}"; then
    failed+=("${targets[$i]}")
  fi
done
passed=$((${#targets[@]} - ${#failed[@]}))
echo "fuzz: $passed passed, ${#failed[@]} failed"
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
