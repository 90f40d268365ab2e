#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, only those that are missing.
# The package manager's output goes to build/deps-install.log, with the names of the missing packages;
# on failure the cause is shown: the package archive out of reach, or the log's tail.
#   deps.sh --list   prints the list, one package a line (the build's dependency check reads it)
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  cmake ninja-build g++ pkg-config ccache
  clang-14 libclang-rt-14-dev lld-14 lld llvm-14
  libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev libcpp-httplib-dev zlib1g-dev libssl-dev nlohmann-json3-dev
  libplist-dev libplist++-dev libplist-utils
  libnanopb-dev nanopb protobuf-compiler
  libicu-dev libfmt-dev
  libimgui-dev libglfw3-dev libx11-dev libxcb1-dev libxrandr-dev libstb-dev libgl-dev libgl1-mesa-dri xvfb xauth
  openbox libxtst-dev xclip
  fonts-dejavu-core fonts-font-awesome iso-flags-png-320x240 xdg-utils
  curl python3 gzip uidmap acl
)

if [ "${1:-}" = "--list" ]; then
  printf '%s\n' "${PACKAGES[@]}"
  exit 0
fi

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

mkdir -p build
log=build/deps-install.log
echo "Installing ${#missing[@]} missing packages (names and progress in $log)"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "deps.sh: not root and no sudo; install as root: ${missing[*]}" >&2
    exit 1
  fi
  sudo=(sudo)
fi
# sudo's env_reset drops the caller's environment, so the setting travels on the command itself.
apt=("${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get)
{
  echo "Missing packages: ${missing[*]}"
  "${apt[@]}" update && "${apt[@]}" install -y --no-install-recommends "${missing[@]}"
} >"$log" 2>&1 </dev/null || {
  # apt-get update reports an archive it cannot reach as warnings, and the install then blames
  # every package name; the fetch failure is the cause worth showing.
  unreachable=$(grep -m 1 -e 'Temporary failure resolving' -e 'Failed to fetch' -e 'Could not resolve' \
    -e 'Could not connect' -e 'Network is unreachable' "$log" | sed 's/^[[:space:]]*//' || true)
  if [ -n "$unreachable" ]; then
    echo "deps.sh: the package archive could not be reached, so ${#missing[@]} packages could not be installed (see $log):" >&2
    echo "  $unreachable" >&2
  else
    echo "deps.sh: installing the packages failed; the end of $log:" >&2
    tail -n 25 "$log" >&2
  fi
  exit 1
}
