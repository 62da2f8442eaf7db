#!/usr/bin/env bash
# Runs every example of the README: in each console block, a line "$ command" is run with the
# built tools first in PATH, and the lines up to the next command or the block's end are the
# output it must print.
set -u
readme=$1
export PATH="$2:$PATH"
failures=0
examples=0
check() {
    [ -n "$command" ] || return 0
    examples=$((examples + 1))
    actual=$(bash -c "$command" 2>&1)
    if [ "$actual" != "$expected" ]; then
        failures=$((failures + 1))
        printf 'README example failed: %s\n--- expected\n%s\n--- actual\n%s\n' "$command" "$expected" "$actual"
    fi
}
in_block=0
command=""
expected=""
while IFS= read -r line; do
    if [ "$in_block" = 0 ]; then
        [ "$line" = '```console' ] && in_block=1 && command="" && expected=""
        continue
    fi
    if [ "$line" = '```' ]; then
        check
        in_block=0
        command=""
    elif [ "${line#\$ }" != "$line" ]; then
        check
        command=${line#\$ }
        expected=""
    else
        expected=${expected:+$expected$'\n'}$line
    fi
done <"$readme"
echo "$examples README examples, $failures failed"
[ "$examples" -gt 0 ] && [ "$failures" = 0 ]
