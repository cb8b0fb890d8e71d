#!/bin/sh
# Runs a Windows program under Wine, without the right to set the clock, with a prefix and a
# wineserver of its own, both gone when it ends: a wineserver left from one network namespace
# would capture the sockets of a Wine process in another. Run it inside tests/in_netns.sh.
# SNTP_WINE_TEMPLATE names a prefix to start from (tests/wine_template.sh makes one), else a
# new one is made (slow). TZ is left unset, since Wine reads it in Windows syntax.
#   tests/wine_run.sh PROGRAM [ARGUMENT...]
# Beside the template, so that its files can be hard links (/tmp may be another filesystem).
home=$(mktemp -d "$(dirname "${SNTP_WINE_TEMPLATE:-/tmp/none}")/wine-run.XXXXXX")
export HOME="$home" WINEPREFIX="$home/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY TZ
# The registry files are copies: wineserver writes a file with more than one link in place, and
# runs side by side would write the template's, each over the other's.
if [ -d "${SNTP_WINE_TEMPLATE:-}" ]; then
    cp -al "$SNTP_WINE_TEMPLATE" "$WINEPREFIX" && rm "$WINEPREFIX"/*.reg &&
        cp "$SNTP_WINE_TEMPLATE"/*.reg "$WINEPREFIX" || exit 1
fi
timeout -k 5 120 setpriv --bounding-set=-sys_time -- /usr/lib/wine/wine64 "$@"
status=$?
[ $status -ne 124 ] || echo "wine_run.sh: gave up waiting for $1 after 120 s" >&2
/usr/lib/wine/wineserver -k 2>/dev/null
rm -rf "$home"
exit $status
