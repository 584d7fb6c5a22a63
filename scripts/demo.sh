#!/usr/bin/env bash
# A demonstration of corvel.exe under Wine: add, list, use, current, export-shell, doctor, scan
# and remove on a JDK-like folder; then the PowerShell road in pwsh: the Corvel module, corvel-use
# with Tab completion, a project folder whose .java-version switches the session, and Maven's
# toolchains.xml written from the registered JDKs and read by Maven. Installs what is missing,
# builds the Windows program, and runs it in a throwaway Wine prefix that is deleted at the end
# (never ~/.wine, nor ~/.m2).
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

# The PowerShell road. pwsh on Linux cannot start a Windows program, so a shim named corvel.exe
# beside the module runs corvel.exe under Wine; everything else is as on Windows.
module="$WINEPREFIX/drive_c/demo/module"
mkdir -p "$module"
cp -r cli/shell/Corvel.psd1 cli/shell/Corvel.psm1 cli/shell/lib "$module/"
printf '#!/bin/sh\nexec wine %q "$@"\n' "$corvel" >"$module/corvel.exe"
chmod +x "$module/corvel.exe"
project="$WINEPREFIX/drive_c/demo/shop"
mkdir -p "$project/src"
printf '17\n' >"$project/.java-version"
roaming="$(echo "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | awk '{ print $1 }')"
show scan --auto-add >/dev/null
toolchains="$WINEPREFIX/drive_c/demo/m2/toolchains.xml"
printf '\n%s--- PowerShell: Import-Module Corvel, corvel-use, Enable-CorvelProjectJdk, ' "$bold"
printf 'Update-CorvelToolchain%s\n' "$plain"
env -u JAVA_HOME APPDATA="$roaming" CORVEL_MODULE="$module" CORVEL_PROJECT="$project" \
    CORVEL_TOOLCHAINS="$toolchains" pwsh -NoProfile -NonInteractive -Command '
    if ([Console]::IsOutputRedirected) { $PSStyle.OutputRendering = "PlainText" }
    function Show([string] $Line) {
        Write-Host "`nPS> $Line"
        Invoke-Expression $Line
    }
    Show "Import-Module $env:CORVEL_MODULE/Corvel.psd1"
    $typed = "corvel-use ja"
    Write-Host "`nPS> $typed<Tab>"
    (TabExpansion2 $typed $typed.Length).CompletionMatches.CompletionText -join "  "
    Show "corvel-use java21"
    Show "`$env:JAVA_HOME"
    Show "Enable-CorvelProjectJdk"
    Show "Get-Content $env:CORVEL_PROJECT/.java-version"
    Show "Set-Location $env:CORVEL_PROJECT/src"
    Show "`$env:JAVA_HOME"
    Show "Get-CorvelProjectJdk | Format-List"
    Show "Set-Location /"
    Show "`$env:JAVA_HOME"
    # Both registered JDKs go into the toolchains file; a second run finds nothing to do.
    Show "Update-CorvelToolchain -Path $env:CORVEL_TOOLCHAINS"
    Show "Get-Content $env:CORVEL_TOOLCHAINS"
    Show "Update-CorvelToolchain -Path $env:CORVEL_TOOLCHAINS"
'

# Maven reads the file at the start of every build: a minimal project validated with it.
cat >"$project/pom.xml" <<'EOF'
<project>
  <modelVersion>4.0.0</modelVersion>
  <groupId>demo</groupId>
  <artifactId>shop</artifactId>
  <version>1</version>
  <packaging>pom</packaging>
</project>
EOF
printf '\n%s$ mvn -o -B -t %s validate%s\n' "$bold" "$toolchains" "$plain"
status=0
mvn -o -B -f "$project/pom.xml" -t "$toolchains" -Dmaven.repo.local="$WINEPREFIX/m2" validate ||
    status=$?
printf '(exit status %s)\n' "$status"
