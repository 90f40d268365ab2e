#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test; then builds the optimised Release configuration that ./run.sh makes, with the tests
# on, and runs every test there; then builds the concurrency tests with ThreadSanitizer and runs
# them again; then builds the fuzz harnesses with clang and gives each a short run. Every build is
# checked for packages it uses that scripts/deps.sh does not install, and fails on any compiler
# warning. The tests run with $HOME and the XDG folders in an empty folder of their own, and the
# run fails when anything appears there: no test may reach the user's own Velmora folders.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/deps.sh

jobs=$(nproc)
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
# Tests never reach a real display or remote host.
unset DISPLAY

# checked LOG COMMAND...: runs a build with its output kept in LOG too, and fails naming every
# warning in it. The configurations treat compiler warnings as errors (VELMORA_WERROR), so that an
# object built by an earlier run cannot hide one; what the compiler does not turn into an error (a
# linker's warning) is caught in the log.
checked() {
  local log=$1 status=0
  shift
  mkdir -p "$(dirname "$log")"
  "$@" 2>&1 | tee "$log" || status=$?
  local warnings
  warnings=$(grep -E 'warning:|\[-Werror' "$log" || true)
  if [ -n "$warnings" ]; then
    printf 'test.sh: the build logged in %s has warnings:\n%s\n' "$log" "$warnings" >&2
    exit 1
  fi
  return "$status"
}

# The home the tests run with: empty, and it must stay so. Every test process gives itself a home
# of its own before anything runs (tests/support/TestProcessHome.cpp), so whatever shows up here
# came from a process that would have written into the user's own folders.
test_home=$(mktemp -d)
trap 'rm -rf "$test_home"' EXIT
in_test_home() {
  HOME=$test_home XDG_CONFIG_HOME=$test_home/.config XDG_DATA_HOME=$test_home/.local/share \
    XDG_CACHE_HOME=$test_home/.cache XDG_STATE_HOME=$test_home/.local/state "$@"
}
check_test_home() {
  local found
  found=$(cd "$test_home" && find . -mindepth 1 | sort)
  if [ -n "$found" ]; then
    printf 'test.sh: the %s wrote into the home the tests ran with:\n%s\n' "$1" "$found" >&2
    exit 1
  fi
}

# Includes point down the folder order of cmake/Folders.txt; checked before the long build.
python3 scripts/check_includes.py

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DVELMORA_WERROR=ON >/dev/null
checked build/asan/build.log cmake --build build/asan -j "$jobs"
scripts/check_deps.py build/asan
(cd build/asan && in_test_home ctest --output-on-failure -j "$jobs" --timeout 900)
check_test_home "AddressSanitizer tests"

# The optimised build users run: ./run.sh's configuration (build/release, the same build type and
# so the same optimisation flags), here with the tests on. Inlining, ".cold" clones and allocations
# the optimiser removes change what a crash looks like, so every test holds in this build too.
cmake -S . -B build/rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=ON -DVELMORA_WERROR=ON >/dev/null
checked build/rel/build.log cmake --build build/rel -j "$jobs"
scripts/check_deps.py build/rel
(cd build/rel && in_test_home ctest --output-on-failure -j "$jobs" --timeout 900)
check_test_home "Release tests"

cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TSAN=ON -DVELMORA_WERROR=ON >/dev/null
checked build/tsan/build.log cmake --build build/tsan -j "$jobs" --target velmora_concurrency_tests
(cd build/tsan && in_test_home ctest --output-on-failure -j "$jobs" -L concurrency --timeout 900)
check_test_home "ThreadSanitizer tests"

# Fuzzing: every seed and regression input, then three minutes of new inputs shared by the harnesses.
# Built first, with the warning check; the runs then find the harnesses up to date.
checked build/fuzz/build.log env VELMORA_JOBS="$jobs" scripts/fuzz.sh --build
VELMORA_JOBS=$jobs in_test_home scripts/fuzz.sh --check "${VELMORA_FUZZ_SECONDS:-180}"
scripts/check_deps.py build/tsan build/fuzz
# Last, so that a late write of any run above is caught too.
check_test_home "tests and fuzz runs"
