#!/bin/bash
# End-to-end: the real program run as a child process against the loopback test server, its
# report read line by line. Run it inside tests/in_netns.sh. A Windows program (*.exe) runs
# under Wine (tests/wine_run.sh), in the rows before a group's "linux || return". With
# SNTP_TEST_VALGRIND the client runs under memcheck; SNTP_TEST_CHRONYD names a chronyd.
#   tests/e2e.sh CLIENT GROUP...   (exit 77: skipped)
set -u -o pipefail
client=$(realpath "$1") here=$(realpath "$(dirname "$0")")
shift
work=$(mktemp -d) servers= failed=0 valgrind= slack=0.05
trap 'kill $servers 2>/dev/null; rm -rf "$work"' EXIT
[ -z "${SNTP_TEST_VALGRIND:-}" ] || slack=0.5 \
    valgrind="valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite"
# No run here may set the clock: the user namespace is not the machine's and the runs lose
# CAP_SYS_TIME.
cap=$(setpriv --bounding-set=-sys_time grep CapEff /proc/self/status | cut -f2)
if grep -qE '^ +0 +0 +4294967295$' /proc/self/uid_map || ((0x$cap >> 25 & 1)); then
    echo "refusing to run: this process could set the clock" && exit 1
fi

fail() { failed=$((failed + 1)) && printf 'FAILED %s\n%s\n' "$1" "$out"; }
linux() { [[ $client != *.exe ]]; }

# serve ADDRESS PORT [OPTION...]: a test server in the background; received: the requests it got.
serve() {
    : >"$work/log" # emptied before the server starts, so that no earlier "ready" counts
    "$here/ntp_test_server.py" "$@" >>"$work/log" &
    servers="$servers $!"
    timeout 5 sh -c 'until grep -q ready "$0"; do sleep 0.01; done' "$work/log" ||
        { echo "gave up waiting for the test server $*" && exit 1; }
}
stop() { kill $servers && wait $servers 2>/dev/null; servers=; }
received() { tail -n +2 "$work/log"; }

# launch VARIABLE=VALUE...: the Linux client with only that environment and TZ=UTC, unable to
# set the clock.
launch() { setpriv --bounding-set=-sys_time -- env -i TZ=UTC "$@" $valgrind "$client"; }

# run VARIABLE=VALUE...: the client, the report (without CRs) in $out, the status in $status,
# the time in $ms. against 'ADDRESS PORT [OPTION...]' VARIABLE=VALUE...: the same against a test
# server.
run() {
    local start=$(date +%s%N)
    out=$(if linux; then launch "$@" 2>&1; else
        env "$@" "$here/wine_run.sh" "$client" 2>/dev/null | tr -d '\r'; fi)
    status=$? ms=$((($(date +%s%N) - start) / 1000000))
}
against() { serve $1; run "${@:2}"; stop; }

