#!/bin/bash
# Soak: 1000 runs of the client against the loopback test server, each report complete and its
# offset right; then 120 runs asking to set the clock (which this namespace forbids) against a
# server that spoils every third answer, by turns random bytes and silence: each run must end
# in time with the one line its answer calls for. Run inside tests/in_netns.sh.
#   tests/soak.sh CLIENT TEST_SERVER [GOOD_RUNS [SPOILED_RUNS]]
set -u
client=$1 server=$2 good_runs=${3:-1000} spoiled_runs=${4:-120}
failures=0 slowest=0

fail() { failures=$((failures + 1)); echo "run $1: $2" >&2; }

# Runs the client once; sets $out and $ms (wall time in milliseconds).
run_client() {
    local start=$(date +%s%N)
    out=$(setpriv --bounding-set=-sys_time -- env -i TZ=UTC "$@" timeout 10 "$client")
    ms=$(( ($(date +%s%N) - start) / 1000000 ))
    [ "$ms" -gt "$slowest" ] && slowest=$ms
}

"$server" 2123 0.25 & good=$!
"$server" 2124 0 0 3 & spoiling=$!
trap 'kill $good $spoiling' EXIT
sleep 0.2

for i in $(seq 1 "$good_runs"); do
    run_client NTP_SERVER_NAME=127.0.0.1:2123
    lines=$(printf '%s\n' "$out" | wc -l)
    offset=$(printf '%s\n' "$out" | sed -n 's/^Local Clock Offset = \(.*\) (sec)$/\1/p')
    delay=$(printf '%s\n' "$out" | sed -n 's/^Roundtrip Delay    = \(.*\) (sec)$/\1/p')
    # Off by at most half the delay, plus the millisecond truncation of T1 and T4.
    if [ "$lines" -ne 24 ] || printf '%s\n' "$out" | grep -q '^## ' ||
        ! awk -v o="$offset" -v d="$delay" 'BEGIN { e = o - 0.25; if (e < 0) e = -e;
            if (d < 0) d = -d; exit !(e <= d / 2 + 0.0015) }'; then
        fail "$i" "incomplete or wrong report: $(printf '%s' "$out" | tr '\n' '|')"
    fi
done
echo "good server: $good_runs runs, $failures failures, slowest ${slowest} ms"

spoiled_failures=$failures
for i in $(seq 1 "$spoiled_runs"); do
    run_client NTP_SERVER_NAME=127.0.0.1:2124 STATUS_OF_EXECUTION=ADJUST_TIME
    case $(( i % 3 ))/$(( i / 3 % 2 )) in
        0/1) expected='^## Error ##: Reply rejected (.*); local time not adjusted\.$' ;;
        0/0) expected='^## Error ##: Time Out\.$' ;;
        *) expected='^## Error ##: Can NOT Adujust time\.$' ;;
    esac
    if [ "$(printf '%s\n' "$out" | grep -c '^## ')" -ne 1 ] ||
        ! printf '%s\n' "$out" | grep -q "$expected" || [ "$ms" -gt 3500 ] ||
        ! printf '%s\n' "$out" | grep -q '^Standard Time = '; then
        fail "$i" "expected $expected in ${ms} ms: $(printf '%s' "$out" | tr '\n' '|')"
    fi
done
echo "spoiling server: $spoiled_runs runs, $((failures - spoiled_failures)) failures, slowest ${slowest} ms"
[ "$failures" -eq 0 ]
