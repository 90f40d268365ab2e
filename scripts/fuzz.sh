#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ with clang (AddressSanitizer and UndefinedBehaviorSanitizer)
# in build/fuzz and runs them.
#   scripts/fuzz.sh NAME MINUTES   fuzzes fuzz_NAME for that long, starting from its seeds and
#                                  regression inputs; new inputs go to build/fuzz/work/NAME, a crash
#                                  to build/fuzz/findings/NAME/
#   scripts/fuzz.sh --check SECONDS
#                                  runs every harness over its seeds and regression inputs, then
#                                  fuzzes them for SECONDS in all, shared evenly (at least 3 s
#                                  each; what ./test.sh does); a harness with
#                                  inputs in fuzz/known/NAME (findings whose fix has not landed)
#                                  is not fuzzed
#   scripts/fuzz.sh --build        only builds the harnesses
#   scripts/fuzz.sh --list         names the harnesses
# VELMORA_JOBS=N sets the build jobs (default: all cores).
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/fuzz
harnesses() { sed -n 's/^velmora_fuzzer(\([A-Za-z0-9_]*\) .*/\1/p' fuzz/CMakeLists.txt; }

build_all() {
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELMORA_FUZZ=ON -DVELMORA_TESTS=OFF -DVELMORA_WERROR=ON >/dev/null
  cmake --build "$build" -j "${VELMORA_JOBS:-$(nproc)}" --target velmora_fuzzers
}

# The inputs a harness must survive: its seeds and every input that once crashed it.
inputs() {
  local dir
  for dir in "fuzz/corpus/$1" "fuzz/regressions/$1"; do
    [ -d "$dir" ] && find "$dir" -type f
  done
  return 0
}

# fuzz NAME SECONDS [extra libFuzzer options]: one timed run; prints the number of executions.
fuzz() {
  local name=$1 seconds=$2
  shift 2
  local work="$build/work/$name" findings="$build/findings/$name/" log="$build/logs/$name.log"
  mkdir -p "$work" "$findings" "$(dirname "$log")"
  local dirs=("$work" "fuzz/corpus/$name")
  [ -d "fuzz/regressions/$name" ] && dirs+=("fuzz/regressions/$name")
  local status=0
  "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings" "$@" "${dirs[@]}" >"$log" 2>&1 || status=$?
  local runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ "$status" -ne 0 ]; then
    echo "fuzz_$name: FOUND a failure after ${runs:-?} executions; input in $findings, log in $log" >&2
    grep -m 1 -E "ERROR|runtime error|property broken" "$log" >&2 || tail -n 20 "$log" >&2
    return 1
  fi
  echo "fuzz_$name: ${runs:-?} executions in ${seconds}s, no finding"
}

case "${1:-}" in
  --list)
    harnesses
    ;;
  --build)
    build_all
    ;;
  --check)
    total=${2:?usage: fuzz.sh --check SECONDS}
    count=$(harnesses | wc -l)
    seconds=$((total / count))
    [ "$seconds" -lt 3 ] && seconds=3
    build_all
    mkdir -p "$build/logs"
    passed=0
    failed=0
    for name in $(harnesses); do
      mapfile -t files < <(inputs "$name")
      if [ ${#files[@]} -eq 0 ]; then
        echo "fuzz_$name: no seed corpus in fuzz/corpus/$name" >&2
        failed=$((failed + 1))
        continue
      fi
      if ! "$build/fuzz/fuzz_$name" "${files[@]}" >"$build/logs/$name-inputs.log" 2>&1; then
        echo "fuzz_$name: a seed or regression input fails; see $build/logs/$name-inputs.log" >&2
        failed=$((failed + 1))
        continue
      fi
      passed=$((passed + 1))
      # A harness with a known finding that still awaits its fix would only find it again.
      if [ -n "$(ls -A "fuzz/known/$name" 2>/dev/null)" ]; then
        echo "fuzz_$name: seeds and regression inputs pass; not fuzzed while fuzz/known/$name awaits a fix"
        continue
      fi
      # A fixed seed keeps the short run repeatable.
      rm -rf "$build/work/$name"
      fuzz "$name" "$seconds" -seed=1 || { failed=$((failed + 1)); passed=$((passed - 1)); }
    done
    echo "fuzz: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
    ;;
  "" | -*)
    sed -n '2,16s/^# \{0,1\}//p' "$0" >&2
    exit 2
    ;;
  *)
    name=$1
    minutes=${2:?usage: fuzz.sh NAME MINUTES}
    harnesses | grep -qx "$name" || { echo "fuzz.sh: no harness $name (see --list)" >&2; exit 2; }
    build_all
    fuzz "$name" $((minutes * 60))
    ;;
esac
