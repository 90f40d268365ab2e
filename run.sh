#!/usr/bin/env bash
# Installs what is missing, builds a Release build, starts the stand-in backend on 127.0.0.1 and
# then the application against it. Stopping the application stops the backend too.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF >/dev/null
cmake --build build/release -j "$(nproc)"

log=$(mktemp)
build/release/standin/velmora-standin --port "${VELMORA_STANDIN_PORT:-0}" >"$log" 2>&1 &
standin=$!
trap 'kill "$standin" 2>/dev/null || true; wait "$standin" 2>/dev/null || true; rm -f "$log"' EXIT

for _ in $(seq 1 100); do
  grep -q "listening on" "$log" && break
  kill -0 "$standin" 2>/dev/null || { cat "$log"; exit 1; }
  sleep 0.1
done
cat "$log"
VELMORA_API_BASE=$(grep -o 'http://127\.0\.0\.1:[0-9]*/api/' "$log" | head -n 1)
export VELMORA_API_BASE
echo "Starting Velmora against $VELMORA_API_BASE"
build/release/app/velmora "$@"
