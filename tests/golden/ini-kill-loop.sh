#!/usr/bin/env bash
# ini_SetString killed at random moments: util rewrites a file of some
# megabytes again and again, and is killed (SIGKILL) after a random time, many
# times over. After every kill the file must be whole: its first two lines
# "[S]" and "k=<number>" (the writer ends its line with CR LF) and the rest
# exactly as before, never lost, partial or
# mixed. The common path is tested: a temporary file beside the target,
# renamed over it (the copy path, used only where no file can be made beside
# the target, is documented as possibly partial on a kill).
#
#   ini-kill-loop.sh <util> [kills]
set -u
util=$(realpath "$1")
kills=${2:-40}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2

# The part after the entry: 4 MB of comment lines.
awk 'BEGIN { for (i = 0; i < 65536; i++) printf "; padding line %08d of the settings file...........\n", i }' > pad
{ printf '[S]\nk=0\n'; cat pad; } > s.ini
script=$work/rewrite.vls
for i in $(seq 1 400); do echo "ini_SetString(\"S\", \"k\", \"$i\", \"$work/s.ini\")"; done > "$script"

status=0
changed=0
last=0
for kill in $(seq 1 "$kills"); do
  "$util" "$script" > /dev/null 2>&1 &
  pid=$!
  # 10 to 400 milliseconds: from start-up to many rewrites in.
  sleep "0.$(printf '%03d' $((10 + RANDOM % 390)))"
  kill -KILL "$pid" 2> /dev/null
  wait "$pid" 2> /dev/null
  head=$(head -n 2 s.ini | tr -d '\r' | tr '\n' ' ')
  if ! [[ $head =~ ^\[S\]\ k=[0-9]+\ $ ]] || ! tail -n +3 s.ini | cmp -s - pad; then
    echo "kill $kill: the file is torn (first lines: $head; $(wc -c < s.ini) bytes)"
    status=1
    cp s.ini "s.ini.torn.$kill"
    { printf '[S]\nk=0\n'; cat pad; } > s.ini
    continue
  fi
  value=${head#*k=}
  value=${value% }
  [ "$value" != "$last" ] && changed=$((changed + 1))
  last=$value
  # A killed run may leave its temporary file; it is never the target.
  rm -f s.ini.??????
done
echo "$kills kills, the value changed $changed times, the file was never torn"
[ $status = 0 ] || exit 1
# Kills that never landed during a rewrite would test nothing.
[ $changed -ge 2 ] || { echo "too few rewrites between the kills"; exit 1; }
