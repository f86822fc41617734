#!/usr/bin/env bash
# Checks the sample dialogs beside this script against the shop's dictionary
# with the given glosscheck: a clean run, a run with warnings, a failing run.
#
#   check.sh GLOSSCHECK
#
# The files are read from this script's folder; nothing is written.
set -u
glosscheck=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
cd "$here" || exit 2

status=0
run() { # run <expected exit code> <arguments...>
  local want=$1
  shift
  echo "\$ glosscheck $*"
  "$glosscheck" "$@"
  local rc=$?
  echo "exit code $rc"
  echo
  [ "$rc" = "$want" ] || { echo "expected exit code $want"; status=1; }
}

echo "# 1. Clean: the dictionary model, the dialog model and the order dialog."
run 0 -q -m fields.dic -c widgets.dlg -d order.dlg shop.dic
echo "# 2. Warnings (-l2): still exit code 0; the sections no dialog used are listed."
run 0 -q -l2 -m fields.dic -d customer.dlg shop.dic
echo "# 3. Errors: exit code 1."
run 1 -q -m fields.dic -d broken.dlg shop.dic
exit $status
