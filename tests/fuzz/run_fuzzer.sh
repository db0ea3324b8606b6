#!/usr/bin/env bash
# Runs one fuzz target for a bounded time over its seed corpus, in a fresh work folder that keeps
# what the run found (new inputs, and the input of a crash, leak or hang as crash-*/leak-*/
# timeout-*). Exits non-zero on any of those, or on a sanitizer report.
#   run_fuzzer.sh TARGET SEED_DIR WORK_DIR SECONDS
set -euo pipefail
target=$1 seeds=$2 work=$3 seconds=$4
rm -rf "$work"
mkdir -p "$work/corpus"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:${UBSAN_OPTIONS:-}"
# -timeout: one input that runs longer is a hang; -rss_limit_mb: one that takes more is a fault.
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "$seeds"
