#!/usr/bin/env bash
# Runs one end-to-end case: run-case.sh <program> <case-folder>
#
# A case folder holds the program's inputs and what it must produce:
#   args            the command-line arguments, one per line (optional)
#   stdin           standard input (optional; else empty)
#   env             VAR=value lines set for the run (optional)
#   expected.stdout, expected.stderr   output (missing: must be empty)
#   expected.rc     exit code (missing: 0)
#   expected.files/ files the run must leave in its folder, compared byte for byte
#   expected.ls     every file and folder the run leaves in its folder, one path a
#                   line, sorted (so that a failed run is seen to leave nothing behind)
#   mask            sed -E script applied to the outputs and files before comparing
#                   (for times and dates that change from run to run)
#   locales         the generated locales the case needs, one per line: without
#                   one of them the case is skipped (exit code 77)
# The program runs in a scratch copy of the folder, so it may write files there.
set -u
prog=$1
case_dir=$(cd "$2" && pwd)

if [ -f "$case_dir/locales" ]; then
  while IFS= read -r name; do
    [ -n "$name" ] || continue
    # `locale` cannot switch to a locale that is not installed, and says so.
    if LC_ALL=$name locale charmap 2>&1 >/dev/null | grep -q 'Cannot set'; then
      echo "skipped: locale $name is not installed (README.md, \"Test locales\", says how to generate it)"
      exit 77
    fi
  done < "$case_dir/locales"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp -a "$case_dir"/. "$work"/
rm -rf "$work"/expected.* "$work"/mask "$work"/locales
cd "$work" || exit 2

args=()
[ -f args ] && mapfile -t args < args
if [ -f env ]; then
  while IFS= read -r kv; do [ -n "$kv" ] && export "${kv?}"; done < env
fi
input=/dev/null
[ -f stdin ] && input=stdin

"$prog" "${args[@]}" < "$input" > "$work/.actual.stdout" 2> "$work/.actual.stderr"
rc=$?

masked() {
  if [ -f "$case_dir/mask" ]; then sed -E -f "$case_dir/mask" "$1"; else cat "$1"; fi
}
status=0
compare() { # compare <expected-file-or-empty> <actual-file> <label>
  local expected=$1 actual=$2 label=$3
  if ! diff -u --label "expected $label" --label "actual $label" "$expected" <(masked "$actual") > "$work/.diff"; then
    echo "--- $label differs:"
    cat "$work/.diff"
    status=1
  fi
}

exp_out=/dev/null; [ -f "$case_dir/expected.stdout" ] && exp_out="$case_dir/expected.stdout"
exp_err=/dev/null; [ -f "$case_dir/expected.stderr" ] && exp_err="$case_dir/expected.stderr"
compare "$exp_out" "$work/.actual.stdout" stdout
compare "$exp_err" "$work/.actual.stderr" stderr

want_rc=0
[ -f "$case_dir/expected.rc" ] && want_rc=$(tr -d ' \n' < "$case_dir/expected.rc")
if [ "$rc" != "$want_rc" ]; then
  echo "--- exit code: expected $want_rc, actual $rc"
  status=1
fi

if [ -d "$case_dir/expected.files" ]; then
  while IFS= read -r -d '' f; do
    rel=${f#"$case_dir/expected.files/"}
    if [ ! -f "$work/$rel" ]; then
      echo "--- file $rel was not written"
      status=1
    else
      compare "$f" "$work/$rel" "file $rel"
    fi
  done < <(find "$case_dir/expected.files" -type f -print0)
fi
if [ -f "$case_dir/expected.ls" ]; then
  (cd "$work" && find . -mindepth 1 ! -name '.actual.*' ! -name .diff | sed 's|^\./||' | LC_ALL=C sort) > "$work/.actual.ls"
  compare "$case_dir/expected.ls" "$work/.actual.ls" "folder listing"
fi
exit $status
