# Dot-sourced by the tests that need no Windows: a copy of the module with a stand-in corvel.exe
# beside it, which logs its arguments to $env:FAKE_CORVEL_LOG and answers export-shell and use
# as the FAKE_* variables say (output, standard error, status; FAKE_KILL=1 kills itself).
$fakeShim = @'
#!/bin/sh
[ -n "$FAKE_KILL" ] && kill -9 $$
echo "$*" >> "$FAKE_CORVEL_LOG"
case "$1" in
export-shell)
    printf '%s' "$FAKE_EXPORT"; err="$FAKE_EXPORT_ERR"; status="${FAKE_EXPORT_STATUS:-0}" ;;
use) err="$FAKE_USE_ERR"; status="${FAKE_USE_STATUS:-0}" ;;
esac
[ -n "$err" ] && printf '%s\n' "$err" >&2
exit "$status"
'@

# A fresh module folder with the stand-in beside it; returns the folder.
function New-FakeCorvelModule {
    $folder = Join-Path ([System.IO.Path]::GetTempPath()) "corvel-pwsh-$([guid]::NewGuid())"
    New-Item -ItemType Directory $folder | Out-Null
    Copy-Item "$PSScriptRoot/../../cli/shell/Corvel.*", "$PSScriptRoot/../../cli/shell/lib" `
        $folder -Recurse
    Install-FakeCorvel $folder
    return $folder
}

function Install-FakeCorvel([string] $Folder) {
    Set-Content -LiteralPath "$Folder/corvel.exe" -Value $fakeShim -NoNewline
    chmod +x "$Folder/corvel.exe"
}

# Forgets what the last test told the stand-in, and sets a known session.
function Reset-FakeCorvel([string] $Folder) {
    Get-ChildItem env:FAKE_* | ForEach-Object { Remove-Item "env:$($_.Name)" }
    $env:FAKE_CORVEL_LOG = "$Folder/calls.log"
    Remove-Item -ErrorAction Ignore $env:FAKE_CORVEL_LOG
    New-Item -ItemType File $env:FAKE_CORVEL_LOG | Out-Null
    $env:JAVA_HOME = 'C:\before'
}

# The export-shell lines corvel prints for C:\j.
$goodLines = "# Run these commands in your current PowerShell session:`n" +
    "`$env:JAVA_HOME = 'C:\j'`n`$env:PATH = 'C:\j\bin;' + `$env:PATH`n"
