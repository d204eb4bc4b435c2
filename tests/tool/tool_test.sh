#!/usr/bin/env bash
# The tool (KALDORN EXAMPLE_DIR) on good and bad input: STATUS | ARGUMENTS | jq filter on stdout, or regex on stdout
# and stderr ("~" ends lines); also with --json and onto /dev/full. As root: "nobody" rows, $full a full disk.
set -uo pipefail
export LC_ALL=C
for p in jq python3; do command -v $p >/dev/null || { echo "skipped: $p not installed"; exit 77; }; done
kaldorn=$1 failed=0 passed=0 w=$(mktemp -d) l=$'lat\xe9n' long=$(printf %0300d 0) nobody=false fs=false
full=$w/full cl=client/00000004_compns.lst ci=client/00000004_index.dat si=source/00000004_index.dat
sv=source/00000001_index.dat sl=source/00000004_compns.lst p='plan client source --source' i='--source internet'
x='--source-id ex --state st'
trap 'umount "$full" 2>/dev/null; rm -rf "$w"' EXIT
ln -s "$(cd "$2" && pwd)"/* "$w" && cd "$w" || exit 1
umask 022
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }
k() { if [ "$1" = nobody ]; then shift; setpriv --reuid=nobody --regid=nogroup --clear-groups "$kaldorn" "$@"
  else "$kaldorn" "$@"; fi; }
mkdir -p defs odd/sub locked && mkfifo g && echo x | tee defs/a defs/b odd/g odd/$'caf\xe9' odd/sub/deep secret \
  'odd/a\b'$'\n'c precious >/dev/null && ln -s no odd/dangling && chmod 600 secret && chmod 700 locked && chmod 755 .
printf '%s' '110001;110001;110010;110001;110001;110010;110001;11' >text && cat $cl >m.lst && cp m.lst count.lst
cp $sv bad.dat && cp $sv v.dat && chmod 640 v.dat && printf 9 | dd of=bad.dat bs=1 seek=70 conv=notrunc 2>/dev/null
printf '\377\377\377\17' | dd of=count.lst bs=1 seek=76 conv=notrunc 2>/dev/null
python3 -c "import struct; b = bytearray(open('$cl', 'rb').read()); b[b.find(b'\x83\x0b\xa3') + 1] = 80
struct.pack_into('<I', b, 56, sum(b[80:])); open('h.lst', 'wb').write(b)"  # record 2 "p\ntterns.main", rotated
mkdir rs rt rs1 st && cp source/* rs && echo u >rs/iu000801.dat && printf 'pw\n' >pw && printf 'no\n' >nopw &&
  k release keygen -W --public r.pub --secret r.sec >/dev/null && cp rs/* rs1 &&
  k release keygen --public e.pub --secret e.sec --passphrase-file pw >/dev/null &&
  k release sign rs1 --key e.sec --source-id ex --serial 1 --passphrase-file pw >/dev/null &&
  cp rs/* rt && k release sign rt --key r.sec --source-id ex --serial 3 >/dev/null && echo v >rt/iu000801.dat
if [ "$(id -u)" = 0 ]; then
  # nobody must reach the tool and its library (a build under a private directory hides them)
  setpriv --reuid=nobody --regid=nogroup --clear-groups "$kaldorn" --version >/dev/null 2>&1 && nobody=true
  mkdir "$full" && mount -t tmpfs -o size=64k tmpfs "$full" && fs=true && cp $cl "$full/a.lst" &&
    { head -c 1M /dev/zero >"$full/fill"; } 2>/dev/null
fi
while IFS='|' read -r want args test; do
  read -r want <<<"$want"; read -r args <<<"$args"; read -r test <<<"$test"
  { [[ $args == nobody* ]] && ! $nobody; } || { [[ $args == *'$full'* ]] && ! $fs; } && continue
  out=$(eval "k $args" 2>err) && status=0 || status=$?
  text=$({ printf '%s\n' "$out"; cat err; } | tr '\n' '~')
  json=$(eval "k ${args//--json/} --json" 2>/dev/null) && js=0 || js=$?
  [[ $args =~ explain|help ]] || { jq -se --argjson s "$want" 'length == 1 and .[0].format == 2 and
    (.[0].failure != null) == ($s != 0)' <<<"$json" >/dev/null && [ $js = "$want" ]; } || fail "$args --json"
  [ "$want" != 0 ] || { eval "k $args" >/dev/full 2>/dev/null; [ $? = 1 ]; } || fail "$args >/dev/full"
  if [ "$status" != "$want" ]; then fail "$args: exit $status, not $want"
  elif [[ $test == jq\ * ]] && ! jq -e "${test#jq }" <<<"$out" >/dev/null; then fail "$args: $test"
  elif [[ $test != jq\ * && ! $text =~ $test ]]; then fail "$args: not $test"
  else passed=$((passed + 1)); continue; fi
  tr '~' '\n' <<<"$text"
done <<EOF
0 | $p internet --json | jq .entry_point == "KalDornGetDownloadVersionListForInternetExW"
0 | $p internet --plain --width a --json | jq .files[4].version == "8.2"
0 | $p path updates --plain | 6 files~  iu000303_monthly.dat +version 3.3 monthly  mark 0~
0 | $p internet --product 4 | 0+3.dat +definition 3  changed .* repair
0 | plan source source $i | nothing \(1004: client and source
0 | $p internet --explain | D2.2@ W2.3 ~.* D8.1\* D8.2\*~$
0 | plan "$l" source $i | 5 files~.*~kaldorn: warning: no index DAT in lat.n \(no such directory\): planning from
1 | plan nosuch source $i --strict | ^~kaldorn: no index DAT in nosuch .*\(--strict\)~$
1 | plan client nowhere $i | nowhere/0+1_index.dat: cannot be loaded
1 | $p path client --json | jq .failure.code == 1005
2 | $p internet --product 2 | serves no product 2
0 | delete client source --json | jq .files[9].flag == 1
0 | delete client nosuch | nothing~.*nosuch \(no such directory\): the source counts as empty~$
0 | oprid client source 2 --width a --json | jq .oprid == 2
2 | oprid client source 5 | serves no product 1 with operation 5
0 | client client --product 4 --width a --json | jq .files[0].file == "00000004_00000002.dat"
1 | client $long | ^~kaldorn: 0+/0+1_index.dat: path longer than 259 bytes
0 | show $sv $ci | section checksum: ok~.*solo checksum: ok~.*100b1a07ea0701 .* engine.core~
0 | show $cl $ci --json | jq .files[1].frame.section_checksum_ok == null and .files[1].definition_index.solo_checksum_ok
1 | show bad.dat | \(MISMATCH\)~.*bad.dat: neither a version nor a definition index DAT
1 | show h.lst | h.lst: record 2 is named 'p\\\\x0atterns.main'
1 | show count.lst | count.lst: its head counts 268435455 records
1 | show g $sv | ^$sv: version index DAT~.*~kaldorn: g: is a FIFO
1 | crc32 $sv nowhere odd | ^3a0951de  $sv~kaldorn: nowhere: no such file~kaldorn: odd: is a directory~$
1 | md5 g | ^~kaldorn: g: is a FIFO
1 | crc32 nowhere $sv --json | jq .files[1].crc32 == "3a0951de"
0 | md5 - <$sv | ^d80c9ba61403dcac9cf6c575d120ba96  -~$
1 | nobody md5 secret | ^~kaldorn: secret: cannot be read \(Permission denied\)
1 | crc32 $long | ^~kaldorn: 0{300}: path longer
0 | index build v.dat --text text --version 8.2 | ^version index DAT written to
0 | index build 5.dat --dir defs --product 0x5 | ^2 definitions .* current 2~$
1 | index build precious --dir defs | precious: exists and is not an index DAT
1 | index build $full/i.dat --text text --version 8.2 | i.dat: cannot be written \(No space
0 | compns verify $cl install | ^damaged  patterns.main~missing  patterns.extra~2 comp
1 | compns verify $cl nosuchdir | ^~kaldorn: nosuchdir: no such directory
1 | nobody compns verify m.lst locked | locked: cannot be read \(Permission
0 | compns build install b.lst | ^4 components of install written to
0 | compns build odd odd.lst | ^2 comp.*~(kaldorn: warning: skipped [^~]*(control|subdir|dangling)[^~]*~){3}$
1 | compns verify odd.lst . | ^~kaldorn: ./g: is a FIFO
0 | show odd.lst --json | jq .files[0].records[0].file.escaped == "caf\\\\xe9"
1 | compns build install precious | precious: exists and is not a component list
0 | compns build install precious --force | ^4 components
1 | compns build install $full/b.lst | b.lst: cannot be written \(No space
0 | compns add $ci b.lst --flag 0 --dir client | b.lst: entry written for $ci~$
1 | compns add odd/sub/deep odd.lst | deep: not in the installation directory
0 | compns platform b.lst --set 4 5 6 | ^4 5 6~$
0 | compns merge m.lst $sl m.lst | ^5 records written to
1 | compns merge $full/a.lst $sl $full/a.lst | a.lst: cannot be
0 | show $full/a.lst | a.lst: component list, head checksum ok, 4 records
0 | compns diff $cl $sl --json | jq .records[1].file == "patterns.new"
1 | compns diff nosuchA nosuchB | warning: no list nosuchA.*~kaldorn: nosuchB: no such file~$
0 | defs compare $ci $si | ^client DAT version 1, source DAT version 2: 1 of 3 .* patterns.extra~$
0 | defs compare $si $ci --json | jq .error == 1003 and .source_record_count == 2
0 | defs compare nosuch $si --oprid 2 | warning: no definition index DAT nosuch
1 | defs compare $ci $si --product 5 | index.dat: holds product 0x4, not 0x5
0 | defs diff $ci $si --json | jq .records[0].name == "patterns.extra"
0 | defs lookup d.dat abc --product 0x10 --append | ^1  00000010_00000001.dat  appended~$
1 | defs lookup d.dat "" --append | name cannot be empty
1 | defs lookup d.dat ../evil --append | name '../evil' names no single file
1 | defs stamp d.dat 99 | d.dat: no definition has id 99
0 | defs stamp d.dat 1 | d.dat: definition 1 stamped current; DAT version now 1~$
0 | defs modify d.dat 1 --date 0102030405060a | d.dat: record 1 now date 0102030405060a
0 | release sign rs --key r.sec --source-id ex --serial 2 --expires 1w | ^release 2 of source ex signed by key
1 | release sign rs --key e.sec --source-id ex --serial 2 --passphrase-file nopw | wrong passphrase for secret key
0 | release verify rs --trust r.pub --source-id ex | ^00000001_index.dat: OK~.*iu000801.dat: OK~.*all verified
1 | release verify rt --trust e.pub r.pub --source-id ex | iu000801.dat: FAILED \(.*has SHA-256
0 | plan client rs $i --trust r.pub $x --json | jq .release.serial == 2 and .files[4].version
1 | plan client rs1 $i --trust e.pub $x | serial 1 is older than serial 2 .* \(release code 25\)
1 | plan client rs $i --trust r.pub --source-id other --state st | signed for source ex, not other
1 | client client --trust r.pub $x | client/SHA256SUMS.minisig cannot be read
1 | compns diff $cl rs/0*.lst --trust e.pub $x | key [0-9A-F]+, which is not among the 1 trusted
2 | defs compare $ci rs/0*4_index.dat --trust r.pub | --trust needs --source-id ID and --state DIR
0 | release forget --state st --source-id ex | source ex: no release recorded in st
0 | help defs compare | Usage: kaldorn defs compare \[OPTIONS\] CLIENT SOURCE~
2 | bogus | ^~kaldorn: unknown command 'bogus'
EOF
[ "$(stat -c %a b.lst v.dat d.dat | tr '\n' ' ')" = "644 640 600 " ] || fail "modes of new files"
k md5 $sv odd/[acg]* | md5sum --quiet -c - || fail "md5 output does not check with md5sum -c"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
