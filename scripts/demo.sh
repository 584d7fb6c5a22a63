#!/usr/bin/env bash
# A demonstration of corvel.exe under Wine: add, list, use, current, export-shell, doctor, scan
# and remove on a JDK-like folder. Installs what is missing, builds the Windows
# program, and runs it in a throwaway Wine prefix that is deleted at the end (never ~/.wine).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

install_missing_packages
build_preset windows --target corvel java_standin where prefix_setup

build="$PWD/build/windows"
corvel="$build/cli/corvel.exe"
fixtures="$build/tests/wine/fixtures"

WINEPREFIX="$(mktemp -d "${TMPDIR:-/tmp}/corvel-demo.XXXXXX")"
export WINEPREFIX WINEDEBUG=-all
finish() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
}
trap finish EXIT
bash tests/wine/wine-prefix.sh setup "$fixtures/where.exe" "$fixtures/prefix_setup.exe"

# A JDK-like folder: the stand-in launcher answers -version like OpenJDK 21.
jdk="$WINEPREFIX/drive_c/demo/jdk-21.0.2"
mkdir -p "$jdk/bin"
cp "$fixtures/java_standin.exe" "$jdk/bin/java.exe"
printf 'openjdk version "21.0.2" 2024-01-16\r\nOpenJDK Runtime Environment (build 21.0.2+13-58)\r\n' \
    >"$jdk/bin/java.stderr"
printf 'stand-in compiler\r\n' >"$jdk/bin/javac.exe"
printf 'IMPLEMENTOR="Eclipse Adoptium"\nJAVA_VERSION="21.0.2"\n' >"$jdk/release"

# Runs corvel with the arguments, showing the command line and the exit status.
bold="" plain=""
if [ -t 1 ]; then
    bold=$'\e[1m' plain=$'\e[0m'
fi
show() {
    printf '\n%s$ corvel %s%s\n' "$bold" "$*" "$plain"
    local status=0
    env -u JAVA_HOME wine "$corvel" "$@" || status=$?
    printf '(exit status %s)\n' "$status"
}

show --version
show add --help
show use java21   # nothing is registered yet: fails with status 1

# Register, inspect and switch.
show add java21 'C:\demo\jdk-21.0.2'
show list
show use java21
show current
show export-shell java21
show export-shell java21 --shell cmd
show doctor

# Install a second JDK where scan looks, and let scan register it.
jdk17="$WINEPREFIX/drive_c/Program Files/Java/jdk-17.0.9"
mkdir -p "$jdk17/bin"
cp "$fixtures/java_standin.exe" "$jdk17/bin/java.exe"
printf 'stand-in compiler\r\n' >"$jdk17/bin/javac.exe"
printf 'IMPLEMENTOR="Oracle Corporation"\nJAVA_VERSION="17.0.9"\n' >"$jdk17/release"
show scan --auto-add
show list
show remove java17 --force
