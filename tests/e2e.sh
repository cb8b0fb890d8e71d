#!/bin/bash
# End-to-end: the real program run as a child process against the loopback test server, its
# report read line by line. Run it inside tests/in_netns.sh. A Windows program (*.exe) runs
# under Wine (tests/wine_run.sh), in the rows before a group's "linux || return". With
# SNTP_TEST_VALGRIND the client runs under memcheck, with SNTP_TEST_EMULATOR (an ARM board's
# program) under that user-mode emulator; SNTP_TEST_CHRONYD names a chronyd.
#   tests/e2e.sh CLIENT GROUP...   (exit 77: skipped)
set -u -o pipefail
client=$(realpath "$1") here=$(realpath "$(dirname "$0")")
shift
work=$(mktemp -d) servers= failed=0 valgrind= slack=0.05
emulator=${SNTP_TEST_EMULATOR:+$(command -v "$SNTP_TEST_EMULATOR")}
trap 'kill $servers 2>/dev/null; rm -rf "$work"' EXIT
[ -z "${SNTP_TEST_VALGRIND:-}" ] || slack=0.5 \
    valgrind="$(command -v valgrind) -q --error-exitcode=99 --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite"
# No run here may set the clock: the user namespace is not the machine's and the runs lose
# CAP_SYS_TIME.
cap=$(setpriv --bounding-set=-sys_time grep CapEff /proc/self/status | cut -f2)
if grep -qE '^ +0 +0 +4294967295$' /proc/self/uid_map || ((0x$cap >> 25 & 1)); then
    echo "refusing to run: this process could set the clock" && exit 1
fi

fail() { failed=$((failed + 1)) && printf 'FAILED %s\n%s\n' "$1" "$out"; }
linux() { [[ $client != *.exe ]]; }

# spawn PROGRAM ARGUMENT...: a test server in the background, once it says "ready"; serve
# ADDRESS PORT [OPTION...]: the NTP test server; received: the requests the last one got.
spawn() {
    : >"$work/log" # emptied before the server starts, so that no earlier "ready" counts
    "$@" >>"$work/log" &
    servers="$servers $!"
    timeout 5 sh -c 'until grep -q ready "$0"; do sleep 0.01; done' "$work/log" ||
        { echo "gave up waiting for the test server $*" && exit 1; }
}
serve() { spawn "$here/ntp_test_server.py" "$@"; }
stop() { kill $servers && wait $servers 2>/dev/null; servers=; }
received() { tail -n +2 "$work/log"; }

# launch VARIABLE=VALUE...: the Linux client with only that environment and TZ=UTC, unable to
# set the clock (nor use the capabilities that $drop names, ",-NAME..."); the refused settings
# it asks for, its waits and its sends and receives are traced, timed (which
# LeakSanitizer cannot bear: the sanitized build finds leaks in-process, valgrind's stage end to
# end).
tracer="strace -qq -ttt -T -e trace=clock_settime,poll,ppoll,sendto,recvmsg -o $work/trace"
launch() {
    setpriv --bounding-set=-sys_time${drop:-} -- env -i TZ=UTC ASAN_OPTIONS=detect_leaks=0 "$@" \
        $tracer $valgrind $emulator "$client"
}

