#!/usr/bin/env bash
# Runs a libFuzzer target for a bounded time from a fresh seed corpus.
# usage: run_fuzzer.sh FUZZER SEED_WRITER WORK_DIR SECONDS [libFuzzer options...]
set -euo pipefail
fuzzer=$1 seeds=$2 work=$3 seconds=$4
shift 4
rm -rf "$work"
mkdir -p "$work/corpus" "$work/seeds" "$work/tmp"
"$seeds" "$work/seeds"
cd "$work"
TMPDIR="$work/tmp" "$fuzzer" corpus seeds -max_total_time="$seconds" -max_len=131072 -timeout=10 \
  -rss_limit_mb=2048 -artifact_prefix="$work/" -print_final_stats=1 "$@"
