#!/usr/bin/env bash
# Runs a Windows program under Wine in the build's test prefix (never ~/.wine). CTest names the
# prefix in CORVEL_WINEPREFIX; by hand it defaults to ./wineprefix.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
export WINEPREFIX="${CORVEL_WINEPREFIX:-$PWD/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
"$here/wine-prefix.sh" ensure
exec wine "$@"
