#!/usr/bin/env bash
# Installs the build and test dependencies that are missing; does nothing when all are present.
set -euo pipefail

packages=(cmake g++ make qt6-base-dev qt6-serialport-dev libgl1-mesa-dev)
[ "${TAVREL_WITH_TEST_TOOLS:-0}" = 1 ] && packages+=(clang clang-tidy libclang-rt-14-dev xvfb xdotool)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
