# Finding and running corvel.exe, reading what it writes to standard error, and raising errors
# through the calling cmdlet.

$script:ErrorPrefix = 'Error: '
$script:MissingExeMessage = 'corvel.exe is neither beside the Corvel module nor on PATH.'
# Control sequences (CSI ... final byte) that corvel writes when it colours standard error.
$script:ControlSequencePattern = '\x1B\[[0-?]*[ -/]*[@-~]'

# The corvel.exe beside this module (where the ZIP puts it), else the first one on PATH.
function Find-CorvelExe {
    $beside = Join-Path $script:ModuleRoot 'corvel.exe'
    if (Test-Path -LiteralPath $beside -PathType Leaf) {
        return $beside
    }
    $found = Get-Command -Name 'corvel.exe' -CommandType Application -ErrorAction Ignore |
        Select-Object -First 1
    if ($found) {
        return $found.Path
    }
    return $null
}

# Takes back from $Error what a caught exception added to it: the module reports its own
# failures once, as an error of the calling cmdlet or not at all.
function Restore-CorvelErrorList([int] $Count) {
    while ($global:Error.Count -gt $Count) {
        $global:Error.RemoveAt(0)
    }
}

# The message of the innermost exception of an error record, which PowerShell may have wrapped.
function Get-CorvelReason($ErrorRecord) {
    $reason = $ErrorRecord.Exception
    while ($null -ne $reason.InnerException) {
        $reason = $reason.InnerException
    }
    return $reason.Message
}

# Runs $Action and returns @{ Value = what it returned; Reason = $null }, or, when it throws,
# @{ Value = $null; Reason = the message of the innermost exception }. What it throws reaches
# neither $Error nor the -ErrorVariable of a cmdlet that called: the module reports its own
# failures once, as an error of the calling cmdlet or not at all.
function Invoke-CorvelCaught([scriptblock] $Action) {
    $errorCount = $global:Error.Count
    # A scriptblock run through Invoke is outside the calling cmdlet's error bookkeeping.
    $outcome = {
        param($Action)
        try {
            @{ Value = (& $Action); Reason = $null }
        } catch {
            @{ Value = $null; Reason = (Get-CorvelReason $_) }
        }
    }.InvokeReturnAsIs($Action)
    Restore-CorvelErrorList $errorCount
    return $outcome
}

# One argument as a Windows command line writes it, so that the program reads back the same text:
# quoted when it holds white space or a quote, backslashes doubled before a quote or the end.
function ConvertTo-CommandLineArgument([string] $Text) {
    if ($Text -ne '' -and $Text -notmatch '[\s"]') {
        return $Text
    }
    return '"' + (($Text -replace '(\\*)"', '$1$1\"') -replace '(\\+)$', '$1$1') + '"'
}

# Runs corvel.exe and returns its ExitCode, Output, ErrorLines and StartError (why it could not
# be started, else $null; ExitCode is then 1). Standard error is always read (corvel writes
# UTF-8 to a pipe, whatever the console's code page). Standard output is read only with
# -CaptureOutput; otherwise it stays the console, where corvel draws it as at the prompt.
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
    $started = Invoke-CorvelCaught { [System.Diagnostics.Process]::Start($info) }
    if ($null -ne $started.Reason) {
        return [pscustomobject]@{
            ExitCode   = 1
            Output     = ''
            ErrorLines = @()
            StartError = "Cannot start $Exe`: $($started.Reason)"
        }
    }
    $process = $started.Value
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
            StartError = $null
        }
    } finally {
        $process.Dispose()
    }
}

# The text without the colour and other control sequences corvel may have written.
function Remove-CorvelControlSequence([string] $Text) {
    return $Text -replace $script:ControlSequencePattern, ''
}

# Whether a standard-error line is corvel's "Error: " line, coloured or not.
function Test-CorvelErrorLine([string] $Line) {
    return (Remove-CorvelControlSequence $Line).StartsWith($script:ErrorPrefix)
}

# The message of a failed run: why it could not start, else corvel's "Error: " line without that
# prefix, else all it wrote to standard error (a usage error), else its status; in plain text,
# with the characters that could drive the terminal shown as U+FFFD.
function Get-CorvelErrorMessage($Result, [string] $Exe) {
    if ($null -ne $Result.StartError) {
        return $Result.StartError
    }
    $errors = @($Result.ErrorLines | Where-Object { Test-CorvelErrorLine $_ })
    $prefix = $script:ErrorPrefix.Length
    if ($errors.Count -eq 0) {
        $errors = $Result.ErrorLines
        $prefix = 0
    }
    if ($errors.Count -gt 0) {
        return ($errors | ForEach-Object {
                ConvertTo-CorvelDisplayText (Remove-CorvelControlSequence $_).Substring($prefix)
            }) -join "`n"
    }
    return "$Exe ended with exit status $($Result.ExitCode) and no error message."
}

# Shows the standard-error lines of a run that its error message leaves out: warnings beside an
# "Error: " line, everything of a run that succeeded; without colours, and with the characters that
# could drive the terminal shown as U+FFFD.
function Show-CorvelOtherErrorLine($Result) {
    $hasErrorLine = @($Result.ErrorLines | Where-Object { Test-CorvelErrorLine $_ }).Count -gt 0
    if ($Result.ExitCode -ne 0 -and -not $hasErrorLine) {
        return
    }
    foreach ($line in $Result.ErrorLines) {
        if (-not (Test-CorvelErrorLine $line)) {
            $plain = Remove-CorvelControlSequence $line
            $Host.UI.WriteErrorLine((ConvertTo-CorvelDisplayText $plain))
        }
    }
}

function Write-CorvelError {
    <#
    .SYNOPSIS
    Writes one error as an error of the calling cmdlet, as the caller's preference has it.

    .DESCRIPTION
    A module function sees the preference variables of the module's scope, not those of its
    caller. The caller's $ErrorActionPreference is taken into this scope unless -ErrorAction was
    given, so that the error is shown, only recorded, ignored, stops the caller or asks, as it
    would for a compiled cmdlet; $? turns False.

    .PARAMETER Cmdlet
    The $PSCmdlet of the advanced function that fails.

    .PARAMETER Message
    The error's message.

    .PARAMETER Category
    The error's category.

    .PARAMETER Target
    The object the error concerns.
    #>
    param(
        [Parameter(Mandatory = $true, Position = 0)]
        [System.Management.Automation.PSCmdlet] $Cmdlet,
        [Parameter(Mandatory = $true, Position = 1)]
        [string] $Message,
        [Parameter(Position = 2)]
        [System.Management.Automation.ErrorCategory] $Category = 'InvalidOperation',
        [Parameter(Position = 3)]
        [object] $Target = $null
    )
    $exception = New-Object System.InvalidOperationException $Message
    $record = New-Object System.Management.Automation.ErrorRecord $exception, 'CorvelError', `
        $Category, $Target
    if (-not $Cmdlet.MyInvocation.BoundParameters.ContainsKey('ErrorAction')) {
        $preference = $Cmdlet.GetVariableValue('ErrorActionPreference')
        if ($null -ne $preference) {
            $ErrorActionPreference = $preference
        }
    }
    $Cmdlet.WriteError($record)
}
