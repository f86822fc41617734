#!/usr/bin/env bash
# Reads back with glosscheck what panelxlate writes for the golden cases named:
#   panelxlate-roundtrip.sh <panelxlate> <glosscheck> <case-folder>...
# Each case is converted as its args say, in a scratch copy of its folder, to
# standard output; glosscheck must read the result as a dialog file (-d) with
# exit code 0.
set -u
absolute() { echo "$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"; }
panelxlate=$(absolute "$1")
glosscheck=$(absolute "$2")
shift 2
status=0
for case_dir in "$@"; do
  work=$(mktemp -d)
  cp -a "$case_dir"/. "$work"/
  (
    cd "$work" || exit 1
    args=()
    [ -f args ] && mapfile -t args < args
    if ! "$panelxlate" "${args[@]}" > roundtrip.dlg 2> /dev/null; then
      echo "$case_dir: panelxlate failed"
      exit 1
    fi
    printf '[catalog]\n' > roundtrip.dic
    if ! "$glosscheck" -q -d roundtrip.dlg roundtrip.dic > glosscheck.out 2>&1; then
      echo "$case_dir: glosscheck does not accept the output:"
      cat glosscheck.out roundtrip.dlg
      exit 1
    fi
  ) || status=1
  rm -rf "$work"
done
exit $status
