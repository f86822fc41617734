#!/usr/bin/env bash
# The allocation-failure loop: runs a program on one case again and again, the
# n-th allocation failing (failalloc.cpp), for n = 1, 2, ... until a run goes
# through without a failure.
#
#   alloc-loop.sh <failalloc.so> <once|always> <program> <case>...
#
# A case is a golden case folder (args, stdin and env as run-case.sh reads them;
# each run works in a fresh copy of it) or a util script (run as its argument).
# "once" fails only the n-th allocation, "always" every one from the n-th on.
# Each run must:
#   - end by itself: no signal, no abort, no "terminate called", no report of
#     the sanitizers (a leak included, when the program is built with them);
#   - either be the run without failures over again (the failure was absorbed,
#     as the C library does when a stream gets no buffer), or report it:
#       util        the first line of standard output that differs is a call
#                   with result 2 (a heap overflow; 2001 for the lists) or an rc
#                   of -12 (a load's negated ENOMEM, as dict_Open answers), or
#                   the console says so (and the few calls the comments
#                   below name, whose report is another):
#                   "util: not enough memory" (exit 2), "not enough memory for
#                   this line" (exit 1), or, with the output complete, "util:
#                   not enough memory to remove" its scratch folder;
#       glosscheck, panelxlate   exit 3 with "heap overflow" or "allocate" in
#                   the messages (or the locale set-up's completion code 2;
#                   panelxlate's input buffer: exit 2, a -d symbol: exit 1),
#                   and no file written or changed (panelxlate's -o);
#       inkstrip    exit 1 with "memory allocation failed".
# Prints one line per case (runs and outcome) and the first runs that broke a
# rule; exits 1 when any did.
set -u
# Each run works in a folder of its own: the library and the program are
# named by absolute paths (a program given without a slash is looked up on PATH).
lib=$(realpath "$1") || exit 2
mode=$2
prog=$3
case $prog in */*) prog=$(realpath "$prog") || exit 2 ;; esac
shift 3
kind=$(basename "$prog")
once=0
[ "$mode" = once ] && once=1
export ASAN_OPTIONS="verify_asan_link_order=0:detect_leaks=1:${ASAN_OPTIONS:-}"
# Leaks of the C library's own (lsan.supp) are not the program's.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan.supp:print_suppressions=0:${LSAN_OPTIONS:-}"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# listing <folder> <case>: every file of the folder with a digest of its
# content, after the case's mask.
listing() {
  local f
  if [ ! -f "$2/mask" ]; then
    (cd "$1" && find . -type f -print0 | LC_ALL=C sort -z | xargs -0 -r md5sum)
    return
  fi
  (cd "$1" && find . -type f | LC_ALL=C sort | while IFS= read -r f; do
     echo "$(sed -E -f "$2/mask" "$f" | md5sum | cut -c1-32)  $f"
   done)
}

# run <case> <n> <outdir>: one run with allocation n failing (0: none).
run() {
  local case=$1 n=$2 out=$3
  rm -rf "$out" && mkdir -p "$out/work"
  local args=() input=/dev/null
  if [ -d "$case" ]; then
    cp -a "$case"/. "$out/work"/
    rm -rf "$out"/work/expected.* "$out/work/mask" "$out/work/locales"
    [ -f "$case/args" ] && mapfile -t args < "$case/args"
    [ -f "$case/stdin" ] && input=$case/stdin
  else
    args=("$case")
  fi
  listing "$out/work" "$case" > "$out/before"
  (
    cd "$out/work" || exit 99
    if [ -d "$case" ] && [ -f "$case/env" ]; then
      while IFS= read -r kv; do [ -n "$kv" ] && export "${kv?}"; done < "$case/env"
    fi
    # The scratch folder of $tmp_dir gets a name of its own in every run.
    TMPDIR="$out" VL_FAIL_ALLOC_AT=$n VL_FAIL_ALLOC_ONCE=$once VL_FAIL_ALLOC_LOG="$out/log" \
      LD_PRELOAD="$lib" "$prog" "${args[@]}" < "$input" > "$out/stdout" 2> "$out/stderr"
    echo $? > "$out/rc"
  )
  # Names of scratch files vary from run to run, and so do what a case masks.
  sed -i -E 's#/util\.[A-Za-z0-9]{6}#/util.XXXXXX#g; s#'"$out"'#OUT#g' "$out/stdout" "$out/stderr"
  if [ -f "$case/mask" ]; then sed -i -E -f "$case/mask" "$out/stdout" "$out/stderr"; fi
  listing "$out/work" "$case" > "$out/files"
}

# The first line where two files differ, from the second file ("" when the
# second ends first or they are equal).
first_difference() {
  cmp -s "$1" "$2" && return
  awk 'NR==FNR { a[NR] = $0; n = NR; next } { if (FNR > n || a[FNR] != $0) { print; exit } }' "$1" "$2"
}

# check <base> <run> <n>: prints why the run breaks a rule, nothing when it keeps them.
check() {
  local base=$1 r=$2 rc
  rc=$(cat "$r/rc")
  if [ "$rc" -ge 128 ]; then echo "ended by signal $((rc - 128))"; return; fi
  if grep -qE 'terminate called|ERROR: (Address|Leak)Sanitizer|runtime error:|check failed' "$r/stderr"; then
    echo "crash or leak: $(grep -m1 -E 'terminate called|ERROR: |runtime error:' "$r/stderr")"
    return
  fi
  if ! grep -q '^failed' "$r/log" 2>/dev/null; then
    cmp -s "$base/stdout" "$r/stdout" && cmp -s "$base/stderr" "$r/stderr" && [ "$rc" = "$(cat "$base/rc")" ] ||
      echo "differs from the run without failures, though nothing failed"
    return
  fi
  if cmp -s "$base/stdout" "$r/stdout" && cmp -s "$base/stderr" "$r/stderr" && cmp -s "$base/rc" "$r/rc" &&
     cmp -s "$base/files" "$r/files"; then
    return  # absorbed
  fi
  case $kind in
    util)
      if [ "$rc" = 2 ] && grep -qx 'util: not enough memory' "$r/stderr"; then return; fi
      if [ "$rc" = 1 ] && grep -q ': not enough memory for this line$' "$r/stderr"; then return; fi
      if cmp -s "$base/stdout" "$r/stdout" && grep -q '^util: not enough memory to remove ' "$r/stderr"; then return; fi
      # A trace file that cannot be opened is reported with the system's message.
      if cmp -s "$base/stdout" "$r/stdout" && grep -q ': Cannot allocate memory$' "$r/stderr"; then return; fi
      # A call that fails anyway (its result unchanged) reports the heap
      # overflow on the trace.
      if cmp -s "$base/stdout" "$r/stdout" && [ "$(grep -c 'heap overflow' "$r/stderr")" -gt \
         "$(grep -c 'heap overflow' "$base/stderr")" ]; then return; fi
      local line
      line=$(first_difference "$base/stdout" "$r/stdout")
      if [ -z "$line" ]; then
        echo "output differs (exit $rc) with no report of the failure: $(diff "$base/stderr" "$r/stderr" | head -3)"
      # dict_NewAlias and dict_Update answer 19 for any failure; dll_SetLocale 19 for a
      # language the C library failed to load, which it does not always say
      # was for lack of memory.
      elif ! grep -qE ' -> (2|2001)( |$)| [a-z_]+=-12( |$)|^(dict_NewAlias|dict_Update|dll_SetLocale) -> 19( |$)' <<< "$line"; then
        echo "first different output line is no heap overflow: $line"
      fi
      ;;
    glosscheck | panelxlate)
      # A symbol (-d) the store has no memory for ends the converter with 1.
      if [ "$kind" = panelxlate ] && [ "$rc" = 1 ] && grep -q '^VarSet() failed: heap overflow' "$r/stderr" &&
         cmp -s "$r/before" "$r/files"; then
        return
      fi
      # The converter's input buffer has a message and exit code of its own.
      if [ "$kind" = panelxlate ] && [ "$rc" = 2 ] && grep -q '^heap overflow, input buffer' "$r/stderr" &&
         cmp -s "$r/before" "$r/files"; then
        return
      fi
      # The C library may fail to load a language for lack of memory without
      # saying so, and remembers the failure: the checker reports the language
      # as not available and goes on with the default one, as documented.
      if [ "$kind" = glosscheck ] && grep -q 'The following language(s) are not available' "$r/stderr" &&
         ! grep -q 'not available' "$base/stderr"; then
        return
      fi
      # Memory exhausted while the options fill their lists ends the checker
      # with 3 and no message (its message levels are not set yet).
      if [ "$kind" = glosscheck ] && [ "$rc" = 3 ] && [ ! -s "$r/stdout" ] && [ ! -s "$r/stderr" ]; then return; fi
      if [ "$rc" != 3 ] || ! grep -qiE 'heap overflow|allocate|completion code = 2$' "$r/stdout" "$r/stderr"; then
        echo "exit $rc without a heap overflow: $(diff "$base/stderr" "$r/stderr" | head -4;
                                                   diff "$base/files" "$r/files" | head -3)"
      elif [ "$kind" = panelxlate ] && ! cmp -s "$r/before" "$r/files"; then
        echo "a failed run changed files: $(diff "$r/before" "$r/files" | head -3)"
      fi
      ;;
    inkstrip)
      if [ "$rc" != 1 ] || ! grep -q 'memory allocation failed' "$r/stderr"; then
        echo "exit $rc without 'memory allocation failed'"
      fi
      ;;
  esac
}

status=0
for case in "$@"; do
  case=$(realpath "$case")
  base="$scratch/base"
  run "$case" 0 "$base"
  total=$(sed -n 's/^count //p' "$base/log" | tail -1)
  n=0
  broken=0
  while :; do
    n=$((n + 1))
    r="$scratch/run"
    run "$case" "$n" "$r"
    why=$(check "$base" "$r" "$n")
    if [ -n "$why" ]; then
      broken=$((broken + 1))
      if [ $broken -le 3 ]; then
        echo "  $(basename "$case") allocation $n ($mode): $why"
        [ $broken = 1 ] && sed 's/^/    | /' "$r/stderr" | head -8
      fi
    fi
    # The loop ends with a run that counted its allocations to its end and
    # failed none of them.
    if ! grep -q '^failed' "$r/log" 2>/dev/null && grep -q '^count' "$r/log" 2>/dev/null; then break; fi
    if [ $n -gt $((${total:-0} * 2 + 100)) ]; then
      echo "  $(basename "$case"): still failing after $n runs (the run without failures counted ${total:-?})"
      broken=$((broken + 1))
      break
    fi
  done
  echo "$(basename "$case"): $n runs ($mode), $broken broke a rule"
  [ $broken = 0 ] || status=1
done
exit $status
