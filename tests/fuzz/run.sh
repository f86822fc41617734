#!/usr/bin/env bash
# Fuzzes every target (or those named) for a fixed time each:
#   tests/fuzz/run.sh <build-dir> <seconds> [target...]
# <build-dir> is the fuzz preset's (build-fuzz). Targets run side by side, as
# many at a time as VL_FUZZ_JOBS says (the number of processors by default).
# New inputs go to <build-dir>/fuzz-work/<target>/, never into the committed
# corpus; a finding is written to <build-dir>/fuzz-findings/ and makes the run
# end with 1 after the end of the fuzzer's report (README.md in this folder:
# how to keep it as a seed).
set -uo pipefail
build=$(cd "$1" && pwd)
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
jobs=${VL_FUZZ_JOBS:-$(nproc 2>/dev/null || echo 2)}
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in "$here"/corpus/*/; do targets+=("$(basename "$dir")"); done
fi
mkdir -p "$build/fuzz-findings" "$build/fuzz-work"
# The targets' scratch files go into a folder of this run.
TMPDIR=$(mktemp -d) || exit 1
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT

fuzz() { # fuzz <target>: one target for the set time; its exit code in <target>.rc
  local t=$1 work="$build/fuzz-work/$1"
  mkdir -p "$work"
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
    -artifact_prefix="$build/fuzz-findings/$t-" -print_final_stats=1 "$work" "$here/corpus/$t" \
    > "$build/fuzz-work/$t.log" 2>&1
  echo $? > "$build/fuzz-work/$t.rc"
}

running=0
for t in "${targets[@]}"; do
  fuzz "$t" &
  running=$((running + 1))
  if [ $running -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

status=0
for t in "${targets[@]}"; do
  log="$build/fuzz-work/$t.log"
  rc=$(cat "$build/fuzz-work/$t.rc")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz $t: ${seconds}s, ${runs:-?} runs, exit $rc"
  if [ "$rc" != 0 ]; then
    grep -v '^#[0-9]' "$log" | tail -n 40
    status=1
  fi
done
exit $status
