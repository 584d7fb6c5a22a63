# Times the automatic project switch of the Corvel module against a bare prompt, in pwsh (or
# Windows PowerShell 5.1), without corvel.exe: a stand-in answers for the export-shell run and
# counts how often it is asked, since under Wine or on Windows that run is a process start.
#
# Usage:  pwsh -NoProfile -File benchmarks/project-prompt.ps1 [-Rounds 300] [-Hook Location|Prompt]
#   -Hook Location  the check runs from the engine's location action (PowerShell 7's default)
#   -Hook Prompt    the check runs from the prompt wrapper (what Windows PowerShell 5.1 uses)
#
# Cases (median of the round with the switch on, against the same round with it off):
#   prompt, location unchanged                    goal: under 1 ms more
#   change of location at depth 20, no project    goal: under 10 ms more
#   change to depth 10 where every level holds the three project files, 64 KiB each, asking for
#   nothing                                       goal: under 50 ms more
#   change of location into a project             goal: one corvel run per entry
param(
    [int] $Rounds = 300,
    [ValidateSet('Location', 'Prompt')]
    [string] $Hook = 'Location'
)
Set-StrictMode -Version Latest
$ErrorActionPreference = 'Stop'

foreach ($part in 'Text', 'Invoke', 'Config', 'Project', 'ProjectSwitch') {
    . "$PSScriptRoot/../cli/shell/lib/$part.ps1"
}
$script:Runs = 0
function Read-CorvelConfigFile {
    [pscustomobject]@{ File = 'config.json'; Problem = $null; Reason = $null; Entries = @(
            [pscustomobject]@{ Alias = 'java17'; Path = 'C:\jdks\17'; Version = '17.0.15'; Vendor = $null },
            [pscustomobject]@{ Alias = 'java21'; Path = 'C:\jdks\21'; Version = '21.0.5'; Vendor = $null }) }
}
function Get-CorvelSessionSwitch([string] $Alias) {
    $script:Runs++
    [pscustomobject]@{ Failed = $false; JavaHome = "/jdks/$Alias"; PathSuffix = ''
        PathPrefix = "/jdks/$Alias/bin" + [IO.Path]::PathSeparator }
}
function Set-CorvelSessionJdk($Switch, [string] $BasePath = $env:PATH) {
    $env:JAVA_HOME = $Switch.JavaHome
    $env:PATH = $Switch.PathPrefix + $BasePath + $Switch.PathSuffix
}
function Write-CorvelError { throw 'not expected here' }
if ($Hook -eq 'Prompt') {
    function Test-CorvelLocationChangedAction { $false }
}

# The median time of $Step over the rounds, in milliseconds; $Before runs untimed before each.
function Measure-Median([scriptblock] $Step, [scriptblock] $Before = {}) {
    $watch = New-Object System.Diagnostics.Stopwatch
    $times = New-Object System.Collections.Generic.List[double]
    for ($i = 0; $i -lt $Rounds; $i++) {
        & $Before $i
        $watch.Restart()
        & $Step $i
        $watch.Stop()
        $times.Add($watch.Elapsed.TotalMilliseconds)
    }
    $times.Sort()
    return $times[[int][Math]::Floor($times.Count / 2)]
}

$temp = Join-Path ([IO.Path]::GetTempPath()) ('corvel-bench-' + [guid]::NewGuid())
$below = (1..19 | ForEach-Object { "d$_" }) -join '/'
$deep = @('x', 'y' | ForEach-Object { Join-Path $temp "$_/$below" })
$deep | ForEach-Object { New-Item -ItemType Directory -Force $_ | Out-Null }
# Ten levels of folders, each holding the three project files at 64 KiB of lines that ask for
# nothing.
$hostile = foreach ($tree in 'h', 'k') {
    $folder = $temp
    foreach ($level in 1..10) {
        $folder = (New-Item -ItemType Directory -Force (Join-Path $folder "$tree$level")).FullName
        foreach ($file in @{ Name = '.java-version'; Line = "# a comment`n" },
            @{ Name = '.sdkmanrc'; Line = "kotlin=1.9`n" },
            @{ Name = '.tool-versions'; Line = "nodejs 20`n" }) {
            [IO.File]::WriteAllText((Join-Path $folder $file.Name),
                $file.Line * [Math]::Ceiling(64KB / $file.Line.Length))
        }
    }
    $folder
}
$project = (New-Item -ItemType Directory -Force (Join-Path $temp 'project/src')).FullName
[IO.File]::WriteAllText((Join-Path $temp 'project/.java-version'), "17`n")
$outside = (New-Item -ItemType Directory -Force (Join-Path $temp 'outside')).FullName
$savedPath = $env:PATH
$savedJavaHome = $env:JAVA_HOME
$savedPrompt = ${function:global:prompt}
${function:global:prompt} = { 'PS> ' }
$cases = @(
    @{ Name = 'prompt, location unchanged'; Goal = 'under 1 ms more'
        Step = { prompt | Out-Null }; Before = {} }
    @{ Name = 'change at depth 20, no project'; Goal = 'under 10 ms more'
        Step = { param($i) Set-Location -LiteralPath $deep[$i % 2]; prompt | Out-Null }
        Before = {} }
    @{ Name = 'change at depth 10, hostile files'; Goal = 'under 50 ms more'
        Step = { param($i) Set-Location -LiteralPath $hostile[$i % 2]; prompt | Out-Null }
        Before = {} }
    @{ Name = 'change into a project'; Goal = 'one corvel run per entry'
        Step = { Set-Location -LiteralPath $project; prompt | Out-Null }
        Before = { Set-Location -LiteralPath $outside; prompt | Out-Null } }
)
try {
    Set-Location -LiteralPath $outside
    $rows = foreach ($case in $cases) {
        $bare = Measure-Median $case.Step $case.Before
        Set-Location -LiteralPath $outside
        Enable-CorvelProjectJdk -Quiet
        $script:Runs = 0
        $on = Measure-Median $case.Step $case.Before
        $runs = $script:Runs
        Disable-CorvelProjectJdk
        [pscustomobject]@{
            Case          = $case.Name
            'Switch (ms)' = [Math]::Round($on, 3)
            'Bare (ms)'   = [Math]::Round($bare, 3)
            'More (ms)'   = [Math]::Round($on - $bare, 3)
            'corvel runs' = $runs
            Goal          = $case.Goal
        }
    }
    $edition = "PowerShell $($PSVersionTable.PSVersion), hook $Hook, $Rounds rounds"
    Write-Output $edition
    $rows | Format-Table -AutoSize | Out-String -Width 200 | Write-Output
} finally {
    Set-Location -LiteralPath ([IO.Path]::GetTempPath())
    Disable-CorvelProjectJdk
    ${function:global:prompt} = $savedPrompt
    $env:PATH = $savedPath
    $env:JAVA_HOME = $savedJavaHome
    Remove-Item -LiteralPath $temp -Recurse -Force
}
