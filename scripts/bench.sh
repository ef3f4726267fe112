#!/usr/bin/env bash
# Measures kavo.exe as a service under Wine and prints a table: how soon a
# child's end and a stop request become STOPPED, the program file's size, and
# what an idle service costs (resident memory, context switches per second),
# read from /proc while the service hosts an idle child.
#   scripts/bench.sh BUILD/win32|BUILD/win64
set -eu
win=$(cd "${1:?usage: bench.sh BUILD/win32|BUILD/win64}" && pwd)
# A prefix of its own, so that a test run in the same build tree is not disturbed.
export KAVO_WINE_ROOT="$win/bench-wine"
winerun="$win/winerun"
# The idle service is watched this long (the bench keeps it idle for 10 s).
sample_seconds=8

"$winerun" up || exit 1
trap '"$winerun" down' EXIT
eval "$("$winerun" env)"
out="$KAVO_WINE_ROOT/bench.out"
"$winerun" run "$win/kavo_bench.exe" > "$out" 2>&1 &
bench=$!

# The Unix process whose command line starts with the given Windows path.
find_process() {
    local path=$1 pid line
    for pid in /proc/[0-9]*; do
        line=$({ tr '\0' '\n' < "$pid/cmdline"; } 2> /dev/null | head -n 1) || continue
        if [ "$line" = "$path" ]; then
            echo "${pid#/proc/}"
            return 0
        fi
    done
    return 1
}

# Voluntary and involuntary context switches of all threads of a process.
context_switches() {
    cat /proc/"$1"/task/*/status 2> /dev/null |
        awk '/^(voluntary|nonvoluntary)_ctxt_switches:/ { sum += $2 } END { print sum + 0 }'
}

idle_rows=""
deadline=$((SECONDS + 300))
while kill -0 "$bench" 2> /dev/null && [ $SECONDS -lt $deadline ]; do
    marker=$(grep -a '^idle-service ' "$out" || true)
    if [ -n "$marker" ]; then
        path=$(echo "$marker" | cut -d' ' -f3- | tr -d '\r')
        if pid=$(find_process "$path"); then
            first=$(context_switches "$pid")
            sleep "$sample_seconds"
            last=$(context_switches "$pid")
            rss=$(awk '/^VmRSS:/ { print $2, $3 }' /proc/"$pid"/status)
            rate=$(awk -v a="$first" -v b="$last" -v s="$sample_seconds" 'BEGIN { printf "%.1f", (b - a) / s }')
            idle_rows=$(printf '%-52s %s\n%-52s %s' "service process resident memory (idle child)" "$rss" \
                "service process context switches/s (idle child)" "$rate over ${sample_seconds} s")
        else
            idle_rows="service process not found for $path"
        fi
        break
    fi
    sleep 0.2
done
wait "$bench" || { cat "$out" >&2; echo "the bench failed" >&2; exit 1; }

echo
echo "kavo service bench: $win/kavo.exe ($WINEARCH, $("$WINELOADER" --version 2> /dev/null || echo 'Wine ?'))"
tr -d '\r' < "$out" | grep -a -v -e '^idle-service' -e '^\[' -e '^Running main' -e '^Note:' -e '^$'
echo "$idle_rows"
