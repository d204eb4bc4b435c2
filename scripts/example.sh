#!/usr/bin/env bash
# Builds kaldorn.so and the kaldorn tool, writes the bundled example
# installation and runs the tool over it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
tool=build/default/tools/kaldorn/kaldorn
example=build/default/example
echo
echo "== kaldorn show: the client's and the source's index DATs"
$tool show $example/client/00000001_index.dat $example/source/00000001_index.dat $example/source/00000004_index.dat
echo
echo "== kaldorn crc32 / md5"
$tool crc32 $example/source/*.dat
$tool md5 $example/source/*.dat
echo
echo "== kaldorn plan: client 2.2, source 8.2, update files without the second monthly"
$tool plan all $example/client $example/source $example/updates
echo
echo "== kaldorn compns: verify the example installation, diff the client's and the source's lists"
$tool compns verify $example/client/00000004_compns.lst $example/install
$tool compns diff $example/client/00000004_compns.lst $example/source/00000004_compns.lst
echo
echo "== kaldorn defs compare: the definitions the client lacks"
$tool defs compare $example/client/00000004_index.dat $example/source/00000004_index.dat
$tool defs compare $example/client/00000004_index.dat $example/source/00000004_index.dat --opr-id 2
echo
echo "== kaldorn download --explain: why the internet source offers these files (through the entry points)"
$tool download $example/client $example/source --explain
echo
echo "== kaldorn download: the solo product 4 from the internet, repairing damaged and missing components"
$tool download $example/client $example/source --product 4 --width a
