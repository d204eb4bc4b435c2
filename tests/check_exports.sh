#!/usr/bin/env bash
# Checks a shipped object: kaldorn.so (file name and SONAME "kaldorn.so") or libkaldorn-trust.so (SONAME
# "libkaldorn-trust.so.0", which alone may also need libcrypto), only the C and C++ runtimes and the loader as
# dependencies, and exactly the expected dynamic exports (demangled; "?" lines name exports one compiler emits and
# another may not) and plain entry points, so internal helpers stay local. Function-type typeinfo that the
# undefined-behaviour sanitizer emits is not ours.
set -euo pipefail
so=$1 expected=$2 plain=${3:-} fail=0 want_soname=kaldorn.so extra=
case $(basename "$so") in
  kaldorn.so) ;;
  libkaldorn-trust.so) want_soname=libkaldorn-trust.so.0 extra='|libcrypto\.so\.3' ;;
  *) echo "file name is $(basename "$so")"; fail=1 ;;
esac
soname=$(readelf -d "$so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = "$want_soname" ] || { echo "SONAME is '$soname'"; fail=1; }
runtimes='libc\.so|libstdc\+\+\.so|libm\.so|libgcc_s\.so|ld-linux-x86-64\.so|libdl\.so|lib(a|ub)san|libclang_rt'
needed=$(readelf -d "$so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | grep -vE "^($runtimes$extra)" || true)
[ -z "$needed" ] || { echo "unexpected dependencies: $needed"; fail=1; }
actual=$(nm -DC --defined-only "$so" | cut -d' ' -f3- | { grep -vE '^(__|_init$|_fini$|_edata$|_end$|.*asan.*|.*ubsan.*|typeinfo (name )?for .*\(.*\))' || true; } | sort -u)
optional=$({ grep -E '^\?' "$expected" || true; } | cut -c2-)
want=$({ grep -vE '^(#|\?|$)' "$expected" || true; } | sort -u)
[ -z "$optional" ] || actual=$(grep -vxF -e "$optional" <<<"$actual" || true)
if [ "$actual" != "$want" ]; then
  echo "exports differ (< expected, > actual):"
  diff <(echo "$want") <(echo "$actual") || true
  fail=1
fi
if [ -n "$plain" ]; then
  have=$(nm -D --defined-only "$so" | awk '($2=="T"||$2=="W") && $3 !~ /^_Z/ && $3 !~ /^_(init|fini)$/ {print $3}' | sort)
  need=$(grep -vE '^(#|$)' "$plain" | sort)
  if [ "$have" != "$need" ]; then
    echo "plain entry points differ (< expected, > actual):"
    diff <(echo "$need") <(echo "$have") || true
    fail=1
  fi
fi
exit $fail
