#!/usr/bin/env bash
# Runs a build tree's whole test suite N times, each on a fresh Wine prefix
# (the suite's first test makes one), and prints how often each test failed.
#   tests/repeat.sh BUILD_DIR N [JOBS]
# The output of every failed run is kept in BUILD_DIR/repeat/run-K.log.
set -u
build=${1:?usage: tests/repeat.sh BUILD_DIR N [JOBS]}
count=${2:?usage: tests/repeat.sh BUILD_DIR N [JOBS]}
jobs=${3:-2}
logs="$build/repeat"
rm -rf "$logs"
mkdir -p "$logs"
declare -A failures=()
failed_runs=0
start=$SECONDS
for run in $(seq 1 "$count"); do
    run_start=$SECONDS
    if (cd "$build" && ctest -j "$jobs" --output-on-failure) > "$logs/run-$run.log" 2>&1; then
        echo "run $run of $count: passed ($((SECONDS - run_start)) s)"
        rm -f "$logs/run-$run.log"
        continue
    fi
    failed_runs=$((failed_runs + 1))
    # CTest lists the failed tests as "NUMBER:NAME", one a line.
    names=$(cut -d: -f2- "$build/Testing/Temporary/LastTestsFailed.log" 2> /dev/null)
    echo "run $run of $count: FAILED ($((SECONDS - run_start)) s): $(echo $names) (see $logs/run-$run.log)"
    for name in $names; do
        failures[$name]=$((${failures[$name]:-0} + 1))
    done
done
echo
echo "$count runs of $build in $((SECONDS - start)) s; $failed_runs failed"
for name in "${!failures[@]}"; do
    echo "  ${failures[$name]} of $count: $name"
done | sort -rn -k1,1
[ "$failed_runs" -eq 0 ]
