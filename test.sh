#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test; then builds the optimised Release configuration that ./run.sh makes, with the tests
# on, and runs every test there; then builds the concurrency tests with ThreadSanitizer and runs
# them again; then builds the fuzz harnesses with clang and gives each a short run. Every build is
# checked for packages it uses that scripts/deps.sh does not install.
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

# The optimised build users run: ./run.sh's configuration (build/release, the same build type and
# so the same optimisation flags), here with the tests on. Inlining, ".cold" clones and allocations
# the optimiser removes change what a crash looks like, so every test holds in this build too.
cmake -S . -B build/rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=ON >/dev/null
cmake --build build/rel -j "$jobs"
scripts/check_deps.py build/rel
(cd build/rel && ctest --output-on-failure -j "$jobs" --timeout 900)

cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TSAN=ON >/dev/null
cmake --build build/tsan -j "$jobs" --target velmora_concurrency_tests
(cd build/tsan && ctest --output-on-failure -j "$jobs" -L concurrency --timeout 900)

# Fuzzing: every seed and regression input, then three minutes of new inputs shared by the harnesses.
VELMORA_JOBS=$jobs scripts/fuzz.sh --check "${VELMORA_FUZZ_SECONDS:-180}"
scripts/check_deps.py build/tsan build/fuzz
