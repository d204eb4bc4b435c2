#!/usr/bin/env bash
# Installs BUILD_DIR into a temporary prefix, or takes PREFIX where BUILD_DIR
# is already installed (the Debian packages unpacked, for instance), and uses
# the package as a host developer would: runs the installed tool, builds the
# example hosts (one in C, one in C++) once through find_package(kaldorn) and
# once through pkg-config, and runs all four against the bundled example
# installation. Where the build has libkaldorn-trust.so, also its header and
# pkg-config file, and the host verify_release over a copy of the example
# source signed by minisign with SHA256SUMS written by sha256sum.
#   check-install.sh [BUILD_DIR [PREFIX]]
# A sanitizer build skips (exit 77): its kaldorn.so needs the sanitizer runtime;
# so does a machine without pkg-config.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/default}" && pwd)
if grep -qx 'KALDORN_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
  echo "install check skipped: sanitizer build"; exit 77
fi
command -v pkg-config >/dev/null || { echo "install check skipped: pkg-config not installed"; exit 77; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
example=$build/example
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "install check: $*" >&2; exit 1; }
step() { echo "== $*"; }

if [ -n "${2:-}" ]; then
  prefix=$(cd "$2" && pwd)
else
  step "install into a temporary prefix"
  prefix=$work/prefix
  cmake --install "$build" --prefix "$prefix" >/dev/null
