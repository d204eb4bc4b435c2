#!/usr/bin/env bash
# The installed tool over the example (arguments KALDORN EXAMPLE_DIR): what it adds to the library: arguments, output
# formats, exit status, JSON, messages. A case is STATUS | ARGUMENTS | CHECK: run in the example directory, the tool
# must exit with STATUS, and CHECK (a jq filter on stdout, or an extended regex over stdout then stderr with lines
# ended by "~") must hold; every --json answer must carry "format": 1 and its command's name.
set -uo pipefail
for p in jq python3; do command -v $p >/dev/null || { echo "skipped: $p not installed"; exit 77; }; done
kaldorn=$1 failed=0 passed=0 w=$(mktemp -d)
trap 'rm -rf "$w"' EXIT
cd "$2" || exit 1
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }
printf '%s' '110001;110001;110010;110001;110001;110010;110001;11' >"$w/text"
mkdir "$w/defs" && echo x >"$w/defs/alpha" && echo yy >"$w/defs/beta" && cp client/00000004_compns.lst "$w/merged.lst"
cp source/00000001_index.dat "$w/damaged.dat" && printf 9 | dd of="$w/damaged.dat" bs=1 seek=70 conv=notrunc 2>/dev/null
mkdir "$w/odd" && echo x >"$w/odd/good" && echo y >"$w/odd/$(printf 'a\tb')"
python3 - "$w/hostile.lst" <<'PY'  # the client's list with its second record renamed "p<LF>tterns.main"
import struct, sys
b = bytearray(open('client/00000004_compns.lst', 'rb').read()); i = b.find(b'\x83\x0b\xa3')  # "pat", stored rotated
b[i + 1] = 10 << 3; struct.pack_into('<I', b, 56, sum(b[80:])); open(sys.argv[1], 'wb').write(b)
PY
internet='["iu000303_monthly.dat", "iu000603_monthly.dat", "iu000703_weekly.dat", "iu000801.dat", "iu000802.dat"]'
while IFS='|' read -r want args test; do
  [[ $want =~ ^\ *[0-9] ]] || continue
  read -r want <<<"$want"; read -r args <<<"$args"; read -r test <<<"$test"
  out=$(eval "\"\$kaldorn\" $args" 2>"$w/stderr") && status=0 || status=$?
  text=$({ printf '%s\n' "$out"; cat "$w/stderr"; } | tr '\n' '~')
  if [ "$status" != "$want" ]; then fail "kaldorn $args: exit $status, not $want"
  elif [[ $args == *--json* && $want == 0 ]] && ! jq -e --arg c "$args" \
    '.format == 1 and (.command as $n | $c | startswith($n + " "))' <<<"$out" >/dev/null; then fail "kaldorn $args: not format 1"
  elif [[ $test == jq\ * ]] && ! jq -e "${test#jq }" <<<"$out" >/dev/null; then fail "kaldorn $args: $test"
  elif [[ $test != jq\ * && ! $text =~ $test ]]; then fail "kaldorn $args: output does not match $test"
  else passed=$((passed + 1)); continue; fi
  tr '~' '\n' <<<"$text"
