#!/usr/bin/env bash
# The installed tool over the example (arguments KALDORN EXAMPLE_DIR), every command over good files and the inputs
# users get wrong. A row is STATUS | ARGUMENTS | CHECK: run in the example directory the tool must exit with STATUS and
# CHECK must hold (a jq filter on stdout, or an extended regex over stdout then stderr, lines ended by "~"). Each row
# runs again with --json (one document of format 2, with "failure" exactly when STATUS is not 0) and, when STATUS is 0,
# with stdout on /dev/full (status 1). As root, "nobody" rows run unprivileged and $full is a full file system.
set -uo pipefail
export LC_ALL=C
for p in jq python3; do command -v $p >/dev/null || { echo "skipped: $p not installed"; exit 77; }; done
kaldorn=$1 failed=0 passed=0 w=$(mktemp -d) l=$'lat\xe9n' long=$(printf '%0300d' 0) nobody=false fs=false
full=$w/full
trap 'umount "$full" 2>/dev/null; rm -rf "$w"' EXIT
cd "$2" || exit 1
umask 022
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }
k() { if [ "$1" = nobody ]; then shift; setpriv --reuid=nobody --regid=nogroup --clear-groups "$kaldorn" "$@"
  else "$kaldorn" "$@"; fi; }
printf '%s' '110001;110001;110010;110001;110001;110010;110001;11' >"$w/text" && mkfifo "$w/f" && echo >"$w/precious.txt"
mkdir -p "$w/defs" "$w/odd/sub" "$w/locked" && echo x >"$w/defs/alpha" && echo yy >"$w/defs/beta"
echo >"$w/odd/good" && echo >"$w/odd/$(printf 'caf\xe9')" && echo >"$w/odd/a\\b"$'\n'c && ln -s no "$w/odd/dangling"
echo >"$w/odd/sub/deep" && echo >"$w/secret" && chmod 600 "$w/secret" && chmod 700 "$w/locked" && chmod 755 "$w"
cat client/00000004_compns.lst >"$w/merged.lst" && cp "$w/merged.lst" "$w/count.lst"
cp source/00000001_index.dat "$w/damaged.dat" && printf 9 | dd of="$w/damaged.dat" bs=1 seek=70 conv=notrunc 2>/dev/null
cp source/00000001_index.dat "$w/v.dat" && chmod 640 "$w/v.dat"
printf '\377\377\377\17' | dd of="$w/count.lst" bs=1 seek=76 conv=notrunc 2>/dev/null
python3 - "$w/hostile.lst" <<'PY'  # the client's list with its second record renamed "p<LF>tterns.main"
import struct, sys
b = bytearray(open('client/00000004_compns.lst', 'rb').read()); i = b.find(b'\x83\x0b\xa3')  # "pat", stored rotated
b[i + 1] = 10 << 3; struct.pack_into('<I', b, 56, sum(b[80:])); open(sys.argv[1], 'wb').write(b)
PY
if [ "$(id -u)" = 0 ]; then
  nobody=true && mkdir "$full" && mount -t tmpfs -o size=64k tmpfs "$full" && fs=true
  $fs && cp "$w/merged.lst" "$full/a.lst" && { head -c 1M /dev/zero >"$full/fill"; } 2>/dev/null