# has NAME PATTERN...: the run ended with 0, and each extended regular expression matches a
# whole line. only NAME PATTERN...: and there is no other line.
has() {
    [ "$status" -eq 0 ] || fail "$1: status $status"
    for pattern in "${@:2}"; do grep -Eqx -- "$pattern" <<<"$out" || fail "$1: no $pattern"; done
}
only() { has "$@" && [ "$(wc -l <<<"$out")" -eq $(($# - 1)) ] || fail "$1: other lines"; }

# complete NAME [PATTERN]: status 0 and a whole report, 24 lines from the server line to the
# corrected time, the lines "## ..." aside (what each says is the in-process tests' to check);
# PATTERN, when given, the line right after the offset's.
complete() {
    [ "$status" -eq 0 ] || fail "$1: status $status"
    [ "$(grep -vc '^## ' <<<"$out")" -eq 24 ] && [[ $out =~ ^Server\ Name.*Standard\ Time ]] ||
        fail "$1: not a whole report"
    [ $# -eq 1 ] || [[ $(sed -n '/^Local Clock Offset/{n;p}' <<<"$out") =~ ^($2)$ ]] || fail "$1"
}

value() { sed -n "s/^ *$1 *[=:] *\([^ ,]*\).*/\1/p" <<<"$out"; }
# near A B MOST: the numbers, or expressions, A and B differ by MOST at most.
near() { awk "BEGIN { d = ($1) - ($2); exit !(d <= $3 && -d <= $3) }" 2>/dev/null; }

# run_offset OFFSET DELAY: against a server injecting them, the report tells both (the offset
# off by at most half the delay, and the printing), and the corrected time falls within the run.
run_offset() {
    local before=$(date +%s)
    run NTP_SERVER_NAME=127.0.0.1:2123
    complete "offset $1"
    local delay=$(value 'Roundtrip Delay') standard=$(sed -n 's/^Standard Time = //p' <<<"$out")
    near "$delay" "$2" "$slack" &&
        near "$(value 'Local Clock Offset')" "$1" "${delay#-}/2+0.00002" || fail "offset $1 ($2)"
    linux || return 0
    near "$(date -u -d "$standard" +%s)" "$before+$1+$ms/2000" "$ms/2000+1" || fail "standard time"
}

offsets() {
    for injected in "0.25 0" "-86400.5 0.2"; do
        serve 127.0.0.1 2123 offset=${injected% *} delay=${injected#* }
        run_offset $injected
        stop
    done
    linux && return
    # The batch file for Windows' task scheduler, run by Wine's cmd, but only to report: it
    # appends the report, dated, to the log beside it.
    cp "$client" "$work/" && sed 's/=ADJUST_TIME/=REPORT_ONLY/' "$here/../contrib/sntp-client.cmd" \
        >"$work/sntp-client.cmd"
    serve 127.0.0.1 2123 offset=0.25
    "$here/wine_run.sh" cmd /c "Z:${work//\//\\}\\sntp-client.cmd" 127.0.0.1:2123 >/dev/null 2>&1
    status=$? out=$(tr -d '\r' <"$work/sntp-client.log")
    stop
    has "batch file" '==== .*[0-9]{4}.* [0-9]+:[0-9]{2}.*' 'Local Clock Offset = 0\.2[0-9]* \(sec\)'
}

# Against one server, again and again: SNTP_SOAK_RUNS runs (1000).
soak() {
    serve 127.0.0.1 2123 offset=0.25
    for ((i = 0; i < ${SNTP_SOAK_RUNS:-1000}; ++i)); do run_offset 0.25 0; done
    stop
}

REPORTED='System   Time = .*'
rejected() { echo "## Error ##: Reply rejected \($1\); local time not adjusted\."; }

# check 'SERVER_OPTIONS' STATUS OFFSET PATTERN [IPV6_ADDRESS]: against a server with those
# options, a run with that status reports OFFSET (to 0.1 s), with PATTERN right after it.
check() {
    local address=${5:-127.0.0.1}
    against "$address 2123 $1" "NTP_SERVER_NAME=${5:+[}$address${5:+]}:2123" \
        "STATUS_OF_EXECUTION=$2"
    complete "$1, '$2'" "$4"
    near "$(value 'Local Clock Offset')" "$3" 0.1 || fail "$1, '$2': offset"
}

# Asked to set the clock, a run passes over datagrams that do not answer its request; asked
# for anything else, it only reports, and takes the first datagram. Either way it hears only the
# server's port.
checks() {
    check delay=2.2 ADJUST_TIME 0 "$(rejected 'root distance of 1 second or more')"
    linux || return 0
    check "" adjust_time 0 "$REPORTED"
    check "" "ADJUST_TIME " 0 "$REPORTED"
    check forged=1 "" 3600 "$REPORTED"
    check forged=100 ADJUST_TIME 0 "## Error ##: Can NOT Adujust time\\."
    # No datagram answers: after the whole wait, the first is reported and rejected.
    check "forged=2 other_port" ADJUST_TIME 3600 \
        "$(rejected "originate timestamp is not our request's")" ::1
    [ "$ms" -ge 2950 ] || fail "no answer: $ms ms"
    against "127.0.0.1 2123 other_port" NTP_SERVER_NAME=127.0.0.1:2123
    only "another port" 'Server Name = 127\.0\.0\.1, Port = 2123' '## Error ##: Time Out\.' "$EPOCH"
}

# request TEXT ADDRESS PORT SHOWN: the request reaches the server at ADDRESS, PORT: 48 bytes
# from port 1024, mode 3 version 3, the transmit time not the send time; the server line shows
# the name as SHOWN (an extended regular expression).
request() {
    against "$2 $3" "NTP_SERVER_NAME=$1"
    has "$1" "Server Name = $4, Port = $3"
    local request=$(received)
    [[ $request =~ ^1024\ 1b0{78}([0-9a-f]{8})[0-9a-f]{8}$ ]] &&
        ! near $((0x${BASH_REMATCH[1]} - 2208988800)) "$(date +%s)" 10 || fail "request: $request"
    nonces="${nonces:-}${request: -16}"$'\n'
}

requests() {
    request localhost:70000 127.0.0.1 4464 localhost
    request "127.0.0.1:126$(printf 'x%.0s' {1..242})" 127.0.0.1 126 '127\.0\.0\.1'
    # An address ends at the newline (inet_aton); the rest must not become a line of its own,
    # nor act on the terminal (CSI and NEL in UTF-8), but é stays readable.
    request $'127.0.0.2\n## INFO. ## Adjusted Local Time.\302\233\302\205é\\:127' 127.0.0.2 127 \
        '127\.0\.0\.2\\x0a## INFO\. ## Adjusted Local Time\.\\xc2\\x9b\\xc2\\x85é\\\\'
    request [::1]:128 ::1 128 ::1
    request v6only.test:129 fd00:5eed::1 129 'v6only\.test'
    # This machine has an IPv6 address but no IPv4 one, other than loopback.
    request dual.test:130 fd00:5eed::1 130 'dual\.test'
    # Each of the eight transmit bytes varies from run to run.
    for i in 1 3 5 7 9 11 13 15; do
        [ "$(cut -c$i-$((i + 1)) <<<"$nonces" | sort -u | wc -l)" -gt 2 ] || fail "nonces $nonces"
    done
}

EPOCH='Standard Time = Thu Jan (0| )1 00:00:00 1970'
NO_NAME='## Error ##: Can NOT get Server address from name\.'

# Each failure prints its line and the epoch, and the run still ends with 0.
failures() {
    against "127.0.0.1 1024" NTP_SERVER_NAME=127.0.0.1:1024 # the server holds the client's port
    complete "port 1024 taken"
    has "port 1024 taken" '## Error ##: Can NOT setup receive port\.'
    [[ $(received) != 1024\ * ]] || fail "port 1024 taken: the request came from it"
    # Nothing listens there: the port unreachable that answers the request ends no wait.
    run NTP_SERVER_NAME=127.0.0.1:2124
    only "time-out" 'Server Name = 127\.0\.0\.1, Port = 2124' '## Error ##: Time Out\.' "$EPOCH"
    [ "$ms" -ge 2950 ] && [ "$ms" -lt 5000 ] || fail "time-out after $ms ms"
    linux || return 0
    run TZ=America/New_York
    only "no name" 'Server Name = pool\.ntp\.org, Port = 123' "$NO_NAME" \
        'Standard Time = Wed Dec 31 19:00:00 1969'
    # Not read as an address, it resolves to the broadcast address, where a send is refused.
    run NTP_SERVER_NAME=255.255.255.255
    only "broadcast" 'Server Name = 255\.255\.255\.255, Port = 123' \
        '## Error ##: NTP Packet Send Error\.' "$EPOCH"
    run "NTP_SERVER_NAME=127.0.0.1:124$(printf 'x%.0s' {1..243})"
    only "256 characters" '## Error ##: Server name longer than 255 characters\.' "$EPOCH"
}

# A report that cannot be written is told on standard error, and no socket takes the place of
# a closed standard output.
streams() {
    for redirect in '>&-' '>/dev/full' '| :'; do
        serve 127.0.0.1 2123
        out=$(eval "{ launch NTP_SERVER_NAME=127.0.0.1:2123 STATUS_OF_EXECUTION=ADJUST_TIME \
            2>&3 $redirect; } 3>&1")
        stop
        status=0 only "$redirect" \
            '## Error ##: The report could not be written to standard output\.'
        [[ $(received) =~ ^1024\ [0-9a-f]{96}$ ]] || fail "$redirect: $(received)"
    done
}

# Set-user-ID, the program reads none of its caller's environment.
privileges() {
    [ "$(awk '{ print $3 }' /proc/self/uid_map)" -gt 1000 ] && [ -z "$valgrind" ] ||
        { echo "skipped: needs other users in the namespace (run as root), no valgrind"; exit 77; }
    local client=$work/setuid
    chmod 755 "$work" && cp "$1" "$client" && chown 1000 "$client" && chmod 4755 "$client"
    serve 127.0.0.1 2123
    # Standard error is set aside: in the sanitized build, LeakSanitizer fails set-user-ID.
    out=$(launch NTP_SERVER_NAME=127.0.0.1:2123 STATUS_OF_EXECUTION=ADJUST_TIME 2>/dev/null)
    status=0
    stop
    only "set-user-ID" 'Server Name = pool\.ntp\.org, Port = 123' "$NO_NAME" "$EPOCH"
}

# A real server: chronyd on loopback, with control of the clock disabled (-x). It answers a
# version 3 request in version 3, with its local stratum and reference, echoing the request's
# transmit bytes; T3 is its transmit time. Both clocks are this machine's: T1 to T4 come in
# order, and the offset is the asymmetry of the two legs, at most half the delay.
chrony() {
    [ -x "${SNTP_TEST_CHRONYD:-}" ] || { echo "skipped: no chronyd in SNTP_TEST_CHRONYD"; exit 77; }
    printf '%s\n' "port 11123" "cmdport 0" "local stratum 8" allow "pidfile $work/pid" >"$work/conf"
    "$SNTP_TEST_CHRONYD" -x -d -u root -f "$work/conf" 2>/dev/null &
    servers=$!
    timeout 5 sh -c "until [ \$(ss -Huln 'sport = 11123' | wc -l) -ge 2 ]; do sleep 0.05; done" ||
        { echo "gave up waiting for chronyd on port 11123" && exit 1; }
    for address in 127.0.0.1 [::1]; do
        run NTP_SERVER_NAME=$address:11123
        complete "chronyd at $address"
        local delay=$(value 'Roundtrip Delay')
        [ "$(value 'Transmit  Timestamp')" = "$(value T3)" ] &&
            awk "BEGIN { exit !($(value T1) <= $(value T2) && $(value T3) <= $(value T4)) }" &&
            near "$delay" "$slack/2" "$slack/2" &&
            near "$(value 'Local Clock Offset')" 0 "0.0002+$delay/2" || fail "chronyd: times"
    done
    stop
}

for group; do "$group" "$client"; done
echo "$*: $failed failed"
[ "$failed" -eq 0 ]
