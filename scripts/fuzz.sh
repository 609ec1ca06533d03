#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time, starting
# from its committed seeds, one target per processor at a time (each fuzzer
# is one process; the time per target stays the same). Usage: fuzz.sh
# [SECONDS_PER_TARGET]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

# One target: its summary printed whole once it ends, so that targets
# running side by side do not mix their lines.
fuzz_target() {
  local target=$1 work status=0
  work=$(mktemp -d)
  cp fuzz/corpus/"$target"/* "$work"/
  build/fuzz/"${target}"_fuzz -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=build/fuzz/"$target"- \
    "$work" >build/fuzz/"$target".log 2>&1 || status=$?
  rm -rf "$work"
  printf 'fuzzed %s for %ss\n%s\n' "$target" "$seconds" "$(grep -E \
    '^(stat::number_of_executed_units|Done|SUMMARY)|ERROR' build/fuzz/"$target".log)"
  [ "$status" -eq 0 ] || { echo "fuzz target $target failed"; return 1; }
}
export -f fuzz_target
export seconds
printf '%s\n' utf8 utf8_chunks port_file quoted_path browser_channel app_channel manifest |
  xargs -P "$(nproc)" -I '{}' bash -c 'fuzz_target "$1"' fuzz_target '{}' || {
  echo "fuzzing found a problem: see build/fuzz/*.log and the artifacts beside them"
  exit 1
}
