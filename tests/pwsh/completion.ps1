# Tab completes corvel's commands, flags, shells and the aliases in config.json, and nothing from
# a missing or damaged config.json.
. "$PSScriptRoot/common.ps1"
Import-Module "$PSScriptRoot/../../cli/shell/Corvel.psd1"
$env:APPDATA = $roaming
Set-Location (New-Item -ItemType Directory "$jdks/empty")  # no file names to offer instead
function Complete([string] $Line) {
    $found = (TabExpansion2 $Line $Line.Length).CompletionMatches | ForEach-Object CompletionText
    return ($found | Sort-Object) -join ' '
}
Set-Config @{ java21 = 'C:\a'; java17 = 'C:\b'; 'my jdk' = 'C:\c'; "it's" = 'C:\d' }
$cases = [ordered]@{
    'corvel '                             = 'add current doctor export-shell help list remove' +
        ' scan use'
    'corvel.exe remove -'                 = '--force --help -f'
    'corvel scan --'                      = '--auto-add --help'
    'corvel export-shell java21 --'       = '--help --shell'
    'corvel export-shell java21 --shell ' = 'cmd powershell'
    'corvel remove j'                     = 'java17 java21'
    'corvel export-shell my'              = "'my jdk'"
    "corvel use 'it"                      = "'it''s'"
    'corvel-use '                         = "'it''s' 'my jdk' java17 java21"
    'Use-CorvelJdk java2'                 = 'java21'
    'corvel use java21 '                  = ''
}
foreach ($line in $cases.Keys) { Assert-Equal $cases[$line] (Complete $line) "completing [$line]" }
Set-Content "$roaming/corvel/config.json" '{"current": null, "versions": '
Assert-Equal '' (Complete 'corvel use ') 'aliases from a damaged config.json'
Remove-Item "$roaming/corvel/config.json"
Assert-Equal '' (Complete 'corvel use ') 'aliases without config.json'
