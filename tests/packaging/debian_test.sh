#!/usr/bin/env bash
# The Debian packages as a user gets them: CPack builds kaldorn and kaldorn-dev, lintian reports no error, and unpacked
# into a scratch root they pass the install check (example hosts built and run against the root). kaldorn(1) renders
# without a warning and names every command and option of the tool's command table, which the completion completes.
#   debian_test.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
if grep -qx 'KALDORN_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then echo "skipped: sanitizer build"; exit 77; fi
for p in dpkg-deb lintian man; do command -v $p >/dev/null || { echo "skipped: $p not installed"; exit 77; }; done
[ -f "$build/share/kaldorn.1.gz" ] || { echo "skipped: no manual page (pandoc not found at configure)"; exit 77; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "debian packages: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/debs" >/dev/null
runtime=$(echo "$work/debs/kaldorn_${version}"_*.deb) dev=$(echo "$work/debs/kaldorn-dev_${version}"_*.deb)
[ "$(dpkg-deb -f "$dev" Depends)" = "kaldorn (= $version)" ] || fail "kaldorn-dev does not depend on kaldorn $version"
dpkg-deb -f "$runtime" Depends | grep -q 'libc6 (>= ' || fail "kaldorn's Depends are not computed from its binaries"
lintian --fail-on error "$runtime" "$dev" || fail "lintian reports errors"
for deb in "$runtime" "$dev"; do dpkg-deb -x "$deb" "$work/root"; done
"$root/scripts/check-install.sh" "$build" "$work/root/usr"

manual=$work/root/usr/share/man/man1/kaldorn.1.gz
completion=$work/root/usr/share/bash-completion/completions/kaldorn
# 80 columns; groff 1.22's tbl wrongly finds a text block too tall for man's one continuous page.
MANWIDTH=80 man --warnings -l "$manual" 2>"$work/man.err" >/dev/null || fail "man cannot render kaldorn(1)"
! grep -v 'table text block will not fit on one page' "$work/man.err" || fail "kaldorn(1) renders with warnings"
words=$(sed -n 's/^ *"kaldorn[^"]*") subs="\([^"]*\)" opts="\([^"]*\)";;$/\1 \2/p' "$completion")
[ "$(wc -w <<<"$words")" -gt 50 ] || fail "the completion script lost its command table"
page=$(zcat "$manual")
for w in $words; do [ "$w" = -h ] || grep -qw -- "$w" <<<"$page" || fail "kaldorn(1) does not mention $w"; done
completes() { bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _kaldorn; echo "${COMPREPLY[*]}"' _ "$completion" "$@"; }
while IFS='|' read -r want words; do
  got=$(eval "completes $words") && [ "$got" = "$want" ] || fail "completing '$words': '$got', want '$want'"
done <<'EOF'
compns|kaldorn com
verify|kaldorn compns v
internet update-manager path|kaldorn plan c s --source ''
--keep-window|kaldorn plan --k
--append|kaldorn defs lookup f n --a
EOF
echo "debian packages pass: kaldorn $version"
