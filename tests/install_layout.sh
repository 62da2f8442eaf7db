#!/bin/sh
# Installs the build tree under a scratch root, the way a packager does, and checks that every
# manual page and every tool built lands where man and PATH look for it, and that the installed
# tools run and the pages format.
# Arguments: the cmake program, the build tree, the directory of the built tools.
set -eu
cmake=$1
build=$2
built=$3
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

DESTDIR="$root" "$cmake" --install "$build" --prefix /opt/textfilters >/dev/null
prefix=$root/opt/textfilters
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
exit "$failed"
