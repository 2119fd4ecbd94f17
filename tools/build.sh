#!/usr/bin/env bash
# Builds one configuration of Tesmuro.
#   tools/build.sh win32      the Windows program and its unit tests (mingw-w64, i686) -> build/win32
#   tools/build.sh native     the portable core and its unit tests (g++)              -> build/native
#   tools/build.sh asan       native, with AddressSanitizer and UndefinedBehaviorSanitizer -> build/asan
#   tools/build.sh tsan       native, with ThreadSanitizer                             -> build/tsan
# Names after the configuration build only those targets (tools/build.sh asan tesmuro_tests).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
config=${1:-win32}
[ $# -gt 0 ] && shift
targets=()
for t in "$@"; do targets+=(--target "$t"); done
case "$config" in
  win32)
    cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-i686.cmake" -DTESMURO_BENCH=ON >/dev/null
    cmake --build build/win32 -j "$jobs" "${targets[@]}" ;;
  native)
    cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build build/native -j "$jobs" "${targets[@]}" ;;
  asan)
    cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESMURO_SANITIZE=address,undefined >/dev/null
    cmake --build build/asan -j "$jobs" "${targets[@]}" ;;
  tsan)
    cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESMURO_SANITIZE=thread >/dev/null
    cmake --build build/tsan -j "$jobs" "${targets[@]}" ;;
  *) echo "usage: tools/build.sh win32|native|asan|tsan" >&2; exit 2 ;;
esac
