# Sourced by the tool tests (arguments KALDORN EXAMPLE_DIR): a scratch
# directory $w and run_cases, which reads lines STATUS | ARGUMENTS | CHECK.
# The tool runs with ARGUMENTS (shell words, in the example directory) and
# must exit with STATUS; CHECK is a jq filter that must hold on stdout ("jq
# ..."), or an extended regex for stdout then stderr, lines ended by "~".
# Every --json answer must also carry "format": 1 and its command's name.
set -uo pipefail
kaldorn=$1 failed=0 passed=0 w=$(mktemp -d)
trap 'rm -rf "$w"' EXIT
cd "$2" || exit 1
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }
pass_if() { local what=$1; shift; if "$@"; then passed=$((passed + 1)); else fail "$what"; fi; }
run_case() {
  local out status text
  out=$(eval "\"\$kaldorn\" $2" 2>"$w/stderr") && status=0 || status=$?
  text=$({ printf '%s\n' "$out"; cat "$w/stderr"; } | tr '\n' '~')
  if [ "$status" != "$1" ]; then fail "kaldorn $2: exit $status, not $1"
  elif [[ $2 == *--json* && $1 == 0 ]] &&
    ! jq -e --arg c "$2" '.format == 1 and (.command as $n | $c | startswith($n + " "))' <<<"$out" >/dev/null; then
    fail "kaldorn $2: not a format 1 document of its command"
  elif [[ $3 == jq\ * ]] && ! jq -e "${3#jq }" <<<"$out" >/dev/null; then fail "kaldorn $2: $3"
  elif [[ $3 != jq\ * && ! $text =~ $3 ]]; then fail "kaldorn $2: output does not match $3"
  else passed=$((passed + 1)); return; fi
  tr '~' '\n' <<<"$text"
}
run_cases() {
  local want args check
  while IFS='|' read -r want args check; do
    read -r args <<<"$args"; read -r check <<<"$check"
    [[ $want =~ ^\ *[0-9] ]] && run_case "${want// /}" "$args" "$check"
  done
  return 0
}
finish() { echo "$passed passed, $failed failed"; [ "$failed" -eq 0 ]; }
