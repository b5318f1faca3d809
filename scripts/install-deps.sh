#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need, when any is missing.
# With --bench also those that only `make bench` needs (the serial libraries it compares against).
# `install-deps.sh windows` installs what the Windows build adds (mingw-w64 and Wine, about 1.3 GB),
# so the Linux targets never pull it.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ clang-14 libclang-rt-14-dev make
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev fontconfig fonts-dejavu-core fonts-dejavu-extra fonts-wine
  libcli11-dev dpkg-dev file xvfb xdotool imagemagick valgrind
  libmosquitto-dev pkg-config mosquitto mosquitto-clients openssl
)
BENCH_PACKAGES=(python3 python3-serial libserialport-dev util-linux)
if [ "${1:-}" = "--bench" ]; then PACKAGES+=("${BENCH_PACKAGES[@]}"); fi
# libmosquitto-dev builds korvane-cli publish; mosquitto, mosquitto-clients and openssl run its tests
# (a broker of their own, with certificates made at test time).
# fonts-wine (only recommended by Wine) has the dialogs' "MS Sans Serif"; xvfb, xdotool and
# imagemagick drive the program on a virtual display and make its icon; korvane-cli.exe is built
# with the same header-only CLI11.
WINDOWS_PACKAGES=(
  g++-mingw-w64-x86-64-posix googletest wine wine64 fonts-wine xvfb xdotool imagemagick libcli11-dev
)
[ "${1:-}" = "windows" ] && PACKAGES=("${WINDOWS_PACKAGES[@]}")

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
