#!/bin/sh
# Makes the Wine prefix that tests/wine_run.sh starts from, in namespaces of its own; a prefix
# is only put in place once it is whole.
#   tests/wine_template.sh DIR
[ -d "$1" ] && exit 0
exec "$(dirname "$0")/in_netns.sh" sh -c '
    export HOME=$(mktemp -d) WINEPREFIX="$1.part" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY
    rm -rf "$WINEPREFIX"
    timeout -k 5 300 /usr/lib/wine/wine64 wineboot -i 2>/dev/null &&
        timeout -k 5 60 /usr/lib/wine/wineserver -w && mv "$WINEPREFIX" "$1" ||
        { echo "wine_template.sh: gave up making a Wine prefix in $1" >&2; exit 1; }
    rm -rf "$HOME"' sh "$(realpath -m "$1")"
