#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's test prefix (never ~/.wine). CTest names the
# prefix in CORVEL_WINEPREFIX; by hand it defaults to ./wineprefix.
#
# The program's output goes through a file, not the caller's pipes: any Wine background process
# started along the way inherits the streams and would hold a pipe open long after the program
# ended, leaving CTest waiting for end-of-file forever.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
export WINEPREFIX="${CORVEL_WINEPREFIX:-$PWD/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
"$here/wine-prefix.sh" ensure || exit 1

output="$(mktemp "${TMPDIR:-/tmp}/corvel-wine-run.XXXXXX")"
trap 'rm -f "$output"' EXIT
wine "$@" </dev/null >"$output" 2>&1 &
wait "$!"
status=$?
cat "$output"
exit "$status"
