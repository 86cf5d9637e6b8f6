#!/bin/sh
# Runs every fuzz target of a fuzz build for SECONDS each, from the committed seeds plus a work
# corpus that persists between runs. Any crash or failed check fails the script.
#   tools/run_fuzzers.sh BUILD_DIR SECONDS
set -eu
build=$1
seconds=$2
root=$(cd "$(dirname "$0")/.." && pwd)
work=$root/fuzz/corpus-work
mkdir -p "$work" "$build/artifacts"
# The index target starts from a small packed image.
mkdir -p "$work/index"
t=$root/fuzz/seeds/index_tables
"$build/glyphloom_pack" "$work/index/seed.glx" "$t/names.tsv" "$t/spellings.tsv" \
  "$t/effects.tsv" "$t/fonts.tsv" "$t/templates.tsv"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
for target in meta convert roundtrip runs_html index; do
  mkdir -p "$work/$target"
  seeds=$root/fuzz/seeds/$target
  [ -d "$seeds" ] || seeds=
  echo "fuzzing $target for ${seconds}s"
  log=$build/artifacts/$target.log
  status=0
  "$build/${target}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -max_len=4096 -print_final_stats=1 -artifact_prefix="$build/artifacts/${target}-" \
    "$work/$target" $seeds >"$log" 2>&1 || status=$?
  grep -E "^stat::(number_of_executed_units|new_units_added)" "$log" || true
  if [ "$status" != 0 ]; then
    tail -40 "$log"
    echo "fuzz target $target failed"
    exit 1
  fi
done
