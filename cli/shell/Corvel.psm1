# The Corvel module: Use-CorvelJdk (alias corvel-use) switches the JDK with 'corvel use' and
# applies the same switch to this session, and Tab completes corvel's commands, flags and
# registered aliases. It runs corvel.exe only through its documented commands, reads
# config.json only to complete aliases, and writes no file. Written for Windows PowerShell 5.1
# and PowerShell 7 alike.
Set-StrictMode -Version Latest

$script:Subcommands = @('list', 'add', 'remove', 'use', 'current', 'scan', 'doctor', 'export-shell',
    'help')
$script:Flags = @{
    'remove'       = @('--force', '-f')
    'scan'         = @('--auto-add', '-a')
    'export-shell' = @('--shell')
}
$script:AliasCommands = @('use', 'remove', 'export-shell')
$script:ErrorPrefix = 'Error: '

# The corvel.exe beside this module (where the ZIP puts it), else the first one on PATH.
function Find-CorvelExe {
    $beside = Join-Path $PSScriptRoot 'corvel.exe'
    if (Test-Path -LiteralPath $beside -PathType Leaf) {
        return $beside
    }
    $found = Get-Command -Name 'corvel.exe' -CommandType Application -ErrorAction SilentlyContinue |
        Select-Object -First 1
    if ($found) {
        return $found.Path
    }
    return $null
}

# One argument as a Windows command line writes it, so that the program reads back the same text:
# quoted when it holds white space or a quote, backslashes doubled before a quote or the end.
function ConvertTo-CommandLineArgument([string] $Text) {
    if ($Text -ne '' -and $Text -notmatch '[\s"]') {
        return $Text
    }
    return '"' + (($Text -replace '(\\*)"', '$1$1\"') -replace '(\\+)$', '$1$1') + '"'
}

# Runs corvel.exe and returns its ExitCode, Output and ErrorLines. Standard error is always read
# (corvel writes UTF-8 to a pipe, whatever the console's code page). Standard output is read only
# with -CaptureOutput; otherwise it stays the console, where corvel draws it as at the prompt.
function Invoke-Corvel([string] $Exe, [string[]] $Arguments, [switch] $CaptureOutput) {
    $utf8 = New-Object System.Text.UTF8Encoding $false
    $info = New-Object System.Diagnostics.ProcessStartInfo
    $info.FileName = $Exe
    $info.Arguments = @($Arguments | ForEach-Object { ConvertTo-CommandLineArgument $_ }) -join ' '
    $info.UseShellExecute = $false
    $info.RedirectStandardError = $true
    $info.StandardErrorEncoding = $utf8
    if ($CaptureOutput) {
        $info.RedirectStandardOutput = $true
        $info.StandardOutputEncoding = $utf8
    }
    $process = [System.Diagnostics.Process]::Start($info)
    try {
        $errorText = $process.StandardError.ReadToEndAsync()
        $output = ''
        if ($CaptureOutput) {
            $output = $process.StandardOutput.ReadToEnd()
        }
        $process.WaitForExit()
        return [pscustomobject]@{
            ExitCode   = $process.ExitCode
            Output     = $output
            ErrorLines = @($errorText.Result -split '\r?\n' | Where-Object { $_ -ne '' })
        }
    } finally {
        $process.Dispose()
    }
}

# The message of a failed run: corvel's "Error: " line without that prefix, else all it wrote to
# standard error, else its exit status.
function Get-CorvelErrorMessage($Result, [string] $Command) {
    $errors = @($Result.ErrorLines | Where-Object { $_.StartsWith($script:ErrorPrefix) })
    if ($errors.Count -gt 0) {
        return ($errors | ForEach-Object { $_.Substring($script:ErrorPrefix.Length) }) -join "`n"
    }
    if ($Result.ErrorLines.Count -gt 0) {
        return $Result.ErrorLines -join "`n"
    }
    return "corvel $Command failed with exit status $($Result.ExitCode)."
}

function Use-CorvelJdk {
    <#
    .SYNOPSIS
    Switches to a registered JDK, for new programs and for this PowerShell session.

    .DESCRIPTION
    Runs 'corvel use ALIAS', which sets JAVA_HOME and Path in the Windows environment, and then
    applies the lines of 'corvel export-shell ALIAS --shell powershell' to this session, so that
    $env:JAVA_HOME names the JDK and its bin folder comes first in $env:PATH.

    When either command fails, the session is left as it was, corvel's error becomes a
    PowerShell error, and $LASTEXITCODE holds corvel's exit status; it is 0 on success.

    corvel.exe is looked for beside this module first, then on PATH.

    .PARAMETER Alias
    The alias the JDK was registered under ('corvel list' shows them). Tab completes it.

    .EXAMPLE
    Use-CorvelJdk java21

    Switches to the JDK registered as java21. 'corvel-use java21' does the same.
    #>
    [CmdletBinding()]
    param(
        [Parameter(Mandatory = $true, Position = 0)]
        [string] $Alias
    )

    $exe = Find-CorvelExe
    if (-not $exe) {
        Write-Error -Message 'corvel.exe is neither beside the Corvel module nor on PATH.' `
            -Category ObjectNotFound
        return
    }

    $switched = Invoke-Corvel $exe @('use', $Alias)
    foreach ($line in $switched.ErrorLines) {
        if (-not $line.StartsWith($script:ErrorPrefix)) {
            $Host.UI.WriteErrorLine($line)
        }
    }
    if ($switched.ExitCode -ne 0) {
        $global:LASTEXITCODE = $switched.ExitCode
        Write-Error -Message (Get-CorvelErrorMessage $switched 'use') -Category InvalidOperation `
            -TargetObject $Alias
        return
    }

    # Whatever else export-shell writes to standard error (the elevation warning, a damaged
    # config.json) 'use' has just shown.
    $export = Invoke-Corvel $exe @('export-shell', $Alias, '--shell', 'powershell') -CaptureOutput
    $lines = @($export.Output -split '\r?\n' | Where-Object { $_ -ne '' -and $_[0] -ne '#' })
    $unexpected = @($lines | Where-Object { $_ -notmatch '^\$env:(JAVA_HOME|PATH) = ' })
    $message = $null
    if ($export.ExitCode -ne 0) {
        $message = Get-CorvelErrorMessage $export 'export-shell'
    } elseif ($lines.Count -eq 0 -or $unexpected.Count -gt 0) {
        $message = 'corvel export-shell printed something other than JAVA_HOME and PATH lines.'
    }
    if ($null -eq $message) {
        $saved = @($env:JAVA_HOME, $env:PATH)
        try {
            Invoke-Expression ($lines -join "`n")
        } catch {
            $env:JAVA_HOME = $saved[0]
            $env:PATH = $saved[1]
            $message = "Applying the lines of corvel export-shell failed: $($_.Exception.Message)"
        }
    }
    if ($null -ne $message) {
        $global:LASTEXITCODE = $export.ExitCode
        if ($export.ExitCode -eq 0) {
            $global:LASTEXITCODE = 1
        }
        Write-Error -Message $message -Category InvalidOperation -TargetObject $Alias
        return
    }
    $global:LASTEXITCODE = 0
}

