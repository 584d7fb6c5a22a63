#!/usr/bin/env bash
# Runs a Windows test program under Wine in the build's private prefix (never ~/.wine).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
export WINEPREFIX="${CORVEL_WINEPREFIX:-$PWD/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
"$here/wine-prefix.sh" ensure
exec wine "$@"
