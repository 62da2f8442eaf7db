#!/bin/sh
# Installs the build tree under a scratch root, the way a packager does, and checks that every
# manual page and every tool built lands where man and PATH look for it, and that the installed
# tools run and the pages format. Where dpkg-deb is at hand, checks the Debian package too.
# Arguments: the cmake and cpack programs, the build tree, the directory of the built tools, and 1
# when they are built for another machine and run under an emulator.
set -eu
cmake=$1
cpack=$2
build=$3
built=$4
if [ "${5:-0}" = 1 ]; then
    echo "skipped: the layout and package are the host's, and the installed tools cannot run here"
    exit 77
fi
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

DESTDIR="$root" "$cmake" --install "$build" --prefix /usr/lib/textfilters >/dev/null
prefix=$root/usr/lib/textfilters
failed=0
for tool in expand tabsqueeze tally linefill; do
    page=$prefix/share/man/man1/$tool.1
    if [ ! -f "$page" ]; then
        echo "missing $page"
        failed=1
    elif command -v man >/dev/null && ! MANPAGER=cat man -l "$page" 2>&1 | grep -q "^SYNOPSIS"; then
        echo "man -l does not format $page"
        failed=1
    fi
    if [ ! -x "$built/$tool" ]; then
        echo "$tool is not built here: only its page is checked"
    elif [ ! -x "$prefix/bin/$tool" ]; then
        echo "missing $prefix/bin/$tool"
        failed=1
    elif ! "$prefix/bin/$tool" -v 2>&1 | grep -q "^@(#)$tool	"; then
        echo "$prefix/bin/$tool does not run"
        failed=1
    fi
done

# Debian's copyright file and gzipped pages, and nothing where coreutils keeps its expand and
# expand.1.
if command -v dpkg-deb >/dev/null; then
    "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$root/package" >/dev/null
    dpkg-deb -c "$root"/package/*.deb | awk '{ print $6 }' >"$root/files"
    for file in usr/share/doc/textfilters/copyright usr/share/doc/textfilters/changelog.gz \
        usr/lib/textfilters/share/man/man1/expand.1.gz usr/lib/textfilters/bin/expand; do
        grep -qx "./$file" "$root/files" || { echo "the package lacks /$file" && failed=1; }
    done
    if grep -E '^\./(usr/bin|usr/share/man)/' "$root/files"; then
        echo "the package has files where the system's own commands and pages are"
        failed=1
    fi
fi
exit "$failed"
