#!/usr/bin/env bash
# Fuzzes every target (or those named) for a fixed time each:
#   tests/fuzz/run.sh <build-dir> <seconds> [target...]
# <build-dir> is the fuzz preset's (build-fuzz). New inputs go to
# <build-dir>/fuzz-work/<target>/, never into the committed corpus; a finding
# is written to <build-dir>/fuzz-findings/ and ends the run with 1 after the
# end of the fuzzer's report (README.md in this folder: how to keep it as a seed).
set -uo pipefail
build=$(cd "$1" && pwd)
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for dir in "$here"/corpus/*/; do targets+=("$(basename "$dir")"); done
fi
mkdir -p "$build/fuzz-findings"
# The targets' scratch files go into a folder of this run.
TMPDIR=$(mktemp -d) || exit 1
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT
status=0
for t in "${targets[@]}"; do
  work="$build/fuzz-work/$t"
  mkdir -p "$work"
  log="$build/fuzz-work/$t.log"
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
    -artifact_prefix="$build/fuzz-findings/$t-" -print_final_stats=1 "$work" "$here/corpus/$t" > "$log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz $t: ${seconds}s, ${runs:-?} runs, exit $rc"
  if [ $rc != 0 ]; then
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
