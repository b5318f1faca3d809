#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need, when any is missing.
# With --bench also those that only `make bench` needs (the serial libraries it compares against).
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ clang-14 libclang-rt-14-dev make
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev fontconfig fonts-dejavu-core fonts-dejavu-extra fonts-wine
  libcli11-dev dpkg-dev file xvfb xdotool imagemagick
)
BENCH_PACKAGES=(python3 python3-serial libserialport-dev util-linux)
if [ "${1:-}" = "--bench" ]; then PACKAGES+=("${BENCH_PACKAGES[@]}"); fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
