#!/usr/bin/env bash
# Installs what is missing, builds a Release build and starts the application.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc)"
exec build/release/app/velmora "$@"
