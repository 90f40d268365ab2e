#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test; then builds the optimised Release configuration that ./run.sh makes, with the tests
# on, and runs every test there; then builds the concurrency tests with ThreadSanitizer and runs
# them again; then builds the fuzz harnesses with clang and gives each a short run. Every build is
# checked for packages it uses that scripts/deps.sh does not install, and fails on any compiler
# warning. The tests run with $HOME, the XDG folders and $TMPDIR in empty folders of their own,
# and the run fails when anything is left there, or in the work tree: no test may reach the user's
# own Velmora folders or leave files behind.
# Each stage starts with a heading and ends with its time; the build output goes to the stage's
# build.log (shown when the build fails). The last line says what passed, and names every test
# that skipped: a skip proves nothing, so "passed" never hides one.
set -euo pipefail
cd "$(dirname "$0")"

started=$SECONDS
stage_count=4
stage_number=0
stage_name=""
stage_label=""
stage_started=0
tests_passed=0
tests_failed=0
counts=()
# The GoogleTest tests that skipped: their names in the order met, and the stages each skipped in.
skipped_names=()
declare -A skipped_stages=()
# minutes SECONDS: "12 min 05 s".
minutes() { printf '%d min %02d s' $(($1 / 60)) $(($1 % 60)); }
# stage NAME WHAT: closes the stage that ran and heads the next; NAME labels its test count.
stage() {
  end_stage
  stage_number=$((stage_number + 1))
  stage_name=$1
  stage_label=$2
  stage_started=$SECONDS
  printf '\n=== test.sh: stage %d of %d: %s (at %s) ===\n' "$stage_number" "$stage_count" "$stage_label" \
    "$(minutes $((SECONDS - started)))"
}
end_stage() {
  [ -n "$stage_name" ] || return 0
  printf '=== test.sh: stage %d of %d passed in %s ===\n' "$stage_number" "$stage_count" "$(minutes $((SECONDS - stage_started)))"
  stage_name=""
}
# "; N skipped: Suite.Name (stage, stage), ...", or "; 0 skipped".
skipped_summary() {
  printf '; %d skipped' "${#skipped_names[@]}"
  local name separator=": "
  for name in "${skipped_names[@]}"; do
    printf '%s%s (%s)' "$separator" "$name" "${skipped_stages[$name]}"
    separator=", "
  done
}
# On any failure the last line names the stage that failed, with the test counts when tests failed.
report_failure() {
  local status=$? counted=""
  [ "$status" -ne 0 ] || return 0
  [ "$tests_failed" -eq 0 ] || counted=": $tests_passed passed, $tests_failed failed$(skipped_summary)"
  printf 'test.sh: FAILED in stage %d of %d (%s) after %s%s\n' "$stage_number" "$stage_count" \
    "${stage_label:-preparation}" "$(minutes $((SECONDS - started)))" "$counted" >&2
}

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
# The build's own lines stay in LOG; the console gets its size and time, or on failure the failing
# steps.
checked() {
  local log=$1 status=0 began=$SECONDS
  shift
  mkdir -p "$(dirname "$log")"
  echo "building (progress in $log)"
  "$@" >"$log" 2>&1 || status=$?
  local warnings
  warnings=$(grep -E 'warning:|\[-Werror' "$log" || true)
  if [ -n "$warnings" ]; then
    printf 'test.sh: the build logged in %s has warnings:\n%s\n' "$log" "$warnings" >&2
    exit 1
  fi
  if [ "$status" -ne 0 ]; then
    printf 'test.sh: the build failed (whole log in %s):\n' "$log" >&2
    if grep -q '^FAILED: ' "$log"; then
      sed -n '/^FAILED: /,$p' "$log" | head -n 200 >&2
    else
      tail -n 40 "$log" >&2
    fi
    return "$status"
  fi
  local steps
  steps=$(grep -c '^\[[0-9]*/[0-9]*\] ' "$log" || true)
  printf 'build done in %s (%s build steps ran)\n' "$(minutes $((SECONDS - began)))" "$steps"
}

