#!/bin/sh
# Prints the prefix (include/, lib/) of OpenSSL and nettle cross-compiled with MinGW-w64 as
# static libraries for the Windows program, built from Debian's own source packages (which need
# a deb-src entry in apt's sources): the newest versions the archive serves, built once into a
# cache folder named by them, outside the tree. Everything else it says goes to standard error;
# it fails when it cannot build.
set -eu
versions() { apt-cache showsrc "$1" | sed -n 's/^Version: //p' | sort -rV; }
cache=${XDG_CACHE_HOME:-$HOME/.cache}/sntp-client
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# The newest source of each that can be had (a version listed may be gone from the archive).
fetch() {
    for version in $(versions "$1"); do
        [ -f "$cache/mingw-$1-$version/done" ] && echo "$version" && return
        timeout 300 apt-get source -qq "$1=$version" >/dev/null 2>&1 && echo "$version" && return
    done
    echo "windows-tls.sh: no source package of $1 could be had (a deb-src entry?)" >&2
    return 1
}

# build NAME VERSION COMMANDS: in the unpacked source, into the prefix.
build() {
    prefix=$cache/mingw-$1-$2
    [ -f "$prefix/done" ] && return
    echo "windows-tls.sh: building $1 $2 for Windows" >&2
    (cd "$1"-*/ && eval "$3") >"$1.log" 2>&1 || { tail -n 30 "$1.log" >&2; exit 1; }
    touch "$prefix/done"
}

openssl=$(fetch openssl) nettle=$(fetch nettle)
build openssl "$openssl" './Configure mingw64 no-shared no-tests no-engine \
    --cross-compile-prefix=x86_64-w64-mingw32- --prefix="$prefix" --libdir=lib &&
    timeout 1800 make -j"$(nproc)" build_libs && make install_dev'
build nettle "$nettle" './configure --host=x86_64-w64-mingw32 --disable-shared \
    --disable-documentation --disable-public-key --prefix="$prefix" --libdir="$prefix/lib" &&
    timeout 600 make -j"$(nproc)" && make install'
echo "$cache/mingw-openssl-$openssl;$cache/mingw-nettle-$nettle"
