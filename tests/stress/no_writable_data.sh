#!/usr/bin/env bash
# The library keeps no state of its own: no data symbol made from our sources (guard variables included) lies in a
# section that stays writable after loading (.data, .bss, .tdata, .tbss; .data.rel.ro is read-only once relocated).
# Not ours: the C runtime's start-file symbols, libgcc's processor feature record, and sanitizer instrumentation with
# clang's __unnamed_N records.
set -euo pipefail
so=$1
sections=$(readelf -SW "$so")
grep -q ' \.symtab ' <<<"$sections" || { echo "$so has no symbol table: check an unstripped build"; exit 1; }
# Section numbers of the writable data sections.
writable=$(sed -n 's/^ *\[ *\([0-9]*\)\] \(\.t\?data\|\.t\?bss\)\(\.[^ ]*\)\? .*/\1 \2\3/p' <<<"$sections" |
  awk '$2 !~ /rel\.ro/ {print $1}')
allowed='^(__dso_handle|__TMC_END__|completed\.[0-9]+|__cpu_model|__cpu_features2)$|asan|ubsan|tsan|sancov'
symbols=$(readelf -sW "$so")
if grep -qE ' UND __(asan|ubsan|tsan)_' <<<"$symbols"; then allowed+='|^__unnamed_[0-9]+$'; fi
found=$(awk -v w=" $(echo $writable) " \
  '($4 == "OBJECT" || $4 == "TLS") && index(w, " " $7 " ") {print $8}' <<<"$symbols" |
  { grep -vE "$allowed" || true; } | sort -u | c++filt)
if [ -n "$found" ]; then
  echo "$(basename "$so") keeps writable data of its own (a global or static that a call could change):"
  echo "$found" | sed 's/^/  /'
  echo "make it a constant (constexpr / const in .rodata) or a local of the call that needs it"
  exit 1
fi
echo "no writable data of ours in $so (writable sections: $(echo $writable))"
