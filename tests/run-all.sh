#!/usr/bin/env bash
# The test command: installs what the build and the tests need when it is
# missing (Debian packages and the locales the tests use; with sudo when not
# root), then builds everything in build/ and runs every test
# (cmake --workflow --preset test). Arguments are passed to that command.
#
# Builds and tests use every processor unless CMAKE_BUILD_PARALLEL_LEVEL or
# CTEST_PARALLEL_LEVEL say otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }

# Debian packages: the toolchain, GoogleTest, Google Benchmark (the bench
# preset), the locale sources and localedef, col (a baseline of the inkstrip
# benchmark), diff, groff (the man page checks), pkg-config and dpkg-dev (the
# install and package check), script (inkstrip on a terminal), and clang with
# its runtime libraries (libFuzzer and the sanitizers) for the fuzz preset.
packages=(g++ cmake make libgtest-dev libgmock-dev libbenchmark-dev locales bsdextrautils diffutils
          groff-base pkgconf dpkg-dev bsdutils clang libclang-rt-14-dev)
if command -v dpkg-query > /dev/null && command -v apt-get > /dev/null; then
  missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing ${missing[*]}"
    as_root apt-get update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
  fi
else
  echo "Not a Debian system: make sure these (or their like) are installed: ${packages[*]}" >&2
fi

# Locales the formatting tests use: decimal comma with thousands point, Indian
# grouping, and a one-byte non-breaking space as separator.
generate_locale() { # <name> <input> <charmap>
  locale -a 2>/dev/null | grep -qx "$1" || as_root localedef -i "$2" -f "$3" "$1" || true
}
generate_locale de_DE de_DE ISO-8859-1
generate_locale en_IN.utf8 en_IN UTF-8
generate_locale fr_FR fr_FR ISO-8859-1

jobs=$(nproc 2>/dev/null || echo 2)
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$jobs}
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$jobs}
cmake --workflow --preset test "$@"
