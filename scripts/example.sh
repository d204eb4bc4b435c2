#!/usr/bin/env bash
# Builds kaldorn.so and the kaldorn tool, writes the bundled example
# installation and runs the tool over it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
tool=$PWD/build/default/tools/kaldorn/kaldorn
cd build/default/example
step() { echo; echo "== kaldorn $*"; }
step "show: the client's and the source's index DATs, the client's component list"
$tool show client/00000001_index.dat source/00000001_index.dat source/00000004_index.dat client/00000004_compns.lst
step "crc32 / md5"
$tool crc32 source/*.dat
$tool md5 source/*.dat
step "client: where the installation stands"
$tool client client
step "plan --explain: why the internet source offers these files"
$tool plan client source --source internet --explain
step "plan: from a directory of update files without the second monthly, and from an update manager's store"
$tool plan client source updates --source path
$tool plan client source --source update-manager --keep-window
step "delete / oprid: what an update manager may delete, and must fetch"
$tool delete client source
$tool oprid client source 2
step "plan --product 4: definition files from the internet, repairing damaged and missing components"
$tool plan client source --source internet --product 4 --width a
step "compns: verify the example installation, diff the client's and the source's lists"
$tool compns verify client/00000004_compns.lst install
$tool compns diff client/00000004_compns.lst source/00000004_compns.lst
step "defs compare: the definitions the client lacks"
$tool defs compare client/00000004_index.dat source/00000004_index.dat
$tool defs compare client/00000004_index.dat source/00000004_index.dat --oprid 2
step "release: the publisher signs the source (a key of the example's own, no passphrase), a host plans only from a source whose release verifies"
mkdir -p keys state
[ -f keys/example.sec ] || $tool release keygen -W --public keys/example.pub --secret keys/example.sec
$tool release sign source --key keys/example.sec --source-id example --serial 1 --expires 30d
$tool release verify source --trust keys/example.pub --source-id example
$tool plan client source --source internet --trust keys/example.pub --source-id example --state state
