#!/usr/bin/env bash
# The ABI comparison must reject a removed export and a changed record and
# accept an added export. The cases are made from the pinned baseline by
# editing its text: dropping one function, or retyping one record member.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
command -v abidiff >/dev/null || { echo "abidiff not installed"; exit 77; }
baseline=$root/abi/kaldorn.abi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fn=KalDornFreeDownloadVersionListForPath
# Without one function: its symbol line and its declaration block.
perl -0pe "s/\n *<elf-symbol name='$fn'[^\n]*//; s/\n *<function-decl name='$fn'.*?<\/function-decl>//s" \
  "$baseline" > "$work/without.abi"
# dwFileSize of the component record retyped from unsigned int to unsigned char.
uchar=$(sed -n "s/.*<type-decl name='unsigned char' size-in-bits='8' id='\([^']*\)'.*/\1/p" "$baseline" | head -1)
perl -pe "s/(<var-decl name='dwFileSize' type-id=')[^']*/\${1}$uchar/" "$baseline" > "$work/retyped.abi"

fail=0
expect() {  # expect STATUS OLD NEW WHAT
  local status=0
  "$root/scripts/abi-compare.sh" "$2" "$3" >"$work/out" || status=$?
  if [ "$status" -ne "$1" ]; then echo "FAIL: $4 gave $status, want $1"; cat "$work/out"; fail=1; fi
}
expect 0 "$baseline" "$baseline" "the same interface"
expect 0 "$work/without.abi" "$baseline" "an added function"
expect 1 "$baseline" "$work/without.abi" "a removed function"
expect 1 "$baseline" "$work/retyped.abi" "a changed record member"
grep -q "1 Removed function" <(  "$root/scripts/abi-compare.sh" "$baseline" "$work/without.abi" || true) ||
  { echo "FAIL: the report does not name the removed function"; fail=1; }
exit $fail
