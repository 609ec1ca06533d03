#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a bounded time, starting
# from its committed seeds. Usage: fuzz.sh [SECONDS_PER_TARGET]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in utf8 utf8_chunks port_file quoted_path browser_channel app_channel \
              manifest; do
  work=$(mktemp -d)
  cp fuzz/corpus/$target/* "$work"/
  echo "fuzzing $target for ${seconds}s"
  status=0
  build/fuzz/${target}_fuzz -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=build/fuzz/$target- \
    "$work" >build/fuzz/$target.log 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|Done|SUMMARY)|ERROR' build/fuzz/$target.log || true
  rm -rf "$work"
  [ "$status" -eq 0 ] || { echo "fuzz target $target failed"; exit 1; }
done
