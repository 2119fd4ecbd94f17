#!/usr/bin/env bash
# Builds one configuration of Tesmuro.
#   tools/build.sh win32      the Windows program and its unit tests (mingw-w64, i686) -> build/win32
#   tools/build.sh native     the portable core and its unit tests (g++)              -> build/native
#   tools/build.sh asan       native, with AddressSanitizer and UndefinedBehaviorSanitizer -> build/asan
#   tools/build.sh tsan       native, with ThreadSanitizer                             -> build/tsan
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
case "${1:-win32}" in
  win32)
    cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-i686.cmake" -DTESMURO_BENCH=ON >/dev/null
    cmake --build build/win32 -j "$jobs" ;;
  native)
    cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build build/native -j "$jobs" ;;
  asan)
    cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESMURO_SANITIZE=address,undefined >/dev/null
    cmake --build build/asan -j "$jobs" ;;
  tsan)
    cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESMURO_SANITIZE=thread >/dev/null
    cmake --build build/tsan -j "$jobs" ;;
  *) echo "usage: tools/build.sh win32|native|asan|tsan" >&2; exit 2 ;;
esac