fi
lib=$(find "$prefix" -name kaldorn.so -type f)
[ -n "$lib" ] || fail "kaldorn.so not installed"
readelf -d "$lib" | grep -q 'SONAME.*\[kaldorn\.so\]' || fail "installed kaldorn.so lost its SONAME"
for h in "$root"/include/kaldorn.h "$root"/include/kaldorn/*.h; do
  [ -f "$prefix/include/${h#"$root"/include/}" ] || fail "header ${h#"$root"/} not installed"
done
grep -q "KALDORN_VERSION_STRING \"$version\"" "$prefix/include/kaldorn/version.h" || fail "version.h does not say $version"
nm -D --defined-only "$(dirname "$lib")/kaldorn/orlenmap.dll" | grep -q ' GetEngnMapCurrentEngineLocation$' ||
  fail "the sibling library orlenmap.dll is not installed beside kaldorn.so, under kaldorn/"

step "every installed header compiles on its own"
for h in "$prefix"/include/kaldorn.h "$prefix"/include/kaldorn/*.h; do
  echo "#include <${h#"$prefix"/include/}>" |
    c++ -std=c++20 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -I"$prefix/include" -x c++ - ||
    fail "${h#"$prefix"/} does not compile on its own in C++"
done
trust=$(find "$prefix" -name libkaldorn-trust.so.0)
c_headers="kaldorn.h kaldorn/base.h kaldorn/version.h"
if grep -qx 'KALDORN_BUILD_TRUST:BOOL=ON' "$build/CMakeCache.txt"; then
  [ -n "$trust" ] || fail "libkaldorn-trust.so.0 not installed"
  readelf -d "$trust" | grep -q 'SONAME.*\[libkaldorn-trust\.so\.0\]' || fail "libkaldorn-trust.so.0 lost its SONAME"
  c_headers="$c_headers kaldorn/trust.h"
fi
for h in $c_headers; do
  printf "#include <%s>\nint consumer;\n" "$h" | cc -std=c11 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -I"$prefix/include" -x c - ||
    fail "$h does not compile in C"
done

step "the installed tool"
[ "$("$prefix/bin/kaldorn" --version)" = "$version" ] || fail "kaldorn --version is not $version"
"$prefix/bin/kaldorn" show "$example/source/00000001_index.dat" | grep -q 'DB version 8.2' ||
  fail "installed tool cannot read the example"

step "the example hosts through find_package(kaldorn)"
cmake -S "$root/examples" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DKALDORN_WERROR=ON >/dev/null
cmake --build "$work/cmake" >/dev/null

step "the example hosts through pkg-config"
export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name kaldorn.pc)")
[ "$(pkg-config --modversion kaldorn)" = "$version" ] || fail "kaldorn.pc does not say $version"
mkdir -p "$work/pc"
# shellcheck disable=SC2046  # pkg-config output is a list of flags
cc -std=c11 -Wall -Wextra -Wpedantic -Werror "$root/examples/plan_downloads.c" \
   $(pkg-config --cflags --libs kaldorn) -o "$work/pc/plan_downloads"
# shellcheck disable=SC2046
c++ -std=c++20 -Wall -Wextra -Wpedantic -Werror "$root/examples/repair_components.cpp" \
    $(pkg-config --cflags --libs kaldorn) -o "$work/pc/repair_components"
if [ -n "$trust" ]; then
  [ "$(pkg-config --modversion kaldorn-trust)" = "$version" ] || fail "kaldorn-trust.pc does not say $version"
  # shellcheck disable=SC2046
  cc -std=c11 -Wall -Wextra -Wpedantic -Werror "$root/examples/verify_release.c" \
     $(pkg-config --cflags --libs kaldorn-trust) -o "$work/pc/verify_release"
  [ -x "$work/cmake/verify_release" ] || fail "find_package(kaldorn) gave no kaldorn::trust"
fi
signed=
if [ -n "$trust" ] && command -v minisign >/dev/null; then
  step "a copy of the example source signed by minisign"
  signed=$work/signed && mkdir -p "$signed/state" && cp -r "$example/source" "$signed/source"
  rm -f "$signed/source"/SHA256SUMS*  # a release the tour signed
  (cd "$signed/source" && for f in 0*; do echo "# size $(stat -c %s "$f")"; sha256sum "$f"; done > SHA256SUMS &&
     minisign -G -W -p ../key.pub -s ../key.sec >/dev/null &&
     minisign -S -s ../key.sec -m SHA256SUMS -t "kaldorn-release source=example serial=1 expires=2999-01-01T00:00:00Z" \
       >/dev/null)
fi

for hosts in "$work/cmake" "$work/pc"; do
  step "run $(basename "$hosts") hosts on the example"
  # The pkg-config hosts carry no run path: the loader looks where the host says.
  export LD_LIBRARY_PATH=$([ "$hosts" = "$work/pc" ] && dirname "$lib" || true)
  out=$("$hosts/plan_downloads" "$example/client" "$example/source")
  grep -qx 'client at 2.2 (iu000202.dat)' <<<"$out" || fail "plan_downloads: wrong client version: $out"
  grep -qx '5 file(s) to fetch' <<<"$out" || fail "plan_downloads (internet): $out"
  out=$("$hosts/plan_downloads" "$example/client" "$example/source" "$example/updates")
  grep -qx '6 file(s) to fetch' <<<"$out" || fail "plan_downloads (path): $out"
  if [ -n "$signed" ]; then
    out=$("$hosts/verify_release" "$signed/source" example "$signed/state" 00000001_index.dat \
      "$example/source/00000001_index.dat" "$signed/key.pub") || fail "verify_release: $out"
    grep -qx '00000001_index.dat verified' <<<"$out" || fail "verify_release: $out"
    status=0; "$hosts/verify_release" "$signed/source" example "$signed/state" 00000001_index.dat \
      "$example/client/00000001_index.dat" "$signed/key.pub" >/dev/null 2>&1 || status=$?
    [ "$status" -eq 1 ] || fail "verify_release accepted another index DAT (status $status)"
    out=$("$hosts/verify_release" "$signed/source" example "$signed/state" - "$signed/source" "$signed/key.pub") ||
      fail "verify_release over the source directory: $out"
    grep -qx '3 listed file(s) found in .*' <<<"$out" || fail "verify_release over the source directory: $out"
  fi
  status=0; "$hosts/plan_downloads" "$example/client" 2>/dev/null || status=$?
  [ "$status" -eq 2 ] || fail "plan_downloads: usage error gave status $status"

  list=$work/compns.lst
  cp "$example/client/00000004_compns.lst" "$list"
  status=0; out=$("$hosts/repair_components" "$list" "$example/install" --refresh) || status=$?
  [ "$status" -eq 1 ] || fail "repair_components: status $status with a component still missing"
  grep -qx 'refreshed patterns.main' <<<"$out" || fail "repair_components did not refresh: $out"
  [ "$(tail -2 <<<"$out")" = "$(printf 'missing  patterns.extra\n1 component(s) need repair')" ] ||
    fail "repair_components after refresh: $out"
  # The refreshed entry carries the digest md5sum computes for the file.
  digest=$(md5sum < "$example/install/patterns.main" | cut -c1-32)
  "$prefix/bin/kaldorn" show "$list" | grep -q "$digest .*patterns.main" ||
    fail "refreshed entry of patterns.main does not carry its MD5 $digest"
done
echo "install check passed: kaldorn $version"
