#!/usr/bin/env bash
# The tiers of the build: no host-free core uses a symbol that only the host tier
# defines (the binary interface and its helpers, the host runtime, the host
# functions, util's frame). check-cores.sh <tiers.txt>, whose lines name each
# core archive ("core <file>") and each host-tier file ("host <file>").
set -u
cores=() hosts=()
while read -r kind file; do
  case $kind in
    core) cores+=("$file") ;;
    host) hosts+=("$file") ;;
  esac
done < "$1"
[ ${#cores[@]} -gt 0 ] && [ ${#hosts[@]} -gt 0 ] || { echo "no cores or no host files listed in $1"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Symbols the cores define, and those they use without defining them.
nm -g --defined-only "${cores[@]}" | awk 'NF == 3 { print $3 }' | sort -u > "$work/core-defined"
nm -g --undefined-only "${cores[@]}" | awk 'NF == 2 { print $2 }' | sort -u |
  comm -23 - "$work/core-defined" > "$work/core-needs"
# Symbols the host tier defines (code and data; not the shared library's
# template copies, which any object may carry).
for file in "${hosts[@]}"; do
  case $file in
    *.so) nm -D --defined-only "$file" ;;
    *) nm -g --defined-only "$file" ;;
  esac
done | awk 'NF == 3 && $2 ~ /^[TDBRG]$/ { print $3 }' | sort -u > "$work/host-defined"

comm -12 "$work/core-needs" "$work/host-defined" > "$work/crossing"
if [ -s "$work/crossing" ]; then
  echo "host symbols used by a core:"
  nm -A -g --undefined-only "${cores[@]}" | grep -F -w -f "$work/crossing" | c++filt
  exit 1
fi
echo "${#cores[@]} cores use no symbol of ${#hosts[@]} host-tier files"