# run_tests DIR [ctest options]: the tests of the build in DIR, in the tests' home and temporary
# folder; their counts go into the closing line, with the GoogleTest tests that skipped. A ctest
# test is a whole test program; ctest keeps each one's whole output in LastTest.log, where
# GoogleTest names every test that skipped on a line "[  SKIPPED ] Suite.Name" (with its time, or
# again in the closing list). Helpers that only another test runs, as a child process, are
# disabled in the normal run rather than skipped, so they are not among them.
run_tests() {
  local dir=$1 log=$1/ctest.log status=0 output=$1/Testing/Temporary/LastTest.log
  shift
  rm -f "$output"
  (cd "$dir" && in_test_home ctest --output-on-failure -j "$jobs" --timeout 900 "$@") 2>&1 | tee "$log" || status=$?
  local name
  while read -r name; do
    if [ -z "${skipped_stages[$name]+set}" ]; then
      skipped_names+=("$name")
      skipped_stages[$name]=$stage_name
    else
      skipped_stages[$name]+=", $stage_name"
    fi
  done < <(sed -nE 's/^\[  SKIPPED \] ([A-Za-z0-9_/]+\.[A-Za-z0-9_/]+)( \([0-9]+ ms\)|, where .*)?$/\1/p' \
    "$output" 2>/dev/null | sort -u)
  local summary passed failed
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$summary" ]; then
    failed=$(sed -E 's/.* ([0-9]+) tests? failed.*/\1/' <<<"$summary")
    passed=$((${summary##* out of } - failed))
    tests_passed=$((tests_passed + passed))
    tests_failed=$((tests_failed + failed))
    counts+=("$stage_name $passed")
  fi
  return "$status"
}

# The home the tests run with: empty, and it must stay so. Every test process gives itself a home
# of its own before anything runs (tests/support/TestProcessHome.cpp), so whatever shows up here
# came from a process that would have written into the user's own folders.
# The temporary folder they run with is empty too, and must be so again when they return.
test_home=$(mktemp -d)
test_tmp=$(mktemp -d)
trap 'report_failure; rm -rf "$test_home" "$test_tmp"' EXIT
in_test_home() {
  HOME=$test_home XDG_CONFIG_HOME=$test_home/.config XDG_DATA_HOME=$test_home/.local/share \
    XDG_CACHE_HOME=$test_home/.cache XDG_STATE_HOME=$test_home/.local/state TMPDIR=$test_tmp "$@"
}
check_test_home() {
  local found
  found=$(cd "$test_home" && find . -mindepth 1 | sort)
  if [ -n "$found" ]; then
    printf 'test.sh: the %s wrote into the home the tests ran with:\n%s\n' "$1" "$found" >&2
    exit 1
  fi
  found=$(cd "$test_tmp" && find . -mindepth 1 -maxdepth 2 | sort | head -n 50)
  if [ -n "$found" ]; then
    printf 'test.sh: the %s left files in their temporary folder ($TMPDIR):\n%s\n' "$1" "$found" >&2
    exit 1
  fi
}
# The work tree as it was before the run (a developer's own changes included); the tests may add
# nothing to it outside the ignored build folders.
tree_status() { git status --porcelain --untracked-files=all 2>/dev/null || true; }
tree_before=$(tree_status)
check_tree() {
  local added
  added=$(comm -13 <(sort <<<"$tree_before") <(tree_status | sort))
  if [ -n "$added" ]; then
    printf 'test.sh: the %s changed the work tree (git status):\n%s\n' "$1" "$added" >&2
    exit 1
  fi
}

# Includes point down the folder order of cmake/Folders.txt; checked before the long build.
python3 scripts/check_includes.py

stage "AddressSanitizer tests" "AddressSanitizer and UndefinedBehaviorSanitizer build and tests (build/asan)"
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELMORA_SANITIZE=ON -DVELMORA_WERROR=ON >/dev/null
checked build/asan/build.log cmake --build build/asan -j "$jobs"
scripts/check_deps.py build/asan
run_tests build/asan
check_test_home "AddressSanitizer tests"
check_tree "AddressSanitizer tests"

# The optimised build users run: ./run.sh uses this folder and configuration, building only its
# programs. Inlining, ".cold" clones and allocations the optimiser removes change what a crash looks
# like, so every test holds in this build too.
stage "Release tests" "Release build and tests (build/rel, the build ./run.sh runs)"
cmake -S . -B build/rel -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=ON -DVELMORA_WERROR=ON >/dev/null
checked build/rel/build.log cmake --build build/rel -j "$jobs"
scripts/check_deps.py build/rel
run_tests build/rel
check_test_home "Release tests"
check_tree "Release tests"

stage "ThreadSanitizer tests" "ThreadSanitizer build and concurrency tests (build/tsan)"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TSAN=ON -DVELMORA_WERROR=ON >/dev/null
checked build/tsan/build.log cmake --build build/tsan -j "$jobs" --target velmora_concurrency_tests
run_tests build/tsan -L concurrency
check_test_home "ThreadSanitizer tests"

# Fuzzing: every seed and regression input, then three minutes of new inputs shared by the harnesses.
# Built first, with the warning check; the runs then find the harnesses up to date.
stage "fuzz harnesses" "fuzz harnesses: build, seeds and regression inputs, ${VELMORA_FUZZ_SECONDS:-180} s of fuzzing (build/fuzz)"
checked build/fuzz/build.log env VELMORA_JOBS="$jobs" scripts/fuzz.sh --build
fuzz_status=0
VELMORA_JOBS=$jobs in_test_home scripts/fuzz.sh --check "${VELMORA_FUZZ_SECONDS:-180}" 2>&1 | tee build/fuzz/check.log ||
  fuzz_status=$?
fuzz_summary=$(sed -n 's/^fuzz: \([0-9]*\) passed, \([0-9]*\) failed$/\1 \2/p' build/fuzz/check.log)
if [ -n "$fuzz_summary" ]; then
  tests_passed=$((tests_passed + ${fuzz_summary% *}))
  tests_failed=$((tests_failed + ${fuzz_summary#* }))
  counts+=("fuzz harnesses ${fuzz_summary% *}")
fi
[ "$fuzz_status" -eq 0 ] || exit "$fuzz_status"
scripts/check_deps.py build/tsan build/fuzz
# Last, so that a late write of any run above is caught too.
check_test_home "tests and fuzz runs"
check_tree "tests and fuzz runs"
end_stage

printf '\ntest.sh: passed: %s' "${counts[0]}"
printf ', %s' "${counts[@]:1}"
printf '\ntest.sh: %d stages passed in %s: %d passed, %d failed%s\n' "$stage_count" \
  "$(minutes $((SECONDS - started)))" "$tests_passed" "$tests_failed" "$(skipped_summary)"
