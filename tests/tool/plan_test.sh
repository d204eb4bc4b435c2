#!/usr/bin/env bash
# plan, delete, oprid and client over the example: product 1 at 2.2, source at 8.2;
# product 4 one DAT version behind, patterns.main damaged, patterns.extra missing.
source "$(dirname "$0")/cases.sh"
monthly='"iu000303_monthly.dat"'
internet="[$monthly, \"iu000603_monthly.dat\", \"iu000703_weekly.dat\", \"iu000801.dat\", \"iu000802.dat\"]"
run_cases <<EOF
0 | plan client source --source internet --json | jq .entry_point == "KalDornGetDownloadVersionListForInternetExW" and .error == 0 and [.files[].file] == $internet
0 | plan client source --source internet --plain --json | jq .entry_point == "KalDornGetDownloadVersionListForInternet" and [.files[].file] == $internet
0 | plan client source --source internet --plain --width a --json | jq .entry_point == "KalDornGetDownloadVersionListForInternetA" and [.files[].file] == $internet
0 | plan client source --source update-manager --json | jq (.files | length) == 18 and .files[0].file == "iu000203_weekly.dat" and .files[0].update_type == 102
0 | plan client source --source update-manager --plain --json | jq .entry_point == "KalDornGetDownloadVersionListForUpdateManagerW" and (.files | length) == 18
0 | plan client source --source update-manager --keep-window --json | jq .entry_point == "KalDornGetDownloadVersionListForUpdateManagerEx2W" and (.files | length) == 13 and .files[0].file == $monthly
0 | plan client source updates --source path --json | jq [.files[].version] == ["3.3", "4.3", "5.3", "7.3", "8.1", "8.2"] and .updates == "updates"
0 | plan client source updates --source path --plain --width a --json | jq .entry_point == "KalDornGetDownloadVersionListForPathA" and (.files | length) == 6
0 | plan client source updates --source path --plain | ^download list \(path\), product 1: 6 files~  iu000303_monthly.dat +version 3.3 monthly  mark 0~  iu000403_weekly.dat
0 | plan client source --source internet | ^download list \(internet\), product 1: 5 files~  iu000303_monthly.dat +version 3.3 monthly  flag 0  kind 0  mark 0~  iu000603_monthly.dat
0 | plan client source --source internet --product 4 | ^[^~]*product 4: 2 files~  00000004_00000003.dat +definition 3  changed definition  flag 0  kind 1  mark 0~  00000004_00000002.dat +definition 2  component repair  flag 1  kind 0
0 | plan client source --source update-manager --product 4 --json | jq [.files[] | [.file, .definition, .date, .kind]] == [["00000004_00000003.dat", 3, "110b1a07ea0703", 1]]
0 | plan client source x --source path --product 4 --json | jq .entry_point == "KalDornGetDownloadVersionListForPathExW" and (.files | length) == 1
0 | plan source source --source internet | product 1: nothing \(1004: client and source are at the same version\)~$
0 | plan source client --source update-manager --json | jq .result == 1 and .error == 1003 and .files == []
0 | delete client source --json | jq [.files[].file] == ["iu000101.dat", "iu000102.dat", "iu000103_weekly.dat", "iu000201.dat", "iu000202.dat", "iu000203_weekly.dat", "iu000301.dat", "iu000302.dat", "iu000401.dat", "iu000402.dat"] and all(.files[]; .flag == 1)
0 | oprid client source 2 --width a --json | jq .entry_point == "KaldornGetFileListFromOprIdForUpdateManagerA" and (.files | length) == 13 and .operation == 2
0 | oprid client source 0 | ^operation 0 list, product 1: nothing~$
0 | oprid client source 0 --product 4 --reference reference | ^operation 0 list, product 4: 1 file~  00000004_00000002.dat +flag 1  kind 1~$
0 | delete client source --product 4 --reference reference | ^delete list, product 4: nothing~$
0 | oprid client source 2 --product 4 --reference reference --json | jq .files == [{"file": "00000004_00000003.dat", "flag": 1, "kind": 0}]
0 | client client | ^client's current file, product 1: 1 file~  iu000202.dat +version 2.2 daily  flag 0  kind 0  mark 0~$
0 | client client --plain --json | jq .entry_point == "KalDornGetCurrentClientVersionForUpdateManagerW" and .files == [{"file": "iu000202.dat", "version": "2.2", "update_type": 101, "mark": 0}]
0 | client client --product 4 --width a --json | jq .files[0].file == "00000004_00000002.dat" and .files[0].flag == 1
0 | plan client source --source internet --explain | client at 2.2 .*~  series    1  D1.1. D1.2. W1.3.~  series    2  D2.1. D2.2@ W2.3 ~  series    3  D3.1  D3.2  X3.3\*~.*  series    8  D8.1\* D8.2\*~$
0 | plan client source --source internet --product 4 --explain | no timeline: product 4 is planned from definition records
# Answers that are errors name the file; usage errors exit 2.
1 | plan client nowhere --source internet | FAILED \(1001: .*~kaldorn: nowhere/00000001_index.dat: cannot be loaded as a version index DAT \(1001\)~$
1 | plan client source client --source path --json | jq .error == 1005 and (.failure | test("a daily update file missing from client"))
1 | plan client nowhere --source internet --product 4 | kaldorn: nowhere/00000004_index.dat: not a readable definition index DAT
1 | oprid client source 0 --product 4 --reference nowhere | kaldorn: nowhere/00000004_index.dat: not a readable
1 | client nowhere | kaldorn: nowhere/00000001_index.dat: cannot be read, or its version is not in its own version text \(1007\)
1 | plan client source --source internet --product 2 | kaldorn: KalDornGetDownloadVersionListForInternetExW serves no product 2
1 | oprid client source 7 | serves no product 1 with operation 7
2 | plan client source --source path | --source path needs the UPDATES directory
2 | plan client source --source ftp | --source: ftp not in
2 | plan client source --source internet --keep-window | --keep-window is only for --source update-manager
2 | plan client source --source internet --plain --product 4 | plan product 1 only
2 | client client --plain --width a | only a 16-bit form
2 | plan client source --source internet --explain --json | excludes
EOF

# Both string widths give the same answers, failures included.
while read -r q; do
  pass_if "W and A differ: $q" [ "$("$kaldorn" $q --width w 2>&1)" = "$("$kaldorn" $q --width a 2>&1)" ]
done <<'EOF'
plan client source --source internet
plan client source --source update-manager --keep-window
plan client source updates --source path
plan client source client --source path
plan client source --source internet --product 4
plan client source --source update-manager --product 4
client client --product 4
oprid client source 0 --product 4 --reference reference
EOF
finish