Set-Alias -Name corvel-use -Value Use-CorvelJdk

# The aliases registered in config.json; none when it is missing or does not read.
function Get-CorvelAlias {
    if (-not $env:APPDATA) {
        return
    }
    try {
        $file = Join-Path (Join-Path $env:APPDATA 'corvel') 'config.json'
        $config = Get-Content -LiteralPath $file -Raw -Encoding UTF8 -ErrorAction Stop |
            ConvertFrom-Json -ErrorAction Stop
        $versions = $config.versions
        if ($versions -is [System.Management.Automation.PSCustomObject]) {
            $versions.PSObject.Properties | ForEach-Object { $_.Name }
        }
    } catch {
        # A missing or damaged file completes nothing.
    }
}

# Completion results for the candidates that start with the word typed so far (quotes around it
# ignored). A candidate PowerShell would not pass on as one plain word goes in single quotes.
function New-CorvelCompletion([string[]] $Candidates, [string] $Word, [string] $Type) {
    $typed = $Word
    if ($typed -match '^[''"\u2018-\u201E]') {
        $typed = ($typed.Substring(1) -replace '[''"\u2018-\u201E]$', '') -replace "''", "'"
    }
    foreach ($candidate in $Candidates) {
        if (-not $candidate.StartsWith($typed, [System.StringComparison]::OrdinalIgnoreCase)) {
            continue
        }
        $text = $candidate
        if ($candidate -eq '' -or $candidate -match '[\s''"`$&(){}\[\];,|<>@#\u2018-\u201E]') {
            $text = "'" + ($candidate -replace '([''\u2018-\u201B])', '$1$1') + "'"
        }
        New-Object System.Management.Automation.CompletionResult $text, $candidate, $Type, `
            $candidate
    }
}

# What follows the typed words of a corvel command line: $Words holds the command name and every
# complete word before the one being typed.
function Get-CorvelCompletion([string[]] $Words, [string] $Word) {
    if ($Words.Count -le 1) {
        if ($Word.StartsWith('-')) {
            return New-CorvelCompletion @('--help', '--version') $Word 'ParameterName'
        }
        return New-CorvelCompletion $script:Subcommands $Word 'ParameterValue'
    }
    $subcommand = $Words[1]
    if ($subcommand -notin $script:Subcommands) {
        return
    }
    if ($subcommand -eq 'export-shell' -and $Words[-1] -eq '--shell') {
        return New-CorvelCompletion @('powershell', 'cmd') $Word 'ParameterValue'
    }
    if ($Word.StartsWith('-')) {
        $flags = @($script:Flags[$subcommand]) + '--help' | Where-Object { $_ }
        return New-CorvelCompletion $flags $Word 'ParameterName'
    }
    $positional = 0
    for ($i = 2; $i -lt $Words.Count; $i++) {
        if (-not $Words[$i].StartsWith('-') -and $Words[$i - 1] -ne '--shell') {
            $positional++
        }
    }
    if ($positional -gt 0) {
        return
    }
    if ($subcommand -in $script:AliasCommands) {
        return New-CorvelCompletion @(Get-CorvelAlias) $Word 'ParameterValue'
    }
    if ($subcommand -eq 'help') {
        return New-CorvelCompletion $script:Subcommands $Word 'ParameterValue'
    }
}

Register-ArgumentCompleter -Native -CommandName 'corvel', 'corvel.exe' -ScriptBlock {
    param($wordToComplete, $commandAst, $cursorPosition)
    $elements = $commandAst.CommandElements
    $before = @($elements | Where-Object { $_.Extent.EndOffset -lt $cursorPosition })
    Get-CorvelCompletion @($before | ForEach-Object { $_.Extent.Text }) $wordToComplete
}

$completeAlias = {
    param($commandName, $parameterName, $wordToComplete, $commandAst, $fakeBoundParameters)
    New-CorvelCompletion @(Get-CorvelAlias) $wordToComplete 'ParameterValue'
}
Register-ArgumentCompleter -CommandName Use-CorvelJdk, corvel-use -ParameterName Alias `
    -ScriptBlock $completeAlias

Export-ModuleMember -Function 'Use-CorvelJdk' -Alias 'corvel-use'
