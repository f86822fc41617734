#!/usr/bin/env bash
# Converts the sample IDM application beside this script into a DLG file and
# shows it; given a glosscheck program, checks the result against the
# dictionary app.dic beside this script: the pipeline of a migration.
#
#   convert.sh PANELXLATE OUTDIR [GLOSSCHECK]
#
# The files are read from this script's folder; everything is written into
# OUTDIR.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
panelxlate=$1
out=$2
glosscheck=${3:-}
mkdir -p "$out"

# The configuration, the module folder as the symbol IDMLIB, the header with
# the definitions the dialog's values use.
"$panelxlate" -c "$here/app.cfg" -d "IDMLIB=$here/lib" -h "$here/defs.dlg" -o "$out/app.dlg" "$here/app.idm"
cat "$out/app.dlg"

if [ -n "$glosscheck" ]; then
  "$glosscheck" -d "$out/app.dlg" "$here/app.dic"
fi
