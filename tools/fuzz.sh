#!/usr/bin/env bash
# Builds a fuzz target with clang/libFuzzer and runs it for a while.
# Usage: tools/fuzz.sh <target> <seconds> [extra libFuzzer options...]
#   <target>: a fuzz program name, e.g. word_reader_fuzz (the _fuzz may be left off).
# The working corpus grows in build/fuzz/corpus/<target>, seeded from
# fuzz/seeds/<target>; crash inputs land in build/fuzz/artifacts/<target>/.
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: $0 <target> <seconds> [libFuzzer options...]" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2
case "$target" in *_fuzz) ;; *) target=${target}_fuzz ;; esac

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESMURO_FUZZ=ON -DTESMURO_TESTS=OFF >/dev/null
cmake --build "$build" --target "$target"

corpus=$build/corpus/$target
artifacts=$build/artifacts/$target
mkdir -p "$corpus" "$artifacts"
if [ -d "$root/fuzz/seeds/$target" ]; then
  cp -n "$root/fuzz/seeds/$target"/* "$corpus"/ 2>/dev/null || true
fi

opts=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192
      -print_final_stats=1 -artifact_prefix="$artifacts/")
if [ -f "$root/fuzz/$target.dict" ]; then
  opts+=(-dict="$root/fuzz/$target.dict")
fi

exec "$build/fuzz/$target" "${opts[@]}" "$@" "$corpus"
