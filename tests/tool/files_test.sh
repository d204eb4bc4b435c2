#!/usr/bin/env bash
# show, crc32, md5, index build, compns and defs over the example, against
# md5sum, gzip's CRC-32 trailer and the fixture writer's index DAT.
source "$(dirname "$0")/cases.sh"
printf '%s' '110001;110001;110010;110001;110001;110010;110001;11' >"$w/text"
mkdir "$w/defs" && echo x >"$w/defs/alpha" && echo yy >"$w/defs/beta"
cp source/00000001_index.dat "$w/damaged.dat" && printf 9 | dd of="$w/damaged.dat" bs=1 seek=70 conv=notrunc 2>/dev/null
cp client/00000004_compns.lst "$w/merged.lst"
run_cases <<'EOF'
0 | show source/00000001_index.dat client/00000004_index.dat | version index DAT~.*section checksum: ok~.*DB version 8.2~.*: 110001;110001;.*definition index DAT~.*solo checksum: ok~.*current definition 2, last id 2, 2 records~ +1  00000004_00000001.dat  100b1a07ea0701  status 1  data 0  engine.core~
0 | show client/00000004_compns.lst source/00000001_index.dat | ^client/00000004_compns.lst: component list, head checksum ok, 4 records, platform identifiers 0 0 0~[0-9a-f]{32}  flag 1  tag 0 +15  engine.core~.*00000001_index.dat: version index DAT
0 | show --json source/00000001_index.dat client/00000004_compns.lst | jq [.files[].type] == ["version index DAT", "component list"] and .files[0].frame.section_checksum_ok and .files[1].records[3] == {"file": "readme.txt", "flag": 0, "size": 7, "md5": "c6566f64461986ffe46c913e76644b70", "tag": 0}
1 | show $w/damaged.dat | byte sum 0x[0-9a-f]+ \(MISMATCH\)~  section checksum: MISMATCH~.*damaged.dat: neither a version nor a definition index DAT that reads
1 | show nowhere client/orlenmap.loc | ^~kaldorn: nowhere: cannot be opened: No such file or directory~kaldorn: client/orlenmap.loc: shorter than an index DAT header
1 | crc32 source/00000001_index.dat nowhere | ^3a0951de  source/00000001_index.dat~kaldorn: nowhere: cannot be read~$
0 | md5 --json source/00000001_index.dat | jq .files == [{"path": "source/00000001_index.dat", "md5": "d80c9ba61403dcac9cf6c575d120ba96"}]
# Publisher side: a version index DAT (compared below) and a definition one.
0 | index build $w/00000001_index.dat --text $w/text --version 8.2 | ^version index DAT written to
1 | index build $w/bad.dat --text $w/text --version 9.1 | text: version 9.1 is not in the text
2 | index build $w/bad.dat --text $w/text | --text needs --version
0 | index build $w/00000005_index.dat --dir $w/defs --product 5 | ^2 definitions .* current 2~$
0 | show $w/00000005_index.dat | current definition 2, last id 2, 2 records~.*status 1  data 2  alpha~.*status 1  data 3  beta~$
# Component lists: install/ lacks patterns.extra and has patterns.main damaged.
0 | compns verify client/00000004_compns.lst install | ^damaged  patterns.main~missing  patterns.extra~2 component\(s\) need repair~$
0 | compns verify client/00000004_compns.lst install --json | jq .files == [{"file": "patterns.main", "state": "damaged"}, {"file": "patterns.extra", "state": "missing"}]
1 | compns verify nowhere.lst install | kaldorn: nowhere.lst: does not exist \(code 8\)
0 | compns build install $w/built.lst | ^4 components of install written to
0 | compns verify $w/built.lst install | ^0 component\(s\) need repair~$
0 | compns add client/00000004_index.dat $w/built.lst --flag 0 | ^entry written: client/00000004_index.dat~$
0 | compns add client/00000004_index.dat $w/built.lst --flag 0 | ^already up to date
0 | compns platform $w/built.lst --set 4 5 6 | ^4 5 6~$
0 | compns platform $w/built.lst --json | jq .platform == [4, 5, 6]
0 | compns merge $w/merged.lst source/00000004_compns.lst $w/merged.lst | ^5 records written to
0 | compns diff client/00000004_compns.lst source/00000004_compns.lst | engine.core~[0-9a-f]{32}  flag 1  tag 0 +13  patterns.new~2 new or changed record\(s\)~$
0 | compns diff client/00000004_compns.lst source/00000004_compns.lst --json | jq [.records[].file] == ["engine.core", "patterns.new"]
1 | compns diff client/00000004_compns.lst client/00000001_index.dat | not a valid component list
# Definition index DATs: the example client is one DAT version behind.
0 | defs compare client/00000004_index.dat source/00000004_index.dat | ^client DAT version 1, source DAT version 2: 1 of 3 definitions to fetch~ +3  00000004_00000003.dat  110b1a07ea0703  status 1  data 0  patterns.extra~$
0 | defs compare client/00000004_index.dat source/00000004_index.dat --json | jq .source_records == 3 and [.records[].id] == [3]
0 | defs compare client/00000004_index.dat source/00000004_index.dat --opr-id 2 | ^00000004_00000003.dat  flag 1  kind 0~$
1 | defs compare client/00000004_index.dat client/00000004_index.dat | 00000004_index.dat: client and source are at the same version \(1004\)
0 | defs diff client/00000004_index.dat source/00000004_index.dat --json | jq [.records[].name] == ["patterns.extra"]
0 | defs lookup $w/d.dat abc --product 0x10 --append | ^1  00000010_00000001.dat~$
0 | defs lookup $w/d.dat ABC --product 16 --json | jq .id == 1 and .file == "00000010_00000001.dat"
0 | defs stamp $w/d.dat 1 | ^~$
0 | defs modify $w/d.dat 1 --date 0102030405060a --status 0 | ^~$
0 | show $w/d.dat | current definition 1, last id 1, 1 records~ +1  00000010_00000001.dat  0102030405060a  status 0  data 0  abc~$
1 | defs lookup $w/d.dat zzz --product 16 | d.dat: no definition named 'zzz'~$
2 | defs modify $w/d.dat 1 --date 0102 | date '0102' is not 14 hex digits
EOF
pass_if "index build differs from the fixture writer" cmp -s "$w/00000001_index.dat" source/00000001_index.dat
pass_if "md5 disagrees with md5sum" bash -c "'$kaldorn' md5 source/*.dat client/*.lst | md5sum --quiet -c -"
f=source/00000001_index.dat
pass_if "crc32 disagrees with gzip's trailer" \
  [ "$("$kaldorn" crc32 $f | cut -c1-8)" = "$(gzip -c $f | tail -c8 | od -An -tx4 -N4 | tr -d ' ')" ]
pass_if "merge did not keep the client's two unverified records" \
  [ "$("$kaldorn" show --json "$w/merged.lst" | jq '[.files[0].records[] | select(.flag == 0)] | length')" = 2 ]
finish