done <<EOF
0 | plan client source --source internet --json | jq .entry_point == "KalDornGetDownloadVersionListForInternetExW" and .error == 0 and [.files[].file] == $internet
0 | plan client source --source internet --plain --width a --json | jq .entry_point == "KalDornGetDownloadVersionListForInternetA" and [.files[].file] == $internet
0 | plan client source updates --source path --plain | ^download list \(path\), product 1: 6 files~  iu000303_monthly.dat +version 3.3 monthly  mark 0~  iu000403_weekly.dat
0 | plan client source --source internet --product 4 | ^[^~]*product 4: 2 files~  00000004_00000003.dat +definition 3  changed definition  flag 0  kind 1  mark 0~  00000004_00000002.dat +definition 2  component repair  flag 1  kind 0
0 | plan source source --source internet | product 1: nothing \(1004: client and source are at the same version\)~$
0 | delete client source --json | jq (.files | length) == 10 and all(.files[]; .flag == 1)
0 | oprid client source 2 --width a --json | jq .entry_point == "KaldornGetFileListFromOprIdForUpdateManagerA" and .operation == 2
0 | client client --product 4 --width a --json | jq .entry_point == "KalDornGetCurrentClientVersionForUpdateManagerExA" and .files[0].file == "00000004_00000002.dat"
0 | plan client source --source internet --explain | client at 2.2 .*~  series    1  D1.1. D1.2. W1.3.~  series    2  D2.1. D2.2@ W2.3 ~  series    3  D3.1  D3.2  X3.3\*~.*  series    8  D8.1\* D8.2\*~$
1 | plan client nowhere --source internet | FAILED \(1001: .*~kaldorn: nowhere/00000001_index.dat: cannot be loaded as a version index DAT \(1001\)~$
1 | plan client source client --source path --json | jq .error == 1005 and (.failure | test("a daily update file missing from client"))
1 | plan client source --source internet --product 2 | kaldorn: KalDornGetDownloadVersionListForInternetExW serves no product 2
2 | plan client source --source path | --source path needs the UPDATES directory
2 | plan client source --source internet --explain --json | excludes
0 | show source/00000001_index.dat client/00000004_index.dat | version index DAT~.*section checksum: ok~.*DB version 8.2~.*: 110001;110001;.*definition index DAT~.*solo checksum: ok~.*current definition 2, last id 2, 2 records~ +1  00000004_00000001.dat  100b1a07ea0701  status 1  data 0  engine.core~
0 | show --json source/00000001_index.dat client/00000004_compns.lst | jq [.files[].type] == ["version index DAT", "component list"] and .files[0].frame.section_checksum_ok and .files[1].records[3] == {"file": "readme.txt", "flag": 0, "size": 7, "md5": "c6566f64461986ffe46c913e76644b70", "tag": 0}
1 | show $w/damaged.dat | byte sum 0x[0-9a-f]+ \(MISMATCH\)~  section checksum: MISMATCH~.*damaged.dat: neither a version nor a definition index DAT that reads
1 | crc32 source/00000001_index.dat nowhere | ^3a0951de  source/00000001_index.dat~kaldorn: nowhere: cannot be read~$
0 | md5 --json source/00000001_index.dat | jq .files == [{"path": "source/00000001_index.dat", "md5": "d80c9ba61403dcac9cf6c575d120ba96"}]
0 | index build $w/00000001_index.dat --text $w/text --version 8.2 | ^version index DAT written to
0 | index build $w/00000005_index.dat --dir $w/defs --product 5 | ^2 definitions .* current 2~$
0 | compns verify client/00000004_compns.lst install | ^damaged  patterns.main~missing  patterns.extra~2 component\(s\) need repair~$
0 | compns build install $w/built.lst | ^4 components of install written to
0 | compns build $w/odd $w/odd.lst | ^1 components of .*~kaldorn: skipping .*/odd/a\\\\x09b: its name could not be read back from a list~$
1 | show $w/hostile.lst | hostile.lst: record 2 is named 'p\\\\x0atterns.main', which reaches outside its directory \(code 18\)~$
0 | compns add client/00000004_index.dat $w/built.lst --flag 0 | ^entry written: client/00000004_index.dat~$
0 | compns add client/00000004_index.dat $w/built.lst --flag 0 | ^already up to date
0 | compns platform $w/built.lst --set 4 5 6 | ^4 5 6~$
0 | compns merge $w/merged.lst source/00000004_compns.lst $w/merged.lst | ^5 records written to
0 | compns diff client/00000004_compns.lst source/00000004_compns.lst --json | jq [.records[].file] == ["engine.core", "patterns.new"]
0 | defs compare client/00000004_index.dat source/00000004_index.dat | ^client DAT version 1, source DAT version 2: 1 of 3 definitions to fetch~ +3  00000004_00000003.dat  110b1a07ea0703  status 1  data 0  patterns.extra~$
0 | defs diff client/00000004_index.dat source/00000004_index.dat --json | jq [.records[].name] == ["patterns.extra"]
0 | defs lookup $w/d.dat abc --product 0x10 --append | ^1  00000010_00000001.dat~$
0 | defs stamp $w/d.dat 1 | ^~$
0 | defs modify $w/d.dat 1 --date 0102030405060a --status 0 | ^~$
0 | show $w/d.dat | current definition 1, last id 1, 1 records~ +1  00000010_00000001.dat  0102030405060a  status 0  data 0  abc~$
2 | defs modify $w/d.dat 1 --date 0102 | date '0102' is not 14 hex digits
EOF
for q in "plan client source client --source path" "plan client source --source update-manager --product 4" \
  "oprid client source 0 --product 4 --reference reference"; do  # the 16-bit and the 8-bit entry points, rendered alike
  [ "$("$kaldorn" $q --width w 2>&1)" = "$("$kaldorn" $q --width a 2>&1)" ] || fail "W and A differ: $q"
done
"$kaldorn" md5 source/*.dat client/*.lst | md5sum --quiet -c - || fail "md5 output does not check with md5sum -c"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
