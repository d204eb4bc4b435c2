#!/usr/bin/env bash
# Installs what building and testing kaldorn needs on a fresh Debian machine.
# Does nothing when everything is already there.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
          zlib1g-dev libssl-dev libsodium-dev minisign libcli11-dev nlohmann-json3-dev
          pkg-config abigail-tools doxygen valgrind jq
          pandoc man-db dpkg-dev file lintian gnuplot-nox hyperfine locales)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd=sudo
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
