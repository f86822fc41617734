#!/usr/bin/env bash
# Failures of inkstrip that a case folder cannot set up:
#   inkstrip-failures.sh <inkstrip> full-disk    standard output is /dev/full
#   inkstrip-failures.sh <inkstrip> closed-pipe  the reader of standard output is gone
#   inkstrip-failures.sh <inkstrip> no-memory    a line longer than the address space allows
#   inkstrip-failures.sh <inkstrip> no-memory-buffers <failalloc.so>
#                                                the I/O buffers cannot be allocated
# Each must end with exit code 1 and its message on standard error, except the
# closed pipe: inkstrip ends quietly, as if killed by SIGPIPE (status 141).
set -u
prog=$1
mode=$2
failalloc=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2

# 20000 lines of 50 bytes: far more than a pipe holds.
for ((i = 0; i < 20000; ++i)); do printf 'line %05d of the input, overprinted\r____\n' "$i"; done > input.txt

expect() { # expect <rc> <stderr-pattern, or empty for no output>
  local want_rc=$1 pattern=$2
  if [ "$rc" != "$want_rc" ]; then
    echo "exit code: expected $want_rc, actual $rc"; cat err; exit 1
  fi
  if [ -z "$pattern" ]; then
    [ -s err ] && { echo "standard error: expected nothing, actual:"; cat err; exit 1; }
    return 0
  fi
  if ! grep -Eqx -- "$pattern" err || [ "$(wc -l < err)" != 1 ]; then
    echo "standard error: expected one line matching '$pattern', actual:"; cat err; exit 1
  fi
}

case $mode in
  full-disk)
    "$prog" input.txt > /dev/full 2> err
    rc=$?
    expect 1 'standard output: write failed: No space left on device'
    ;;
  closed-pipe)
    # The reader never reads and exits at once; the writer blocks on the full
    # pipe until then, so the failed write does not depend on timing.
    "$prog" input.txt 2> err | true
    rc=${PIPESTATUS[0]}
    expect 141 ''
    ;;
  no-memory)
    # 64 MB of address space; one line of 100 MB. The lines before it stay written.
    ( ulimit -v 65536
      { echo first; head -c 100000000 /dev/zero | tr '\0' x; echo; echo never; } | "$prog" > out 2> err )
    rc=$?
    expect 1 'memory allocation failed \([0-9]+ bytes\)'
    [ "$(cat out)" = first ] || { echo "standard output: expected the first line only"; head -c 200 out; exit 1; }
    ;;
  no-memory-buffers)
    # Every allocation of 128 KB or more fails: the first I/O buffer cannot be had.
    VL_FAIL_ALLOC_MIN=131072 LD_PRELOAD=$failalloc "$prog" input.txt > out 2> err
    rc=$?
    expect 1 'memory allocation failed \(131072 bytes\)'
    [ -s out ] && { echo "standard output: expected nothing"; head -c 200 out; exit 1; }
    ;;
  *)
    echo "unknown mode $mode"; exit 2 ;;
esac
exit 0
