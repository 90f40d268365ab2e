#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, only those that are missing.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config ccache
  libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev libcpp-httplib-dev zlib1g-dev libssl-dev nlohmann-json3-dev
  libplist-dev libplist++-dev libplist-utils
  libnanopb-dev nanopb protobuf-compiler
  libicu-dev libfmt-dev
  libimgui-dev libglfw3-dev libx11-dev libxrandr-dev libstb-dev libgl-dev libgl1-mesa-dri xvfb xauth
  fonts-dejavu-core fonts-font-awesome iso-flags-png-320x240
  curl python3 gzip
  clang-14 lld-14 llvm-14
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
