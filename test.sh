#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test; then builds the concurrency tests with ThreadSanitizer and runs them again; then
# builds the fuzz harnesses with clang and gives each a short run. Every build is checked for
# packages it uses that scripts/deps.sh does not install.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh

jobs=$(nproc)
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
# Tests never reach a real display or remote host.
unset DISPLAY

# Includes point down the folder order of cmake/Folders.txt; checked before the long build.
python3 scripts/check_includes.py

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON >/dev/null
cmake --build build/asan -j "$jobs"
scripts/check_deps.py build/asan
(cd build/asan && ctest --output-on-failure -j "$jobs" --timeout 900)

cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TSAN=ON >/dev/null
cmake --build build/tsan -j "$jobs" --target velmora_concurrency_tests
(cd build/tsan && ctest --output-on-failure -j "$jobs" -L concurrency --timeout 900)

# Fuzzing: every seed and regression input, then three minutes of new inputs shared by the harnesses.
VELMORA_JOBS=$jobs scripts/fuzz.sh --check "${VELMORA_FUZZ_SECONDS:-180}"
scripts/check_deps.py build/tsan build/fuzz
