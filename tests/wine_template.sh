#!/bin/sh
# Makes the Wine prefix that tests/wine_run.sh starts from, in namespaces of its own.
#   tests/wine_template.sh DIR
[ -d "$1" ] && exit 0
exec "$(dirname "$0")/in_netns.sh" sh -c '
    export HOME=$(mktemp -d) WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY
    /usr/lib/wine/wine64 wineboot -i 2>/dev/null && /usr/lib/wine/wineserver -w
    rm -rf "$HOME"' sh "$(realpath -m "$1")"
