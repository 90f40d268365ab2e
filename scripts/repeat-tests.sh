#!/usr/bin/env bash
# repeat-tests.sh [options] PROGRAM...: runs test programs of a build many times, each run with a
# fresh home and temporary folder, optionally beside busy loops on the cores it is pinned to, and
# counts what failed. A race that shows once in fifty runs on a crowded machine shows here.
#   scripts/repeat-tests.sh --build build/rel --runs 20 --cores 0 --loops 8 tests_e2e tests_render
#   scripts/repeat-tests.sh --runs 10 --repeat 5 --filter 'CrashDemo.*' --nice 10 tests_crash_capture
# Options:
#   --build DIR     the build folder (default build/rel); the programs' environment and arguments
#                   are the ones ctest gives them there
#   --runs N        processes started per program (default 20), one after the other
#   --repeat N      --gtest_repeat for each process (default 1)
#   --filter F      --gtest_filter for each process
#   --cores LIST    pins the programs, and the busy loops, to these cores (a taskset list)
#   --loops N       busy loops kept running on --cores for the whole run (default 0)
#   --nice N        runs the programs at this niceness
#   --timeout S     a run still going after S seconds is killed and counts as failed (default 900)
#   --out DIR       keeps each failed run's output here (default build/repeat-tests)
# Prints one line a run that failed, with the tests that failed in it, then one line a program;
# the last line is "repeat-tests: N passed, N failed" over all runs; exits 1 when any run failed.
set -euo pipefail

build=build/rel runs=20 repeat=1 filter="" cores="" loops=0 niceness="" run_timeout=900 out=""
usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2; }
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --repeat) repeat=$2; shift 2 ;;
    --filter) filter=$2; shift 2 ;;
    --cores) cores=$2; shift 2 ;;
    --loops) loops=$2; shift 2 ;;
    --nice) niceness=$2; shift 2 ;;
    --timeout) run_timeout=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    -h | --help) usage ;;
    -*) echo "repeat-tests: unknown option $1" >&2; usage ;;
    *) break ;;
  esac
done
[ $# -gt 0 ] || usage
[ "$loops" -eq 0 ] || [ -n "$cores" ] || { echo "repeat-tests: --loops needs --cores" >&2; exit 2; }
build=$(cd "$build" && pwd)
out=${out:-$build/repeat-tests}
mkdir -p "$out"

# The command and environment ctest runs a program with: "C ARGUMENT" lines, then "E NAME=VALUE" lines.
describe() {
  (cd "$build" && ctest --show-only=json-v1) | python3 -c '
import json, sys
name = sys.argv[1]
for test in json.load(sys.stdin)["tests"]:
    if test["name"] == name:
        for argument in test["command"]:
            print("C " + argument)
        for prop in test.get("properties", []):
            if prop["name"] == "ENVIRONMENT":
                for entry in prop["value"]:
                    print("E " + entry)
        sys.exit(0)
sys.exit("repeat-tests: no test program named %s in %s" % (name, sys.argv[2]))
' "$1" "$build"
}

busy=()
stop_loops() { local p; for p in "${busy[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap stop_loops EXIT
trap 'exit 143' INT TERM
for _ in $(seq "$loops"); do taskset -c "$cores" sh -c 'while :; do :; done' & busy+=($!); done

pin=() gentle=()
[ -z "$cores" ] || pin=(taskset -c "$cores")
[ -z "$niceness" ] || gentle=(nice -n "$niceness")
gtest_args=("--gtest_repeat=$repeat")
[ -z "$filter" ] || gtest_args+=("--gtest_filter=$filter")

total_passed=0 total_failed=0
summaries=()
for program in "$@"; do
  description=$(describe "$program")
  mapfile -t command < <(sed -n 's/^C //p' <<<"$description")
  mapfile -t environment < <(sed -n 's/^E //p' <<<"$description")
  passed=0 failed=0
  for run in $(seq "$runs"); do
    home=$(mktemp -d)
    log="$out/$program.run$run.log"
    status=0
    (cd "$build" && env "${environment[@]}" HOME="$home" XDG_CONFIG_HOME="$home/.config" \
      XDG_DATA_HOME="$home/.local/share" XDG_CACHE_HOME="$home/.cache" XDG_STATE_HOME="$home/.local/state" \
      TMPDIR="$home" timeout -k 10 "$run_timeout" "${gentle[@]}" "${pin[@]}" "${command[@]}" "${gtest_args[@]}") \
      >"$log" 2>&1 </dev/null || status=$?
    rm -rf "$home"
    if [ "$status" -eq 0 ]; then
      passed=$((passed + 1))
      rm -f "$log"
    else
      failed=$((failed + 1))
      names=$(sed -nE 's/^\[  FAILED  \] ([A-Za-z0-9_/]+\.[A-Za-z0-9_/]+) \(.*$/\1/p' "$log" | sort | uniq -c |
        awk '{printf "%s%s%s", sep, $2, ($1 > 1 ? " x" $1 : ""); sep=", "}')
      [ "$status" -ne 124 ] || names="timed out after ${run_timeout} s${names:+; $names}"
      printf 'repeat-tests: %s run %d failed (status %d): %s; output in %s\n' "$program" "$run" "$status" \
        "${names:-no test named}" "$log"
    fi
  done
  printf 'repeat-tests: %s: %d of %d runs passed\n' "$program" "$passed" "$runs"
  summaries+=("$program $passed/$runs")
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
done
where="alone"
[ -z "$cores" ] || where="on cores $cores beside $loops busy loops"
[ -z "$niceness" ] || where+=", at nice $niceness"
printf 'repeat-tests: %s, %d processes a program, --gtest_repeat=%d%s: %s\n' "$where" "$runs" "$repeat" \
  "${filter:+, --gtest_filter=$filter}" "${summaries[*]}"
printf 'repeat-tests: %d passed, %d failed\n' "$total_passed" "$total_failed"
[ "$total_failed" -eq 0 ]
