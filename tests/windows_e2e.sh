#!/bin/sh
# End-to-end runs of the Windows program under Wine, each in namespaces of its own against the
# loopback test server of the Linux build. Exits 77 (skipped) without that server.
#   tests/windows_e2e.sh SNTP_CLIENT_EXE NTP_TEST_SERVER
exe=$(realpath "$1") server=$2 here=$(realpath "$(dirname "$0")")
[ -x "$server" ] || { echo "skipped: no test server at $server (build the default preset)"; exit 77; }
server=$(realpath "$server")
failures=0

# run SERVERS ENVIRONMENT: starts each test server ("PORT [OFFSET [DELAY]]", comma-separated),
# runs the program with the environment, and prints its report without the CRs.
run() {
    "$here/in_netns.sh" sh -c '
        servers=
        IFS=,; for args in $1; do IFS=" "; $2 $args >/dev/null & servers="$servers $!"; done
        sleep 0.2
        env $3 "$4/wine_run.sh" "$5" 2>/dev/null
        [ -z "$servers" ] || kill $servers' sh "$1" "$server" "$2" "$here" "$exe" | tr -d '\r'
}

# expect NAME REPORT PATTERN...: each extended regular expression matches a whole line.
expect() {
    name=$1 report=$2
    shift 2
    for pattern; do
        printf '%s\n' "$report" | grep -Eqx "$pattern" && continue
        failures=$((failures + 1))
        printf 'FAILED %s: no line "%s" in\n%s\n' "$name" "$pattern" "$report"
    done
}

report=$(run "2123 0.25" NTP_SERVER_NAME=127.0.0.1:2123)
expect "an injected offset" "$report" 'Server Name = 127\.0\.0\.1, Port = 2123' \
    ' Version Number \(VN\): 3' 'Local Clock Offset = 0\.2[45][0-9]* \(sec\)' \
    'Standard Time = .* 20[0-9][0-9]'
[ "$(printf '%s\n' "$report" | wc -l)" -eq 24 ] || expect "24 lines" "$report" '24 lines'

report=$(run "" NTP_SERVER_NAME=127.0.0.1:2124)
expect "the time-out" "$report" '## Error ##: Time Out\.' \
    'Standard Time = Thu Jan 0?1 00:00:00 1970'

report=$(run "2123,1024" NTP_SERVER_NAME=127.0.0.1:2123)
expect "port 1024 taken" "$report" '## Error ##: Can NOT setup receive port\.' \
    'Local Clock Offset = .*'

report=$(run "2125 0 2.2" "NTP_SERVER_NAME=127.0.0.1:2125 STATUS_OF_EXECUTION=ADJUST_TIME")
expect "a reply that fails a check" "$report" \
    '## Error ##: Reply rejected \(root distance of 1 second or more\); local time not adjusted\.'

echo "Windows end-to-end: $failures failed"
[ "$failures" -eq 0 ]
