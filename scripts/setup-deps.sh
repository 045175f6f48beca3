#!/usr/bin/env bash
# Installs the Debian packages the suite builds and tests with; does nothing
# when they are all there. Safe to run again.
set -euo pipefail

packages=(build-essential cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev
          clang libclang-rt-14-dev python3 pkg-config libsoxr-dev libgsm1-dev sox
          libopus-dev libcodec2-dev libusb-1.0-0-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
