#!/usr/bin/env bash
# inkstrip between pipes and terminals:
#   inkstrip-pipes.sh <inkstrip> slow-pipe  a line reaches the reader while the writer still holds
#                                           the input open (output is a pipe)
#   inkstrip-pipes.sh <inkstrip> terminal   the same with a terminal as output (needs script(1))
#   inkstrip-pipes.sh <inkstrip> head       a reader that takes one line and goes: one line, no
#                                           message, the status of a filter killed by SIGPIPE
# No timing is asserted: the writer waits until the reader has seen the first
# line, and only a generous timeout (a guard against a hang) ends the wait.
set -u
prog=$1
mode=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
guard=60  # seconds

fail() { echo "$@"; for f in seen rest err rc; do [ -f $f ] && { echo "--- $f:"; cat -A $f; }; done; exit 1; }

# The writer: the first line, then a wait for the reader's word on the fifo
# "ack", then the last line. The reader: the first line, the word, the rest.
writer() { printf 'first\r_____\n'; read -r -t $guard _ < ack; printf 'last line\n'; }
reader() { IFS= read -r -t $guard line; printf '%s\n' "${line%$'\r'}" > seen; echo > ack; tr -d '\r' > rest; }

case $mode in
  slow-pipe)
    mkfifo ack
    writer | { "$prog" 2> err; echo $? > rc; } | reader
    ;;
  terminal)
    command -v script > /dev/null || { echo "script(1) is not installed"; exit 77; }
    mkfifo ack in
    writer > in &
    # script runs inkstrip with a terminal as its standard output.
    script -qfec "exec \"$prog\" < in 2> err; " /dev/null < /dev/null | reader
    wait
    echo 0 > rc  # script does not pass the status on everywhere; the output shows the run
    ;;
  head)
    # 20000 lines: far more than a pipe holds, so inkstrip still writes when head has gone.
    for ((i = 0; i < 20000; ++i)); do printf 'line %05d of the input, overprinted\r____\n' "$i"; done > input.txt
    "$prog" input.txt 2> err | head -n 1 > seen
    echo "${PIPESTATUS[0]}" > rc
    [ "$(cat seen)" = "____ 00000 of the input, overprinted" ] || fail "head: expected the first line"
    [ -s err ] && fail "head: expected no message"
    [ "$(cat rc)" = 141 ] || fail "head: expected status 141 (SIGPIPE)"
    exit 0
    ;;
  *)
    echo "unknown mode $mode"; exit 2 ;;
esac

[ "$(cat seen)" = "_____" ] || fail "$mode: the first line did not arrive while the input was still open"
[ "$(cat rest)" = "last line" ] || fail "$mode: expected the last line after it"
[ -s err ] && fail "$mode: expected no message"
[ "$(cat rc)" = 0 ] || fail "$mode: expected exit code 0"
exit 0
