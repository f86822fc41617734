#!/usr/bin/env bash
# Failures of panelxlate that a case folder cannot set up:
#   panelxlate-failures.sh <panelxlate> stdout-full  standard output is /dev/full
#   panelxlate-failures.sh <panelxlate> closed-pipe  the reader of standard output is gone
#   panelxlate-failures.sh <panelxlate> no-memory    the object tree outgrows the address space
#   panelxlate-failures.sh <panelxlate> too-large    a script larger than an input buffer may be
# Each must end with its exit code, its message on standard error, and no file left behind.
set -u
prog=$1
mode=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2

# windows with ten attributes each: <count> windows into <file>
generate() {
  awk -v n="$1" 'BEGIN {
    for (i = 0; i < n; ++i) {
      printf "window W%d {\n", i
      for (a = 0; a < 10; ++a) printf "  .content[%d] \"line %d of window %d\";\n", a, a, i
      printf "}\n"
    }
  }' > "$2"
}

expect() { # expect <rc> <stderr-pattern>
  local want_rc=$1 pattern=$2
  if [ "$rc" != "$want_rc" ]; then
    echo "exit code: expected $want_rc, actual $rc"; cat err; exit 1
  fi
  if ! grep -Eq -- "$pattern" err; then
    echo "standard error: expected a line matching '$pattern', actual:"; cat err; exit 1
  fi
}

case $mode in
  stdout-full)
    generate 10 main.idm
    "$prog" -q main.idm > /dev/full 2> err
    rc=$?
    expect 3 "^unable to write file '\(Standard Output\)': No space left on device$"
    ;;
  closed-pipe)
    # Far more output than a pipe holds: the writer blocks until the reader has
    # gone, so the failed write does not depend on timing.
    generate 2000 main.idm
    "$prog" -q main.idm 2> err | true
    rc=${PIPESTATUS[0]}
    expect 3 "^unable to write file '\(Standard Output\)': Broken pipe$"
    ;;
  no-memory)
    # 64 MB of address space; 40000 windows (16 MB of script) need more.
    generate 40000 big.idm
    ( ulimit -v 65536; "$prog" -q -o out.dlg big.idm 2> err )
    rc=$?
    expect 3 "heap overflow"
    expect 3 "^file 'big.idm', line [0-9]+$"
    leftover=$(ls -A | grep -v -e '^big.idm$' -e '^err$')
    [ -z "$leftover" ] || { echo "files left behind: $leftover"; exit 1; }
    ;;
  too-large)
    # A sparse file: its size is refused before anything is read.
    truncate -s 268435457 big.idm
    "$prog" -q -o out.dlg big.idm 2> err
    rc=$?
    expect 2 "^file 'big.idm' is larger than 268435456 bytes$"
    [ ! -e out.dlg ] || { echo "out.dlg was written"; exit 1; }
    ;;
  *)
    echo "unknown mode $mode"; exit 2 ;;
esac
exit 0
