# Dot-sourced by each test: pwsh runs corvel.exe under Wine in the test prefix through a shim named
# corvel.exe (and corvel) on PATH, as on Windows. CTest sets the CORVEL_* variables used here.
$ErrorActionPreference = 'Stop'
Set-StrictMode -Version Latest
$prefix = $env:CORVEL_WINEPREFIX
$env:WINEPREFIX = $prefix
bash "$PSScriptRoot/../wine/wine-prefix.sh" ensure
if ($LASTEXITCODE -ne 0) { throw "the Wine prefix $prefix is not ready" }
$users = @(Get-ChildItem "$prefix/drive_c/users" -Directory | Where-Object Name -ne 'Public')
$roaming = "$($users[0].FullName)/AppData/Roaming"
# Where the module looks for config.json, as Windows sets it.
$env:APPDATA = $roaming
$jdks = "$prefix/drive_c/corvel-pwsh"
Remove-Item -Recurse -Force -ErrorAction Ignore "$roaming/corvel", $jdks
$bin = (New-Item -ItemType Directory "$jdks/shims").FullName
$env:PATH = "${bin}:$env:PATH"

# Runs the program under Wine with its output through files, which Wine's background processes
# may keep open without leaving a reader waiting for the end of a pipe.
function New-WineShim([string] $Path, [string] $Program = $env:CORVEL_EXE) {
    $wine = (Get-Command wine -CommandType Application)[0].Source
    Set-Content -LiteralPath $Path -Value @"
#!/bin/sh
export WINEPREFIX='$prefix' WINEDEBUG=-all
d=`$(mktemp -d); '$wine' '$Program' "`$@" </dev/null >"`$d/o" 2>"`$d/e"; s=`$?
cat "`$d/o"; cat "`$d/e" >&2; rm -rf "`$d"; exit `$s
"@
    chmod +x $Path
}
New-WineShim "$bin/corvel.exe"
New-WineShim "$bin/corvel"

function Set-Config([hashtable] $Roots) {
    $versions = @{}
    foreach ($alias in $Roots.Keys) { $versions[$alias] = @{ path = $Roots[$alias] } }
    New-Item -ItemType Directory -Force "$roaming/corvel" | Out-Null
    @{ current = $null; versions = $versions } | ConvertTo-Json -Depth 4 |
        Set-Content -Encoding utf8 "$roaming/corvel/config.json"
}

function Assert-Equal($Expected, $Actual, [string] $What) {
    if ($Expected -cne $Actual) { throw "$What`: expected [$Expected], got [$Actual]" }
}
