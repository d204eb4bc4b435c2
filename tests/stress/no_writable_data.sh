#!/usr/bin/env bash
# Proves from the shipped object that the library keeps no state of its own:
# no data symbol lies in a section that stays writable after loading (.data,
# .bss and their thread-local twins .tdata, .tbss). Constant tables live in
# .rodata, vtables and typeinfo in .data.rel.ro, which the loader makes
# read-only once relocated; neither counts.
#
# Ours is every symbol the compiler made from our sources, our namespaces
# and the exported C names alike; a guard variable (a function-local static
# with a dynamic initialiser) counts as ours, since a constant table never
# needs one. Not ours, each judged on its own:
#   __dso_handle, __TMC_END__, completed.N   C runtime start files (crtbegin/
#                                            crtend): set by the loader and at
#                                            unload, never by our code
#   __cpu_model, __cpu_features2             libgcc's processor feature record
#                                            behind __builtin_cpu_supports,
#                                            filled once by its constructor
#                                            at load time, read-only after
#   names with asan/ubsan/tsan/sancov        sanitizer instrumentation (the
#                                            asan and tsan builds)
#   __unnamed_N, in an instrumented object   clang's records for the sanitizer
#                                            runtimes: the global descriptors of
#                                            AddressSanitizer, the check sites of
#                                            UndefinedBehaviorSanitizer (marked
#                                            once reported)
set -euo pipefail
so=$1
sections=$(readelf -SW "$so")
if ! grep -q ' \.symtab ' <<<"$sections"; then
  echo "$so has no symbol table: check an unstripped build"
  exit 1
fi
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
  echo "kaldorn.so keeps writable data of its own (a global or static that a call could change):"
  echo "$found" | sed 's/^/  /'
  echo "make it a constant (constexpr / const in .rodata) or a local of the call that needs it"
  exit 1
fi
echo "no writable data of ours in $so (writable sections: $(echo $writable))"
