#!/usr/bin/env bash
# Installs what building and testing Tesmuro needs on Debian 12, only what is missing.
# Usage: tools/install-deps.sh [--with-run]   (the run command also wants the Chinese locale tools)
set -euo pipefail

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

pkgs=(cmake ninja-build g++ clang libgtest-dev libgmock-dev libbenchmark-dev
      g++-mingw-w64-i686 mingw-w64-i686-dev
      wine wine32:i386 xvfb xdotool x11-utils imagemagick fonts-wqy-zenhei fonts-wine locales
      libclang-rt-14-dev fp-utils nsis
      libx11-dev libxtst-dev libxi-dev libxext-dev libstb-dev dpkg-dev openbox)

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  updated=0
fi
for p in "${pkgs[@]}"; do have_pkg "$p" || need+=("$p"); done

if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
