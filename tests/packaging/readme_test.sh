#!/usr/bin/env bash
# The README's tour and its C host must keep working: runs every command of
# the tour block with the installed tool, and builds the C host against the
# installed header and kaldorn.so and runs it on the example.
#   readme_test.sh PREFIX   (an installed build tree: PREFIX/../example)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$(cd "$1" && pwd) build=$(cd "$1/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The fenced block that holds the tour, and the one in C.
awk '/^```sh$/ {inb=1; b=""; next} /^```$/ && inb {inb=0; if (b ~ /alias kaldorn=/) print b; next} inb {b=b $0 "\n"}' \
  "$root/README.md" > "$work/tour.sh"
awk '/^```c$/ {inb=1; next} /^```$/ {inb=0} inb' "$root/README.md" > "$work/host.c"
[ -s "$work/tour.sh" ] && [ -s "$work/host.c" ] || { echo "README lost its tour or its C host"; exit 1; }

# The tour's alias stands for the installed tool.
sed -i "s|^alias kaldorn=.*|kaldorn() { \"$prefix/bin/kaldorn\" \"\$@\"; }|" "$work/tour.sh"
(mkdir -p "$work/root/build" && ln -s "$build" "$work/root/build/default" &&
  cd "$work/root" && bash -e "$work/tour.sh" >"$work/tour.out" 2>&1) ||
  { echo "the README tour fails:"; tail -20 "$work/tour.out"; exit 1; }

so=$(find "$prefix" -name kaldorn.so -type f)
cc -std=c11 -Wall -Wextra -Werror -I"$prefix/include" "$work/host.c" "$so" -Wl,-rpath,"$(dirname "$so")" -o "$work/host"
out=$("$work/host" "$build/example/client" "$build/example/source")
[ "$(wc -l <<<"$out")" -eq 5 ] && [ "$(head -1 <<<"$out")" = iu000303_monthly.dat ] ||
  { echo "the README's C host printed: $out"; exit 1; }
status=0; "$work/host" only-one-argument || status=$?
[ "$status" -eq 2 ] || { echo "the README's C host gave $status on a usage error"; exit 1; }
echo "README tour and C host work"
