#!/usr/bin/env bash
# Runs every fuzz target of a build folder for the given seconds each, starting from its saved
# corpus (which stays unchanged: new inputs go to a scratch folder).
#   fuzz/run_all.sh build/fuzz 30
set -uo pipefail
build=${1:?usage: fuzz/run_all.sh <build-dir> <seconds>}
seconds=${2:?usage: fuzz/run_all.sh <build-dir> <seconds>}
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
passed=0
failed=0
for target in read_free_str records free_group format_g; do
  binary=$(find "$build" -type f -name "fuzz_$target" -perm -u+x | head -n 1)
  if [ -z "$binary" ]; then
    echo "fuzz $target: no fuzz_$target in $build"
    failed=$((failed + 1))
    continue
  fi
  mkdir -p "$scratch/$target" "$scratch/$target.crash"
  log="$scratch/$target.log"
  if "$binary" -max_total_time="$seconds" -print_final_stats=1 -max_len=4096 \
      -artifact_prefix="$scratch/$target.crash/" "$scratch/$target" "$here/corpus/$target" \
      >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "fuzz $target: ${runs:-?} runs in ${seconds} s, ${rate:-?} exec/s, no crash"
    passed=$((passed + 1))
  else
    echo "fuzz $target: FAILED"
    tail -n 40 "$log"
    for crash in "$scratch/$target.crash"/*; do
      [ -f "$crash" ] && echo "input ($crash):" && od -c "$crash" | head -n 20
    done
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
