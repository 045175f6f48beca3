#!/usr/bin/env bash
# Configures and builds into BUILD_DIR (default: build) with extra CMake flags.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
shift || true
cmake -S "$top" -B "$top/$dir" -G Ninja "$@" >/dev/null
cmake --build "$top/$dir" -j"$(nproc)"
