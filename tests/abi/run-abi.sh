#!/usr/bin/env bash
# Drives util through a host library put in place of libvlrt64.so:
# run-abi.sh <util> <host-library> preload|path <expected-folder>
set -u
util=$1 host=$2 how=$3 expected=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=${ASAN_OPTIONS:-}${ASAN_OPTIONS:+:}verify_asan_link_order=0
# The host put in place defines the same globals as libvlrt64.so (HostDebugLevel):
# that is the interposition under test, not a violation of the one-definition rule.
export ASAN_OPTIONS=$ASAN_OPTIONS:detect_odr_violation=0
if [ "$how" = preload ]; then
  LD_PRELOAD=$host "$util" first second > "$work/out" 2> "$work/err"
else
  LD_LIBRARY_PATH=$(dirname "$host") "$util" first second > "$work/out" 2> "$work/err"
fi
rc=$?
status=0
diff -u "$expected/expected.stdout" "$work/out" || status=1
diff -u "$expected/expected.stderr" "$work/err" || status=1
[ "$rc" = 5 ] || { echo "exit code $rc, expected 5 (HostMain's result)"; status=1; }
exit $status
