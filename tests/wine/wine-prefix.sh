#!/usr/bin/env bash
# Manages the Wine prefix named by WINEPREFIX (never ~/.wine) for the Windows tests.
#   setup WHERE_EXE SETUP_EXE  replace the prefix with a fresh one, install the working
#                              where.exe, start a persistent wineserver and warm it up
#   ensure                     create the prefix when missing and start its server when stopped
#   stop                       end every process of the prefix and its server
#   with-null-graphics CMD...  run CMD with Wine's null graphics driver, under which programs can
#                              create windows without X, then take the driver setting out again
set -euo pipefail
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
export WINEDEBUG=-all
# Keeps Wine from looking for its Mono and Gecko add-ons.
export WINEDLLOVERRIDES="mscoree,mshtml="

prefix="$(realpath -m "$WINEPREFIX")"
if [ -z "$prefix" ] || [ "$prefix" = "/" ] || [ "$prefix" = "$(realpath -m "$HOME/.wine")" ]; then
    echo "refusing to use $WINEPREFIX as a test prefix" >&2
    exit 1
fi
export WINEPREFIX="$prefix"

stop() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
}

create() {
    mkdir -p "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w </dev/null >/dev/null 2>&1
}

# Starts the persistent server; true when it was not running yet.
start_server() {
    wineserver -p </dev/null >/dev/null 2>&1
}

case "${1:-ensure}" in
setup)
    where_exe="${2:?setup needs the where.exe to install}"
    setup_exe="${3:?setup needs the prefix set-up program}"
    # Only ever delete what looks like a Wine prefix (or an empty folder).
    if [ -e "$WINEPREFIX" ] && [ -n "$(ls -A "$WINEPREFIX")" ] &&
        [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "refusing to delete $WINEPREFIX: not a Wine prefix" >&2
        exit 1
    fi
    stop
    rm -rf "$WINEPREFIX"
    echo "creating the Wine prefix $WINEPREFIX"
    create
    cp "$where_exe" "$WINEPREFIX/drive_c/windows/system32/where.exe"
    start_server || true
    # The first processes of a server session start Wine's background services and desktop;
    # with /dev/null as their streams they hold no test's pipes open.
    wine "$setup_exe" </dev/null >/dev/null 2>&1
    echo "prefix ready, wineserver running"
    ;;
ensure)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        create
    fi
    if start_server; then
        wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
    fi
    ;;
stop)
    stop
    ;;
with-null-graphics)
    shift
    [ "$#" -gt 0 ] || { echo "with-null-graphics needs a command" >&2; exit 2; }
    # Wine reads the driver setting when its server starts: set it with the server stopped,
    # let the short-lived server of `reg` save it, then start the persistent one afresh.
    drivers='HKCU\Software\Wine\Drivers'
    restart_with() {
        stop
        wine reg "$@" </dev/null >/dev/null 2>&1 || true
        wineserver -w </dev/null >/dev/null 2>&1 || true
        start_server || true
        wine cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
    }
    restart_with add "$drivers" /v Graphics /t REG_SZ /d null /f
    trap 'restart_with delete "$drivers" /v Graphics /f' EXIT
    status=0
    "$@" || status=$?
    exit "$status"
    ;;
*)
    echo "usage: wine-prefix.sh setup WHERE_EXE SETUP_EXE | ensure | stop |" \
        "with-null-graphics CMD..." >&2
    exit 2
    ;;
esac
