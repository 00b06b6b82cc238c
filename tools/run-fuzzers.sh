#!/usr/bin/env bash
# Runs every libFuzzer target for a bounded time, two at a time, seeded with
# the game's own generated files and the inputs kept in tests/fixtures.
# Usage: run-fuzzers.sh FUZZ_BUILD RUN_DIR SECONDS_PER_TARGET
# What a target finds goes to FUZZ_BUILD/fuzzing/<target>/findings; the corpus
# it grows stays in FUZZ_BUILD/fuzzing/<target>/corpus for the next run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fuzz_build=$(cd "$1" && pwd)
run_dir=$(cd "$2" && pwd)
seconds=${3:-45}

declare -A generated=([config]="config.ini" [score]="" [dds]="bubble.dds" [image]="special.png mask.bmp icon.png")
declare -A kept=([config]=config-ini [score]=score-dat [dds]=dds [image]=images)

# Large allocations fail the way they do on a machine without the memory, rather
# than as libFuzzer's out-of-memory report: the readers must cope with either.
asan="allocator_may_return_null=1:max_allocation_size_mb=256:detect_leaks=1"
export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

fuzz() {
  local target=$1
  local work=$fuzz_build/fuzzing/$target
  rm -rf "$work/seeds" "$work/findings"
  mkdir -p "$work/seeds" "$work/corpus" "$work/findings"
  for file in ${generated[$target]}; do cp "$run_dir/$file" "$work/seeds/"; done
  cp "$root/tests/fixtures/${kept[$target]}"/* "$work/seeds/"
  local options=(-max_total_time="$seconds" -timeout=30 -rss_limit_mb=3072 -print_final_stats=1
                 -artifact_prefix="$work/findings/")
  [ -f "$root/fuzz/$target.dict" ] && options+=(-dict="$root/fuzz/$target.dict")
  # SDL2_image's leaks are told apart by their full allocation stacks.
  local unwind=""
  [ "$target" = image ] && unwind=":fast_unwind_on_malloc=0"
  ASAN_OPTIONS="$asan$unwind" "$fuzz_build/fuzz_$target" "${options[@]}" "$work/corpus" "$work/seeds" \
    >"$work/log" 2>&1
}

report() {
  local target=$1 status=$2
  local log=$fuzz_build/fuzzing/$target/log
  local runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  if [ "$status" -eq 0 ]; then
    echo "fuzz_$target: ${runs:-0} inputs in ${seconds} s, nothing found"
    return 0
  fi
  echo "fuzz_$target: FAILED (status $status); the last lines of $log:"
  tail -n 60 "$log"
  ls -l "$fuzz_build/fuzzing/$target/findings"
  return 1
}

failed=0
for pair in "config score" "dds image"; do
  pids=()
  for target in $pair; do
    fuzz "$target" &
    pids+=("$!")
  done
  targets=($pair)
  for i in 0 1; do
    status=0
    wait "${pids[$i]}" || status=$?
    report "${targets[$i]}" "$status" || failed=1
  done
done
exit $failed
