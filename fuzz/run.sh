#!/usr/bin/env bash
# Runs fuzz targets for a bounded time each and prints what they did.
#   fuzz/run.sh BINARY_DIR SECONDS [TARGET...]
# Seeds come from fuzz/corpus/TARGET (never written); what the fuzzer finds goes
# to BINARY_DIR/corpus/TARGET, crashes to BINARY_DIR/crashes. When every target
# runs and the coverage builds exist (make fuzz builds them), the line coverage
# of the portable core reached by the corpora is reported too.
set -u
here=$(cd "$(dirname "$0")" && pwd)
bin=$1
seconds=$2
shift 2
targets=("$@")
# The coverage report is for a run of every target (make fuzz), not for the short runs of the tests.
report_coverage=0
if [ ${#targets[@]} -eq 0 ]; then
    targets=(paths text decimal launch mutex_name profile_value write_access command_line program_checks)
    report_coverage=1
fi

# Long enough for two fields past 259 bytes each, plus the size bytes.
max_len=1100
status=0
mkdir -p "$bin/crashes"
printf '%-11s %12s %8s %6s %6s %8s %s\n' target executions exec/s edges features corpus result
for target in "${targets[@]}"; do
    work="$bin/corpus/$target"
    log="$bin/fuzz-$target.log"
    mkdir -p "$work"
    "$bin/fuzz_$target" -max_total_time="$seconds" -max_len=$max_len -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$bin/crashes/$target-" "$work" "$here/corpus/$target" \
        > "$log" 2>&1
    result=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    done_line=$(grep -E '^#[0-9]+[[:space:]]+(DONE|INITED)' "$log" | tail -n 1)
    edges=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<< "$done_line")
    features=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<< "$done_line")
    corpus=$(find "$work" -type f | wc -l)
    if [ $result -eq 0 ]; then verdict=clean; else verdict="FAILED (see $log)"; status=1; fi
    printf '%-11s %12s %8s %6s %6s %8s %s\n' "$target" "${runs:-?}" "${speed:-?}" "${edges:-?}" \
        "${features:-?}" "$corpus" "$verdict"
    if [ $result -ne 0 ]; then
        grep -E 'ERROR|property failed|runtime error|Test unit written' "$log" | head -n 20
    fi
done

# Line and branch coverage of the portable core, from the corpora.
if [ $report_coverage -eq 1 ] && command -v llvm-profdata-14 > /dev/null && [ -x "$bin/fuzz_${targets[0]}_coverage" ]; then
    profiles=()
    for target in "${targets[@]}"; do
        LLVM_PROFILE_FILE="$bin/coverage-$target.profraw" "$bin/fuzz_${target}_coverage" -runs=0 \
            "$bin/corpus/$target" "$here/corpus/$target" > /dev/null 2>&1
        profiles+=("$bin/coverage-$target.profraw")
    done
    llvm-profdata-14 merge -o "$bin/coverage.profdata" "${profiles[@]}"
    objects=()
    for target in "${targets[@]:1}"; do objects+=(-object "$bin/fuzz_${target}_coverage"); done
    echo
    echo "coverage of the portable core by the fuzz corpora:"
    llvm-cov-14 report "$bin/fuzz_${targets[0]}_coverage" "${objects[@]}" \
        -instr-profile="$bin/coverage.profdata" "$here/../src" 2> /dev/null
    echo
fi
exit $status
