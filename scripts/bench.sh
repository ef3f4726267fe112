#!/usr/bin/env bash
# Measures kavo.exe as a service under Wine beside a reference host (the least
# a service host can be), in the same run with the same hosted program, and
# prints both with their ratio and the goals: start request -> RUNNING, child's
# end -> STOPPED, stop request -> STOPPED after the child's end (medians), and
# what an idle service costs (resident memory, context switches per second),
# read from /proc. Then kavo's alone: kavo.exe's start -> its dialog answers,
# with the service stopped and with it running (the dialog stops it first).
#   scripts/bench.sh BUILD/win32|BUILD/win64
set -eu
win=$(cd "${1:?usage: bench.sh BUILD/win32|BUILD/win64}" && pwd)
# A prefix of its own, so that a test run in the same build tree is not disturbed.
export KAVO_WINE_ROOT="$win/bench-wine"
winerun="$win/winerun"
# The idle service is watched this long (the bench keeps it idle for 30 s).
sample_seconds=8
# Goals: memory at most the reference's + 1 MB; start, child's end and stop at
# most 1.1 times the reference's; no context switch while idle; the dialog
# beside a running service at most 1.1 times kavo's stop and the dialog's own
# start (beside a stopped service).
memory_margin_kb=1024
time_ratio_goal=1.1

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

# Each host's idle service in turn: "idle HOST RSS_KB SWITCHES_PER_S" lines.
# The timed rounds come first and take a quarter of an hour or more on a busy
# machine: the marker is waited for as long as the bench runs, within an hour.
marker_deadline_seconds=3600
idle=""
for host in kavo reference; do
    deadline=$((SECONDS + marker_deadline_seconds))
    marker=""
    while [ -z "$marker" ] && kill -0 "$bench" 2> /dev/null && [ $SECONDS -lt $deadline ]; do
        marker=$(grep -a "^idle-service $host " "$out" || true)
        [ -n "$marker" ] || sleep 0.2
    done
    [ -n "$marker" ] || break
    path=$(echo "$marker" | cut -d' ' -f3- | tr -d '\r')
    if pid=$(find_process "$path"); then
        first=$(context_switches "$pid")
        sleep "$sample_seconds"
        last=$(context_switches "$pid")
        if rss=$(awk '/^VmRSS:/ { print $2 }' /proc/"$pid"/status 2> /dev/null) && [ -n "$rss" ]; then
            rate=$(awk -v a="$first" -v b="$last" -v s="$sample_seconds" 'BEGIN { printf "%.1f", (b - a) / s }')
            idle+="idle $host $rss $rate"$'\n'
        else
            echo "service process of $host ended before its sample was taken" >&2
        fi
    else
        echo "service process of $host not found for $path" >&2
    fi
done
wait "$bench" || { cat "$out" >&2; echo "the bench failed" >&2; exit 1; }

echo
echo "kavo service bench: $win/kavo.exe ($WINEARCH, $("$WINELOADER" --version 2> /dev/null || echo 'Wine ?'))"
echo "against the reference host $win/reference_host.exe, same run, same hosted program"
echo "kavo.exe size: $(stat -c %s "$win/kavo.exe") bytes; reference_host.exe: $(stat -c %s "$win/reference_host.exe") bytes"
echo
{ tr -d '\r' < "$out" | grep -a '^measure '; printf '%s' "$idle"; } | awk -v margin="$memory_margin_kb" -v goal="$time_ratio_goal" '
    $1 == "measure" { median[$2, $3] = $4; range[$2, $3] = sprintf("%s-%s, %s runs", $5, $6, $7) }
    $1 == "idle" { median["memory", $2] = $3; median["switches", $2] = $4 }
    function row(key, label, unit, verdict,    k, r, ratio) {
        k = median[key, "kavo"]; r = median[key, "reference"]
        if (k == "" || r == "") { printf "%-36s %s\n", label, "no data"; return }
        ratio = (r > 0) ? sprintf("%.2f", k / r) : "-"
        printf "%-36s %12s %12s %7s   %s\n", label, k " " unit, r " " unit, ratio, verdict
    }
    function time_goal(key) {
        return (median[key, "kavo"] <= goal * median[key, "reference"]) ? "met (<= " goal " x)" : "NOT met (<= " goal " x)"
    }
    END {
        printf "%-36s %12s %12s %7s   %s\n", "measure (median)", "kavo", "reference", "ratio", "goal"
        row("start", "start request -> RUNNING", "ms", time_goal("start"))
        row("child-end", "child'"'"'s end -> STOPPED", "ms", time_goal("child-end"))
        row("stop", "stop request -> child ended, STOPPED", "ms", time_goal("stop"))
        row("memory", "resident memory, idle", "kB",
            (median["memory", "kavo"] <= median["memory", "reference"] + margin) ? "met (<= reference + 1 MB)" : "NOT met (<= reference + 1 MB)")
        row("switches", "context switches/s, idle", "/s", (median["switches", "kavo"] == 0) ? "met (0)" : "NOT met (0)")
        print ""
        split("start child-end stop", keys, " ")
        for (i = 1; i <= 3; i++)
            printf "range of %-27s kavo %s ms (%s); reference %s ms (%s)\n", keys[i], "min-max", range[keys[i], "kavo"], "min-max", range[keys[i], "reference"]

        print ""
        printf "%-74s %10s   %s\n", "kavo alone (median)", "kavo", "goal"
        stopped = median["dialog-stopped", "kavo"]; running = median["dialog-running", "kavo"]; stop = median["stop", "kavo"]
        printf "%-74s %10s\n", "kavo.exe start -> dialog usable, its service stopped", stopped " ms"
        if (running == "" || stopped == "" || stop == "")
            printf "%-74s %10s\n", "kavo.exe start -> dialog usable while its service runs a program that closes at once", "no data"
        else
            printf "%-74s %10s   %s\n", "kavo.exe start -> dialog usable while its service runs a program that closes at once",
                running " ms", (running <= goal * (stop + stopped)) ? "met (<= " goal " x (stop " stop " + dialog " stopped "))" : "NOT met (<= " goal " x (stop " stop " + dialog " stopped "))"
        printf "range of dialog, service stopped: %s ms; service running: %s ms\n", range["dialog-stopped", "kavo"], range["dialog-running", "kavo"]
    }'
