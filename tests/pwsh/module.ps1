# Use-CorvelJdk switches the session and the user environment; a failed one changes nothing and
# shows corvel's error once. The module runs the corvel.exe beside it, as unpacked from the ZIP.
. "$PSScriptRoot/common.ps1"
$module = (New-Item -ItemType Directory "$jdks/module").FullName
Copy-Item "$PSScriptRoot/../../cli/shell/Corvel.ps?1", "$PSScriptRoot/../../cli/shell/lib" $module -Recurse
New-WineShim "$module/corvel.exe"
New-WineShim "$bin/reg" reg
New-Item -ItemType Directory "$jdks/jdk 21/bin" | Out-Null
'java', 'javac' | ForEach-Object { Copy-Item $env:CORVEL_JAVA_STANDIN "$jdks/jdk 21/bin/$_.exe" }
$root = 'C:\corvel-pwsh\jdk 21'
Set-Config @{ 'pwsh jdk' = $root }
Import-Module "$module/Corvel.psd1"
$env:JAVA_HOME = $null
$path = $env:PATH
Use-CorvelJdk 'pwsh jdk'
Assert-Equal 0 $LASTEXITCODE 'exit status of a switch'
Assert-Equal $root $env:JAVA_HOME 'JAVA_HOME of the session'
Assert-Equal "$root\bin;$path" $env:PATH 'PATH of the session'
$env:PATH = $path
$stored = reg query 'HKCU\Environment' /v JAVA_HOME | Select-String 'REG_SZ\s+(.*)'
Assert-Equal $root $stored.Matches[0].Groups[1].Value 'JAVA_HOME of the user environment'

corvel-use nope -ErrorVariable failure -ErrorAction SilentlyContinue
Assert-Equal 1 $LASTEXITCODE 'exit status of a failed switch'
Assert-Equal "$root|$path" "$env:JAVA_HOME|$env:PATH" 'the session after a failed switch'
Assert-Equal "Alias not found: 'nope'" "$($failure.Exception.Message)" 'the error'
$child = "Import-Module '$module/Corvel.psd1'; corvel-use nope"
$shown = & $env:CORVEL_PWSH -NoProfile -Command $child 2>&1
Assert-Equal 1 ([regex]::Matches("$shown", "Alias not found: 'nope'")).Count 'times the error shows'