fi
internet='["iu000303_monthly.dat", "iu000603_monthly.dat", "iu000703_weekly.dat", "iu000801.dat", "iu000802.dat"]'
while IFS='|' read -r want args test; do
  read -r want <<<"$want"; read -r args <<<"$args"; read -r test <<<"$test"
  { [[ $args == nobody* ]] && ! $nobody; } || { [[ $args == *'$full'* ]] && ! $fs; } && continue
  out=$(eval "k $args" 2>"$w/err") && status=0 || status=$?
  text=$({ printf '%s\n' "$out"; cat "$w/err"; } | tr '\n' '~')
  json=$(eval "k ${args//--json/} --json" 2>/dev/null) && js=0 || js=$?
  [[ $args =~ explain|help ]] || { jq -se --argjson s "$want" 'length == 1 and .[0].format == 2 and
    (.[0].failure != null) == ($s != 0)' <<<"$json" >/dev/null && [ $js = "$want" ]; } || fail "kaldorn $args --json"
  [ "$want" != 0 ] || { eval "k $args" >/dev/full 2>/dev/null; [ $? = 1 ]; } || fail "kaldorn $args >/dev/full"
  if [ "$status" != "$want" ]; then fail "kaldorn $args: exit $status, not $want"
  elif [[ $test == jq\ * ]] && ! jq -e "${test#jq }" <<<"$out" >/dev/null; then fail "kaldorn $args: $test"
  elif [[ $test != jq\ * && ! $text =~ $test ]]; then fail "kaldorn $args: output does not match $test"
  else passed=$((passed + 1)); continue; fi
  tr '~' '\n' <<<"$text"
done <<EOF
0 | plan client source --source internet --json | jq .entry_point == "KalDornGetDownloadVersionListForInternetExW" and [.files[].file] == $internet
0 | plan client source --source internet --plain --width a --json | jq [.files[].file] == $internet
0 | plan client source updates --source path --plain | ^download list \(path\), product 1: 6 files~  iu000303_monthly.dat +version 3.3 monthly  mark 0~  iu000403_weekly.dat
0 | plan client source --source internet --product 4 | product 4: 2 files~  00000004_00000003.dat +definition 3  changed definition  flag 0  kind 1  mark 0~  00000004_00000002.dat +definition 2  component repair
0 | plan source source --source internet | product 1: nothing \(1004: client and source are at the same version\)~$
0 | plan client source --source internet --explain | client at 2.2 .*~  series    1  D1.1. D1.2. W1.3.~  series    2  D2.1. D2.2@ W2.3 ~  series    3  D3.1  D3.2  X3.3\*~.*  series    8  D8.1\* D8.2\*~$
0 | plan "$l" source --source internet | 5 files~.*~kaldorn: warning: no index DAT in lat.n \(no such directory\): planning from version 1.0~$
1 | plan nosuch source --source internet --strict | ^~kaldorn: no index DAT in nosuch \(no such directory\): planning from version 1.0 \(--strict\)~$
1 | plan client nowhere --source internet | kaldorn: nowhere/00000001_index.dat: cannot be loaded as a version index DAT \(1001\)~$
1 | plan client source client --source path --json | jq .error == 1005 and (.failure.message | test("missing from client"))
2 | plan client source --source internet --product 2 | ^~kaldorn: KalDornGetDownloadVersionListForInternetExW serves no product 2
2 | plan client source --source path | --source path needs the UPDATES directory
0 | delete client source --json | jq (.files | length) == 10 and all(.files[]; .flag == 1)
0 | delete client nosuch | product 1: nothing~kaldorn: warning: no index DAT in nosuch \(no such directory\): the source counts as empty~$
0 | oprid client source 2 --width a --json | jq .entry_point == "KaldornGetFileListFromOprIdForUpdateManagerA" and .oprid == 2
2 | oprid client source 5 | serves no product 1 with operation 5
0 | client client --product 4 --width a --json | jq .files[0].file == "00000004_00000002.dat"
1 | client $long | ^~kaldorn: 0+/00000001_index.dat: path longer than 259 bytes
0 | show source/00000001_index.dat client/00000004_index.dat | version index DAT~.*section checksum: ok~.*DB version 8.2~.*definition index DAT~.*solo checksum: ok~.*current definition 2, last id 2, 2 records~ +1  00000004_00000001.dat  100b1a07ea0701  status 1  data 0  engine.core~
0 | show --json source/00000001_index.dat client/00000004_compns.lst client/00000004_index.dat | jq [.files[].type] == ["version index DAT", "component list", "definition index DAT"] and .files[1].records[3] == {"file": "readme.txt", "flag": 0, "size": 7, "md5": "c6566f64461986ffe46c913e76644b70", "tag": 0} and .files[2].frame.section_checksum_ok == null and .files[2].definition_index.solo_checksum_ok
1 | show $w/damaged.dat | byte sum 0x[0-9a-f]+ \(MISMATCH\)~  section checksum: MISMATCH~.*damaged.dat: neither a version nor a definition index DAT that reads
1 | show $w/hostile.lst | hostile.lst: record 2 is named 'p\\\\x0atterns.main', which reaches outside its directory \(code 18\)~$
1 | show $w/count.lst | count.lst: its head counts 268435455 records, more than its 292 bytes hold
1 | show $w/f source/00000001_index.dat | ^source/00000001_index.dat: version index DAT~.*~kaldorn: .*/f: is a FIFO, not a regular file~$
1 | crc32 source/00000001_index.dat nowhere $w/odd | ^3a0951de  source/00000001_index.dat~kaldorn: nowhere: no such file~kaldorn: .*/odd: is a directory~$
1 | md5 $w/f | ^~kaldorn: .*/f: is a FIFO, not a regular file~$
1 | crc32 --json nowhere source/00000001_index.dat | jq .files[0].failure.message == "nowhere: no such file" and .files[1].crc32 == "3a0951de"
0 | md5 - <source/00000001_index.dat | ^d80c9ba61403dcac9cf6c575d120ba96  -~$
1 | nobody md5 $w/secret | ^~kaldorn: .*/secret: cannot be read \(Permission denied\)~$
1 | crc32 $long | 0{300}: path longer than 259 bytes
0 | index build $w/00000001_index.dat --text $w/text --version 8.2 | ^version index DAT written to
0 | index build $w/v.dat --text $w/text --version 8.2 | ^version index DAT written to
0 | index build $w/00000005_index.dat --dir $w/defs --product 0x5 | ^2 definitions .* current 2~$
1 | index build $w/precious.txt --dir $w/defs | precious.txt: exists and is not an index DAT; --force replaces it~$
1 | index build $full/i.dat --text $w/text --version 8.2 | i.dat: cannot be written \(No space left on device\)~$
2 | index build $w/x.dat --text $w/text | --text needs --version
0 | compns verify client/00000004_compns.lst install | ^damaged  patterns.main~missing  patterns.extra~2 component\(s\) need repair~$
1 | compns verify client/00000004_compns.lst nosuchdir | ^~kaldorn: nosuchdir: no such directory~$
1 | nobody compns verify $w/merged.lst $w/locked | locked: cannot be read \(Permission denied\)~$
0 | compns build install $w/built.lst | ^4 components of install written to
0 | compns build $w/odd $w/odd.lst | ^2 components .*~(kaldorn: warning: skipped [^~]*(control byte|a subdirectory|a dangling link)[^~]*~){3}$
0 | show $w/odd.lst --json | jq .files[0].records[0].file.escaped == "caf\\\\xe9"
1 | compns build install $w/precious.txt | precious.txt: exists and is not a component list; --force replaces it~$
0 | compns build install $w/precious.txt --force | ^4 components
1 | compns build install $full/b.lst | b.lst: cannot be written \(No space left on device\)~$
0 | compns add client/00000004_index.dat $w/built.lst --flag 0 --dir client | built.lst: entry written for client/00000004_index.dat~$
1 | compns add $w/odd/sub/deep $w/odd.lst | deep: not in the installation directory [^ ]+ \(the list's; --dir names another\)
0 | compns platform $w/built.lst --set 4 5 6 | ^4 5 6~$
0 | compns merge $w/merged.lst source/00000004_compns.lst $w/merged.lst | ^5 records written to
1 | compns merge $full/a.lst source/00000004_compns.lst $full/a.lst | a.lst: cannot be
0 | show $full/a.lst | a.lst: component list, head checksum ok, 4 records
0 | compns diff client/00000004_compns.lst source/00000004_compns.lst --json | jq [.records[].file] == ["engine.core", "patterns.new"]
1 | compns diff nosuchA nosuchB | warning: no list nosuchA: the answer rests on nosuchB alone~kaldorn: nosuchB: no such file~$
0 | defs compare client/00000004_index.dat source/00000004_index.dat | ^client DAT version 1, source DAT version 2: 1 of 3 definitions to fetch~ +3  00000004_00000003.dat  110b1a07ea0703  status 1  data 0  patterns.extra~$
0 | defs compare source/00000004_index.dat client/00000004_index.dat --json | jq .error == 1003 and .source_record_count == 2 and .records == []
0 | defs compare nosuch source/00000004_index.dat --oprid 2 | warning: no definition index DAT nosuch: the client counts as holding none~$
1 | defs compare client/00000004_index.dat source/00000004_index.dat --product 5 | index.dat: holds product 0x4, not 0x5 \(--product\)~$
0 | defs diff client/00000004_index.dat source/00000004_index.dat --json | jq [.records[].name] == ["patterns.extra"]
0 | defs lookup $w/d.dat abc --product 0x10 --append | ^1  00000010_00000001.dat  appended~$
1 | defs lookup $w/d.dat "" --append | a definition name cannot be empty~$
1 | defs lookup $w/d.dat ../evil --append | name '../evil' names no single file
1 | defs stamp $w/d.dat 99 | d.dat: no definition has id 99
0 | defs stamp $w/d.dat 1 | d.dat: definition 1 stamped current; DAT version now 1~$
0 | defs modify $w/d.dat 1 --date 0102030405060a --status 0 | d.dat: record 1 now date 0102030405060a, data 0, status 0~$
0 | show $w/d.dat | current definition 1, last id 1, 1 records~ +1  00000010_00000001.dat  0102030405060a  status 0  data 0  abc~$
2 | defs modify $w/d.dat 1 --date 0102 | date '0102' is not 14 hex digits
2 | defs stamp $w/d.dat 0x1g | ID '0x1g' is not a 32-bit number
0 | help defs compare | Usage: kaldorn defs compare \[OPTIONS\] CLIENT SOURCE~
2 | bogus | ^~kaldorn: unknown command 'bogus'
EOF
[ "$(stat -c %a "$w/built.lst" "$w/v.dat" "$w/d.dat" | tr '\n' ' ')" = "644 640 600 " ] || fail "modes of new files"
for q in "plan client source client --source path" "plan client source --source update-manager --product 4" \
  "oprid client source 0 --product 4 --reference reference"; do  # the 16-bit and the 8-bit entry points, rendered alike
  [ "$("$kaldorn" $q --width w 2>&1)" = "$("$kaldorn" $q --width a 2>&1)" ] || fail "W and A differ: $q"
done
"$kaldorn" md5 source/*.dat "$w"/odd/[acg]* | md5sum --quiet -c - || fail "md5 output does not check with md5sum -c"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