# run VARIABLE=VALUE...: the client, the report (without CRs) in $out, the status in $status,
# the time in $ms. against 'ADDRESS PORT [OPTION...]' VARIABLE=VALUE...: the same against a test
# server.
run() {
    started=$(date +%s%N)
    out=$(if linux; then launch "$@" 2>&1; else
        env "$@" "$here/wine_run.sh" "$client" 2>/dev/null | tr -d '\r'; fi)
    status=$? ended=$(date +%s%N)
    ms=$(((ended - started) / 1000000))
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
# corrected time, the lines "## ..." and "NTS..." aside (what each says is the in-process tests' to check);
# PATTERN, when given, the line right after the offset's.
complete() {
    [ "$status" -eq 0 ] || fail "$1: status $status"
    [ "$(grep -Evc '^(## |NTS)' <<<"$out")" -eq 24 ] && [[ $out =~ ^Server\ Name.*Standard\ Time ]] ||
        fail "$1: not a whole report"
    [ $# -eq 1 ] || [[ $(sed -n '/^Local Clock Offset/{n;p}' <<<"$out") =~ ^($2)$ ]] || fail "$1"
    # On Linux, T1 is the kernel's stamp of the request, read off the error queue: it lies
    # between the start of the send and that read, as the trace times them (the clock read
    # before the send would not).
    linux && [ -z "$emulator" ] || return 0
    awk -v t1="$(value T1)" '$2 ~ /^sendto\(/ { sent = $1 } /MSG_ERRQUEUE\) = 0/ { read = $1 }
        END { t1 -= 2208988800; exit !(sent && read && t1 > sent - 1e-6 && t1 < read + 1e-6) }' \
        "$work/trace" || fail "$1: T1 $(value T1) is not the kernel's stamp of the send"
}

# waits NAME MS: the last run waited MS, and no longer. Its wall time proves the wait; on Linux
# the bound is the client's own, from the start of its first wait to the end of its last as
# strace times them, whatever valgrind or a loaded machine adds around them. Wine's runs cannot
# be timed so: their wall time is held to a minute more.
waits() {
    local span=$(awk '$2 ~ /^p?poll\(/ { end = $1 + substr($NF, 2); if (!start) start = $1 }
        END { printf "%d", (end - start) * 1000 }' "$work/trace")
    [ "$ms" -ge $(($2 - 50)) ] || fail "$1: $ms ms"
    if linux; then
        [ "$span" -le $(($2 + 500)) ] || fail "$1: waited $span ms"
    else
        [ "$ms" -lt $(($2 + 60000)) ] || fail "$1: $ms ms"
    fi
}

# json NAME COMMAND...: the last run again (COMMAND, with NTP_REPORT_FORMAT=JSON added) in JSON:
# one strict object, valid against the schema, that says what the text said (times and offsets
# to a minute: another exchange). $out is the text again after it.
json() {
    local text=$out
    "${@:2}" NTP_REPORT_FORMAT=JSON
    printf '%s\n' "$text" >"$work/text" && printf '%s\n' "$out" >"$work/json"
    out=$(/usr/bin/python3 "$here/report_check.py" "$here/../schema/report.schema.json" \
        "$work/text" "$work/json" 60) || fail "$1: the JSON report"
    out=$text
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
}

# Against one server, again and again: SNTP_SOAK_RUNS runs (1000).
soak() {
    serve 127.0.0.1 2123 offset=0.25
    for ((i = 0; i < ${SNTP_SOAK_RUNS:-1000}; ++i)); do run_offset 0.25 0; done
    stop
}

REPORTED='System   Time = .*'
REFUSED='## Error ##: Can NOT Adujust time\.'
rejected() { echo "## Error ##: Reply rejected \($1\); local time not adjusted\."; }

# stepped NAME [OFFSET]: the last run asked the system once to set the clock, to a reading
# taken within the run plus OFFSET (seconds and nanoseconds, to 10 ms); without OFFSET, never.
stepped() {
    linux || return 0
    local asked=$(sed -n 's/^[0-9.]* [a-z_]*.CLOCK_REALTIME, {tv_sec=\([0-9]*\), tv_nsec=\([0-9]*\)}.*/\1 \2/p' \
        "$work/trace")
    [ -z "${2:-}" ] && { [ -z "$asked" ] || fail "$1: asked to set the clock: $asked"; } && return
    awk -v s="${asked% *}" -v n="${asked#* }" -v a="$started" -v b="$ended" -v o="$2" 'BEGIN {
        t = (s - substr(a, 1, 10)) + (n - substr(a, 11)) / 1e9 - o
        exit !(n < 1e9 && t > -0.01 && t < (b - a) / 1e9 + 0.01) }' || fail "$1: set to $asked"
}

# check 'SERVER_OPTIONS' STATUS OFFSET PATTERN [IPV6_ADDRESS]: against a server with those
# options, a run with that status reports OFFSET (to 0.1 s), with PATTERN right after it; asked
# to set the clock, it tries to only where PATTERN says so.
check() {
    local address=${5:-127.0.0.1}
    against "$address 2123 $1" "NTP_SERVER_NAME=${5:+[}$address${5:+]}:2123" \
        "STATUS_OF_EXECUTION=$2"
    complete "$1, '$2'" "$4"
    near "$(value 'Local Clock Offset')" "$3" 0.1 || fail "$1, '$2': offset"
    [ "$2" != ADJUST_TIME ] || stepped "$1" "$([ "$4" != "$REFUSED" ] || echo "$3")"
    json "$1, '$2'" against "$address 2123 $1" "NTP_SERVER_NAME=${5:+[}$address${5:+]}:2123" \
        "STATUS_OF_EXECUTION=$2"
}

# Asked to set the clock, a run passes over datagrams that do not answer its request; asked
# for anything else, it only reports, and takes the first datagram. Either way it hears only the
# server's port.
checks() {
    # A datagram longer than the client reads is passed over, whatever its first bytes say. Wine
    # says it set the clock when asked for less than half a second, and sets nothing.
    check cut ADJUST_TIME 0 "$(linux && echo "$REFUSED" || echo '## INFO\. ## Adjusted Local Time\.')"
    # A time before this program was built is wrong, whoever sends it: reported, never set.
    check offset=-31536000 ADJUST_TIME -31536000 \
        "$(rejected "corrected time before this program's build date [0-9]{4}-[0-9]{2}-[0-9]{2}")"
    linux || return 0
    check "" adjust_time 0 "$REPORTED"
    check forged=1 "" 3600 "$REPORTED"
    check "forged=100 offset=86400.25" ADJUST_TIME 86400.25 "$REFUSED"
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
    request "127.0.0.1:126$(printf 'x%.0s' {1..242})" 127.0.0.1 126 '127\.0\.0\.1'
    # An address ends at the newline (inet_aton); the rest must not become a line of its own,
    # nor act on the terminal (CSI and NEL in UTF-8), but é stays readable.
    request $'127.0.0.2\n## INFO. ## Adjusted Local Time.\302\233\302\205é\\:127' 127.0.0.2 127 \
        '127\.0\.0\.2\\x0a## INFO\. ## Adjusted Local Time\.\\xc2\\x9b\\xc2\\x85é\\\\'
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
    waits "time-out" 3000
    json "time-out" run NTP_SERVER_NAME=127.0.0.1:2124
    # The largest server name, of control bytes and bytes above 0x7F: still one object.
    local strange=$(printf "$(printf '\\%o' $(seq 1 31) $(seq 127 254) $(seq 128 223))")
    run "NTP_SERVER_NAME=$strange"
    json "strange name" run "NTP_SERVER_NAME=$strange"
    # A name server that never answers: the look-up gives up after 5 s.
    spawn python3 -c 'import socket, time; s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 53)); print("ready", flush=True); time.sleep(300)'
    echo "nameserver 127.0.0.1" >"$work/resolv.conf"
    mount --bind "$work/resolv.conf" /etc/resolv.conf || fail "no resolv.conf to stand in for"
    run NTP_SERVER_NAME=silent.test
    umount /etc/resolv.conf
    stop
    only "silent name server" 'Server Name = silent\.test, Port = 123' "$NO_NAME" "$EPOCH"
    waits "silent name server" 5000
    linux || return 0
    run NTP_REPORT_FORMAT=XML
    only "unknown format" \
        '## Error ##: NTP_REPORT_FORMAT must be TEXT, JSON or unset; nothing was sent\.' "$EPOCH"
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

KEY="-newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes"

# certificate NAME SUBJECT SUBJECT_ALT_NAMES [COMMAND...]: NAME.key and NAME.pem, signed by the
# test CA, valid for 2 days from now, or from the time COMMAND (faketime) shows openssl.
certificate() {
    local name=$1 subject=$2 names=$3
    shift 3
    "$@" openssl req $KEY -keyout "$work/$name.key" -subj "/CN=$subject" 2>/dev/null |
        "$@" openssl x509 -req -CA "$work/ca.pem" -CAkey "$work/ca.key" -days 2 \
            -out "$work/$name.pem" -extfile <(echo "subjectAltName=$names") 2>/dev/null
}

# NTS against chronyd: its key exchange on 127.0.0.1:4460 names its NTP server as 127.0.0.2, port
# 11123, where tests/nts_path.py relays to chronyd's own port 11123 on 127.0.0.1, or plays the
# path's tricks; a misbehaving key exchange is tests/nts_path.py's too. The certificates come
# from a CA made here; only nts.test (127.0.0.1 in tests/hosts) and 127.0.0.1 are in the server's.
nts_servers() {
    [ -x "${SNTP_TEST_CHRONYD:-}" ] || { echo "skipped: no chronyd in SNTP_TEST_CHRONYD"; exit 77; }
    for ca in ca other; do
        openssl req -x509 $KEY -days 100 -keyout "$work/$ca.key" -out "$work/$ca.pem" -subj "/CN=$ca"
    done 2>/dev/null
    certificate server nts.test DNS:nts.test,IP:127.0.0.1
    chronyd main 11123 4460 server "ntsntpserver 127.0.0.2"
}
nts() {
    nts_servers
    nts_rows
    kill $started_chronyd
    certificate_dates
}

# A board's program (ARM, emulated): a plain run that reports and one that steps; a server 15
# years ahead, past where a 32-bit time_t ends, whose time is reported and asked for; NTS; and
# the certificate dates, which no time_t of the TLS library's width may reach.
board() {
    check offset=0.25 "" 0.25 "$REPORTED"
    check offset=0.25 ADJUST_TIME 0.25 "$REFUSED"
    check offset=473040000 ADJUST_TIME 473040000 "$REFUSED"
    has "2041" 'Standard Time = .* 2041'
    nts_servers
    local main=$started_chronyd
    verified_step pass
    certificate_dates
    kill $main
}

# chronyd NAME PORT KE_PORT CERTIFICATE [DIRECTIVE...]: a chronyd (its pid in $started_chronyd),
# its files in $work/NAME, serving NTP on 127.0.0.1:PORT and its key exchange on KE_PORT with
# CERTIFICATE.pem; run under $clock's variables, when set.
chronyd() {
    mkdir -p "$work/$1"
    printf '%s\n' "port $2" "ntsport $3" "bindaddress 127.0.0.1" "cmdport 0" "local stratum 8" allow \
        "pidfile $work/$1/pid" "ntsserverkey $work/$4.key" "ntsservercert $work/$4.pem" \
        "ntsdumpdir $work/$1" "${@:5}" >"$work/$1/conf"
    env ${clock:-} "$SNTP_TEST_CHRONYD" -x -d -u root -f "$work/$1/conf" 2>/dev/null &
    started_chronyd=$!
    timeout 5 sh -c "until [ \$(ss -Htln 'sport = $3' | wc -l) -ge 1 ]; do sleep 0.05; done" ||
        { echo "gave up waiting for chronyd's key exchange on port $3" && exit 1; }
}

# shifted SHIFT NAME: a second chronyd, its clock SHIFT ahead (libfaketime), with the certificate
# NAME.pem, valid only from then for 2 days: to this client, its own clock looks that far off.
# Its key exchange is on 127.0.0.1:4462, its NTP port 11124.
shifted() {
    [ -z "${shifted:-}" ] || { kill $shifted && wait $shifted; }
    clock="LD_PRELOAD=$FAKETIME_LIBRARY FAKETIME=$1" chronyd shifted 11124 4462 "$2"
    shifted=$started_chronyd
}

FAKETIME_LIBRARY=$(dpkg -L libfaketime 2>/dev/null | grep '/libfaketime\.so\.1$')

# The certificate's dates at the local clock, which they do not fit, and at the server's time.
certificate_dates() {
    [ -n "$FAKETIME_LIBRARY" ] || { fail "no libfaketime" && return; }
    certificate ahead nts.test DNS:nts.test faketime -f +70d
    shifted +70d ahead
    : >"$work/log"
    ke_fault "dates at the local clock" "TLS handshake failed: certificate verify failed \(certificate \
is not yet valid\); if the local clock is wrong, NTS_CERTIFICATE_TIME=SERVER checks the dates at \
the server's time" $TRUSTED NTP_SERVER_NAME=nts.test:4462
    local server="NTP_AUTHENTICATION=NTS NTS_CERTIFICATE_TIME=SERVER $TRUSTED NTP_SERVER_NAME=nts.test:4462"
    run $server STATUS_OF_EXECUTION=ADJUST_TIME
    complete "dates at the server's time" "$REFUSED"
    has "dates at the server's time" "$VERIFIED" \
        "NTS-KE Certificate Dates = to be checked at the server's time \(NTS_CERTIFICATE_TIME=SERVER\)" \
        "NTS Certificate Dates = valid at the server's time [0-9-]{10} [0-9:]{8} UTC"
    near "$(value 'Local Clock Offset')" 6048000 1 || fail "dates at the server's time: offset"
    stepped "dates at the server's time" 6048000
    # Ten days later the certificate has expired, at the server's time too. A server over a year
    # back, before this program was built, is wrong whatever its certificate says.
    certificate past nts.test DNS:nts.test faketime -f -400d
    for row in "+80d ahead certificate has expired" "-400d past before this program's build date"; do
        local rest=${row#* }
        shifted "${row%% *}" "${rest%% *}"
        run $server STATUS_OF_EXECUTION=ADJUST_TIME
        has "$row" "NTS Authenticator = NOT verified \(certificate not valid at the server's time \
[0-9-]{10} [0-9:]{8} UTC: ${rest#* }.*\)" "$EPOCH"
        stepped "$row"
        json "$row" run $server STATUS_OF_EXECUTION=ADJUST_TIME
    done
    kill $shifted
    run NTP_AUTHENTICATION=NTS NTS_CERTIFICATE_TIME=server
    only "unknown certificate time" \
        '## Error ##: NTS_CERTIFICATE_TIME must be LOCAL, SERVER or unset; nothing was sent\.' "$EPOCH"
}

TRUSTED="NTS_TRUSTED_CERTS=$work/ca.pem"
VERIFIED='NTS Authenticator = verified'

# relay [MODE]: the path from the NTP server the key exchange names to chronyd. path MODE: a
# run through it in that mode, asked to set the clock.
relay() { spawn "$here/nts_path.py" relay 127.0.0.2 11123 11123 "$@"; }
path() {
    relay $1
    run NTP_AUTHENTICATION=NTS $TRUSTED NTP_SERVER_NAME=nts.test STATUS_OF_EXECUTION=ADJUST_TIME
    stop
}

# ke_fault NAME REASON VARIABLE=VALUE...: the key exchange fails with REASON, and nothing else
# happens: no NTP datagram reaches the server the last step started.
ke_fault() {
    run NTP_AUTHENTICATION=NTS STATUS_OF_EXECUTION=ADJUST_TIME "${@:3}"
    has "$1" "## Error ##: NTS-KE $2\." "$EPOCH"
    [ -z "$(received)" ] || fail "$1: an NTP datagram went out: $(received)"
    ! linux || ! grep -q '^[0-9.]* sendto(' "$work/trace" || fail "$1: it sent a datagram"
    stepped "$1"
}

# verified_step MODE: named by its name, through the path in MODE; asked to set the clock, which
# it tries to.
verified_step() {
    path $1
    complete "NTS $1" "$REFUSED"
    has "NTS $1" "$VERIFIED"
    stepped "NTS $1" 0
}

nts_rows() {
    # Named by its address, which the certificate also holds; only to report. The CA stands in
    # the system's store for this run alone (Wine takes it from there into Windows' ROOT store).
    mkdir "$work/certs" && cp "$work/ca.pem" "$work/certs" && openssl rehash "$work/certs" &&
        mount --bind "$work/certs" /etc/ssl/certs || fail "no system store to stand in for"
    relay
    run NTP_AUTHENTICATION=NTS NTP_SERVER_NAME=127.0.0.1
    complete "NTS report only" "$REPORTED"
    has "NTS report only" 'NTS-KE Server = 127\.0\.0\.1, Port = 4460' 'NTS-KE TLS = TLSv1\.3, TLS_\w+' \
        'NTS-KE Certificate = /CN=nts\.test' 'NTS-KE Cookies = 8' \
        'NTS-KE NTP Server = 127\.0\.0\.2, Port = 11123' ' Version Number \(VN\): 4' \
        'NTS Extension Field = 0x0104 \(Unique Identifier\), Length = 36' \
        'NTS Extension Field = 0x0404 \(NTS Authenticator and Encrypted Extension Fields\), Length = [0-9]+' \
        "$VERIFIED"
    near "$(value 'Local Clock Offset')" 0 "0.0005+$(value 'Roundtrip Delay')/2" || fail "NTS: offset"
    json "NTS report only" run NTP_AUTHENTICATION=NTS NTP_SERVER_NAME=127.0.0.1
    stop
    umount /etc/ssl/certs
    relay
    ke_fault "untrusted" 'TLS handshake failed: certificate verify failed \(unable to get local issuer certificate\)' \
        NTS_TRUSTED_CERTS="$work/other.pem" NTP_SERVER_NAME=nts.test
    json "untrusted" run NTP_AUTHENTICATION=NTS NTS_TRUSTED_CERTS="$work/other.pem" NTP_SERVER_NAME=nts.test
    linux || { stop && return 0; }
    ke_fault "another name" 'TLS handshake failed: certificate verify failed \(hostname mismatch\)' \
        $TRUSTED NTP_SERVER_NAME=localhost
    # Only a regular file of a bundle's size that can be read (without root's rights to read
    # anything), checked before the time limit starts.
    mkfifo "$work/fifo" && truncate -s 1048577 "$work/huge" && install -m 0 /dev/null "$work/locked"
    for file in "fifo not a regular file" "huge larger than 1024 KiB" "locked Permission denied"; do
        drop=,-dac_override,-dac_read_search ke_fault "${file%% *}" "cannot read trusted \
certificates from $work/${file%% *} \(${file#* }\)" NTS_TRUSTED_CERTS="$work/${file%% *}" \
            NTP_SERVER_NAME=nts.test
    done
    ke_fault "refused" 'connection failed: Connection refused' NTP_SERVER_NAME=127.0.0.1:4461
    # chronyd answers plain SNTP too: version 3 in version 3, echoing the request's transmit
    # bytes; T3 is its transmit time. Both clocks are this machine's: T1 to T4 come in order, and
    # the offset is the asymmetry of the two legs, at most half the delay.
    run NTP_SERVER_NAME=127.0.0.1:11123
    complete "chronyd"
    local delay=$(value 'Roundtrip Delay')
    [ "$(value 'Transmit  Timestamp')" = "$(value T3)" ] &&
        awk "BEGIN { exit !($(value T1) <= $(value T2) && $(value T3) <= $(value T4)) }" &&
        near "$delay" "$slack/2" "$slack/2" &&
        near "$(value 'Local Clock Offset')" 0 "0.0002+$delay/2" || fail "chronyd: times"
    # Without nettle (its file empty for this run), NTS cannot start. Not under valgrind: the
    # system's loader leaks the path of a library it failed to load.
    local nettle=$(ldconfig -p | sed -n 's/.*libnettle\.so\.8 .*=> //p' | head -n 1)
    if [ -z "$valgrind" ]; then
        mount --bind /dev/null "$nettle" || fail "no libnettle.so.8 to hide"
        ke_fault "no nettle" 'cannot load libnettle\.so\.8 \(.*\)' $TRUSTED NTP_SERVER_NAME=nts.test
        umount "$nettle"
    fi
    stop
    # A forgery an hour ahead, then the true reply: the true one is taken; so it is after an ICMP
    # error that anyone could have sent.
    for mode in pass forge icmp; do verified_step $mode; done
    # Version 4 from port 1024; the Unique Identifier, one cookie, the authenticator.
    local request=$(received)
    [[ $request =~ ^1024\ 230{78}[0-9a-f]{16}01040024[0-9a-f]{64}0204([0-9a-f]{4}) ]] &&
        [[ ${request:$((173 + 2 * 0x${BASH_REMATCH[1]}))} =~ ^0404002800100010[0-9a-f]{64}$ ]] ||
        fail "NTS request: $request"
    # 127.0.0.010 is 127.0.0.8 to the connect, and the certificate is checked for that.
    certificate ten ten IP:127.0.0.10
    spawn "$here/nts_path.py" ke 4461 "$work/ten.pem" "$work/ten.key" no_alpn 127.0.0.8
    ke_fault "127.0.0.010" 'TLS handshake failed: certificate verify failed \(IP address mismatch\)' \
        $TRUSTED NTP_SERVER_NAME=127.0.0.010:4461
    stop
    # The exchange ends 5 s from the connect, however the server holds it up.
    for fault in "silent TLS handshake: no answer within 5 seconds" \
        "tickets response: no answer within 5 seconds" \
        "no_alpn server did not agree to ntske/1 \(ALPN\)"; do
        spawn "$here/nts_path.py" ke 4461 "$work/server.pem" "$work/server.key" ${fault%% *}
        ke_fault "${fault%% *}" "${fault#* }" $TRUSTED NTP_SERVER_NAME=127.0.0.1:4461
        [[ ! ${fault%% *} =~ ^(silent|tickets)$ ]] || waits "${fault%% *}" 5000
        stop
    done
    run NTP_AUTHENTICATION=nts
    only "unknown authentication" \
        '## Error ##: NTP_AUTHENTICATION must be NTS or unset; nothing was sent\.' "$EPOCH"
}

for group; do "$group" "$client"; done
echo "$*: $failed failed"
[ "$failed" -eq 0 ]
