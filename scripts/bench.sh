#!/usr/bin/env bash
# Builds the benchmarks in Release and runs each one (or those named as arguments).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF -DVELMORA_BENCH=ON >/dev/null
cmake --build build/bench -j "$(nproc)"
names=("$@")
[ ${#names[@]} -eq 0 ] && names=($(ls build/bench/bench/ | grep '^bench_' | sed 's/^bench_//'))
for name in "${names[@]}"; do
  echo "== $name"
  "build/bench/bench/bench_$name"
done
