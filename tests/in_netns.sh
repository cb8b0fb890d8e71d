#!/bin/sh
# Runs a test in network and mount namespaces of its own with only loopback up: no packet can
# leave the machine, name look-ups fail at once, port 1024 is free, and the process cannot set
# the clock. Loopback also has the IPv6 address fd00:5eed::1, and the test's hosts file (where
# v6only.test has only that address) stands over /etc/hosts.
SNTP_TEST_HOSTS="$(dirname "$0")/hosts" exec unshare -rnm sh -c '
    ip link set lo up && ip -6 addr add fd00:5eed::1/128 dev lo nodad &&
    mount --bind "$SNTP_TEST_HOSTS" /etc/hosts && exec "$0" "$@"' "$@"
