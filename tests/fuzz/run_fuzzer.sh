#!/bin/bash
# Runs one libFuzzer target for a bounded time: new inputs go to the build
# tree, the committed seeds are only read. A crash fails the test.
set -euo pipefail
fuzzer=$1 seeds=$2 found=$3
mkdir -p "$found"
exec "$fuzzer" -max_total_time="${LARKBELL_FUZZ_SECONDS:-15}" -timeout=10 -rss_limit_mb=1024 \
  -print_final_stats=1 -artifact_prefix="$found/" "$found" "$seeds"
