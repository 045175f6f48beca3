#!/usr/bin/env bash
# Every test: the whole suite, the core tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and a short run of each fuzz target.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
"$top/scripts/setup-deps.sh"

echo "== build and test"
"$top/scripts/build.sh" build -DMURMEX_TESTS=ON -DMURMEX_BENCH=ON -DMURMEX_SANITIZE=OFF
ctest --test-dir build --output-on-failure -j"$(nproc)"

echo "== core tests under ASan+UBSan"
"$top/scripts/build.sh" build-asan -DMURMEX_SANITIZE=ON -DMURMEX_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)" -L core

if command -v clang++ >/dev/null && [ -f "$top/fuzz/run-short.sh" ]; then
  echo "== fuzz targets, a short run each"
  CC=clang CXX=clang++ "$top/scripts/build.sh" build-fuzz -DMURMEX_FUZZ=ON -DMURMEX_SANITIZE=ON \
    -DMURMEX_TESTS=OFF -DMURMEX_BENCH=OFF
  bash "$top/fuzz/run-short.sh" build-fuzz "${MURMEX_FUZZ_SECONDS:-20}"
fi
