#!/usr/bin/env bash
# glosscheck when memory runs out (each mode in 64 MB of address space):
#   glosscheck-failures.sh <glosscheck> no-memory-dictionary   200,000 dictionary sections
#   glosscheck-failures.sh <glosscheck> no-memory-dialog       400,000 dialog objects
# Each must end with exit code 3 and its "heap overflow" message on standard output.
set -u
prog=$1
mode=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2

printf '[catalog]\nCU = cust\n' > small.dic
case $mode in
  no-memory-dictionary)
    awk 'BEGIN { print "[catalog]\nCU = cust"
                 for (i = 0; i < 200000; ++i) printf "[cu.f%d]\nPATH = f%d\nOBJTYPE = ET\nFTYP = T\nFLEN = 10\n", i, i }' > big.dic
    ( ulimit -v 65536; "$prog" -q big.dic > out 2>&1 )
    rc=$?
    pattern='^CheckDict\(\) failed: heap overflow$'
    ;;
  no-memory-dialog)
    awk 'BEGIN { print "Dialog cust {"
                 for (i = 0; i < 400000; ++i) printf "  EditText field_number_%d { .w = 10 }\n", i
                 print "}" }' > big.dlg
    ( ulimit -v 65536; "$prog" -q -d big.dlg small.dic > out 2>&1 )
    rc=$?
    pattern='^AddDlgObj\(line [0-9]+\) failed: heap overflow, path=.CU\.field_number_[0-9]+.$'
    ;;
  *)
    echo "unknown mode $mode"; exit 2 ;;
esac
if [ "$rc" != 3 ] || ! grep -Eq "$pattern" out; then
  echo "exit code $rc (expected 3), output:"; tail -5 out; exit 1
fi
exit 0
