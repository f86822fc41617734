#!/usr/bin/env bash
# The install tree and the Debian package of a build:
#   check-install.sh <build-folder> <source-folder> <version>
#
# 1. `cmake --install` into a scratch prefix: the programs run from there
#    (util finds the installed host runtime by its RUNPATH, its installed
#    examples run from another folder and leave nothing there), the man pages
#    have their version and date and render;
# 2. host code built against the installed header: with pkg-config, and with
#    find_package(vlrt64) in a small CMake project;
# 3. `cpack -G DEB`, unpacked by dpkg into a scratch root (maintainer scripts
#    are not run): the same programs run from there.
# Steps whose tools are missing (pkg-config, cc, dpkg) are skipped with a note.
set -u
build=$1 src=$2 version=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR=$work  # where the console makes $tmp_dir
status=0
fail() { echo "FAIL: $*"; status=1; }
note() { echo "note: $*"; }

# The programs of the tree under <prefix>, run from an empty folder.
check_tree() { # <label> <prefix>
  local label=$1 p=$2 elsewhere
  elsewhere=$(mktemp -d -p "$work")
  cd "$elsewhere" || return
  [ "$("$p/bin/util" --version)" = "util (vlsuite) $version" ] || fail "$label: util --version"
  [ "$("$p/bin/util" --list | wc -l)" = 89 ] || fail "$label: util --list does not show 89 functions"
  ldd "$p/bin/util" | grep -q "libvlrt64.so.[0-9]* => $p/" || fail "$label: util does not find the installed libvlrt64"
  local examples="$p/share/doc/vlsuite/examples" script
  [ -f "$examples/ini.vls" ] || fail "$label: the examples are not installed"
  for script in "$examples"/*.vls; do
    "$p/bin/util" "$script" > out 2> err || { fail "$label: example $(basename "$script") exits $?"; cat err; }
  done
  "$p/bin/util" "$examples/ini.vls" 2>&1 | grep 'val="Orders: open items"' > /dev/null ||
    fail "$label: ini.vls did not read settings.ini"
  "$p/bin/inkstrip" "$examples/inkstrip/statement.prn" | grep -q . || fail "$label: inkstrip gives nothing"
  "$p/bin/glosscheck" 2>&1 | grep -q '^usage: glosscheck' || fail "$label: glosscheck gives no usage"
  bash "$examples/glosscheck/check.sh" "$p/bin/glosscheck" > out 2>&1 ||
    { fail "$label: examples/glosscheck/check.sh exits $?"; cat out; }
  rm -f out err
  [ -z "$(ls -A)" ] || fail "$label: the examples left files where they ran: $(ls -A)"
  [ -f "$p/include/vlsuite/vlabi.h" ] || fail "$label: vlabi.h is not installed"
  local program page
  for program in "$p"/bin/*; do
    [ -f "$p/share/man/man1/$(basename "$program").1" ] || fail "$label: $(basename "$program") has no man page"
  done
  for page in "$p"/share/man/man1/*.1; do
    head -1 "$page" | grep -Eq "^\.TH [A-Z]+ 1 \"[0-9]{4}-[0-9]{2}-[0-9]{2}\" \"vlsuite $version\"" ||
      fail "$label: $(basename "$page") has no date or version: $(head -1 "$page")"
    if command -v groff > /dev/null; then
      groff -man -Tutf8 -P-cbou "$page" 2> /dev/null | grep -q '^NAME' || fail "$label: $(basename "$page") does not render"
    fi
  done
  cd "$work" || return
}

# 1. The install tree.
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" > "$work/install.log" 2>&1 || { cat "$work/install.log"; fail "cmake --install"; exit 1; }
check_tree install "$prefix"

# 2. Host code against the installed header and library.
cat > "$work/host.c" <<'EOF'
/* A host program: stores a text in a host string through libvlrt64. */
#include <stdio.h>
#include <string.h>
#include "vlabi.h"
int main(void) {
  char bytes[8];
  HostString s = {sizeof bytes, 0, bytes};
  if (HostStrPut("host", &s) != 0 || HostStrLen(&s) != 4 || memcmp(bytes, "host", 4) != 0) return 1;
  if (HostStrPut("too long a text", &s) == 0) return 2;
  puts("host ok");
  return 0;
}
EOF
libdir=$(dirname "$(find "$prefix" -name 'libvlrt64.so' | head -1)")
if command -v pkg-config > /dev/null && command -v cc > /dev/null; then
  export PKG_CONFIG_PATH=$libdir/pkgconfig
  [ "$(pkg-config --modversion vlrt64)" = "$version" ] || fail "pkg-config: version"
  # shellcheck disable=SC2046
  cc -o "$work/host-pc" "$work/host.c" $(pkg-config --cflags --libs vlrt64) -Wl,-rpath,"$(pkg-config --variable=libdir vlrt64)" &&
    [ "$("$work/host-pc")" = "host ok" ] || fail "pkg-config: a host built with --cflags --libs does not run"
  # A host runtime of its own needs the header alone.
  cc -shared -fPIC -o "$work/libalthost.so" "$src/tests/abi/althost.c" $(pkg-config --cflags vlrt64) ||
    fail "pkg-config: the C host runtime of the tests does not build against the installed header"
else
  note "pkg-config or cc missing: no host built with pkg-config"
fi
mkdir -p "$work/fp"
cp "$work/host.c" "$work/fp/"
cat > "$work/fp/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(host C)
find_package(vlrt64 $version REQUIRED)
add_executable(host host.c)
target_link_libraries(host PRIVATE vlrt64::vlrt64)
add_library(althost SHARED $src/tests/abi/althost.c)
target_link_libraries(althost PRIVATE vlrt64::headers)
EOF
if cmake -S "$work/fp" -B "$work/fp/build" -DCMAKE_PREFIX_PATH="$prefix" > "$work/fp.log" 2>&1 &&
   cmake --build "$work/fp/build" >> "$work/fp.log" 2>&1; then
  [ "$("$work/fp/build/host")" = "host ok" ] || fail "find_package: the host does not run"
else
  cat "$work/fp.log"; fail "find_package(vlrt64): a host does not build"
fi

# 3. The Debian package.
if command -v dpkg-deb > /dev/null && command -v dpkg > /dev/null; then
  cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" > "$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack -G DEB"; }
  deb=$(find "$work/deb" -maxdepth 1 -name '*.deb' | head -1)
  if [ -n "$deb" ]; then
    [ "$(dpkg-deb -f "$deb" Package Version)" = "$(printf 'Package: vlsuite\nVersion: %s' "$version")" ] ||
      fail "package: name or version"
    root=$work/root
    mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
    touch "$root/var/lib/dpkg/status"
    dpkg --root="$root" --force-depends --force-not-root --unpack "$deb" > "$work/dpkg.log" 2>&1 ||
      { cat "$work/dpkg.log"; fail "dpkg --unpack into a scratch root"; }
    check_tree package "$root/usr"
  fi
else
  note "dpkg missing: no Debian package built"
fi
exit $status
