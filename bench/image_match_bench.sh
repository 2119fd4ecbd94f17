#!/usr/bin/env bash
# The picture search beside OpenCV's matchTemplate, and PNG reading beside libspng's: installs
# what it compares against (Debian's libopencv-dev and libspng-dev) when they are missing, builds
# image_match_bench in a Release build of its own and runs it. Figures are printed, not asserted.
#
#   bench/image_match_bench.sh [-b BUILD_DIR] [BENCHMARK ARGUMENTS...]
#
# BUILD_DIR defaults to build/bench-native. Installing needs root (apt-get).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/bench-native"
if [ "${1:-}" = -b ]; then build="$2"; shift 2; fi

missing=()
for pkg in libopencv-dev libspng-dev; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing ${missing[*]} (what the benchmark compares against) ..."
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" >/dev/null
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESMURO_TESTS=OFF -DTESMURO_BENCH=ON >/dev/null
cmake --build "$build" --target image_match_bench >/dev/null
exec "$build/bench/image_match_bench" "$@"
