#!/bin/sh
# Runs a test in user, network and mount namespaces of its own with only loopback up: no packet
# can leave the machine, name look-ups fail at once, port 1024 is free, and the process cannot
# set the clock. Loopback also has the IPv6 address fd00:5eed::1, and the test's hosts file
# (where v6only.test has only that address) stands over /etc/hosts. Where this process has 65536
# user ids to give (root of the machine, say), the namespace maps them all, so that a test can
# run a binary as another user; otherwise (a normal user, or root of a namespace that maps only
# itself) it maps this user alone, as root.
export SNTP_TEST_HOSTS="$(dirname "$0")/hosts"
# Where /etc has no hosts file to stand over, an overlay of /etc brings one.
run='ip link set lo up && ip -6 addr add fd00:5eed::1/128 dev lo nodad &&
    if [ -e /etc/hosts ]; then mount --bind "$SNTP_TEST_HOSTS" /etc/hosts; else
        layer=$(mktemp -d) && mkdir "$layer/upper" "$layer/work" &&
        cp "$SNTP_TEST_HOSTS" "$layer/upper/hosts" && mount -t overlay overlay \
            -o "lowerdir=/etc,upperdir=$layer/upper,workdir=$layer/work" /etc; fi &&
    exec "$0" "$@"'
if [ "$(id -u)" -ne 0 ] || ! awk '$1 == 0 && $3 >= 65536 { wide = 1 } END { exit !wide }' \
    /proc/self/uid_map; then
    exec unshare -rnm sh -c "$run" "$@"
fi
# The child waits, at most 10 s, for the map that only its parent can write.
unshare -Unm sh -c 'timeout 10 sh -c "until grep -q . /proc/self/uid_map; do sleep 0.01; done" ||
    { echo "in_netns.sh: gave up waiting for a user id map" >&2; exit 1; }; '"$run" "$@" &
child=$!
timeout 10 sh -c 'until [ "$(readlink /proc/$0/ns/user)" != "$(readlink /proc/self/ns/user)" ]
    do sleep 0.01; done' $child && echo '0 0 65536' >/proc/$child/uid_map &&
    echo '0 0 65536' >/proc/$child/gid_map ||
    { echo "in_netns.sh: gave up mapping the user ids of the test" >&2; kill $child; exit 1; }
wait $child
