# Finding and running corvel.exe, and reading what it writes to standard error.

$script:ErrorPrefix = 'Error: '

# The corvel.exe beside this module (where the ZIP puts it), else the first one on PATH.
function Find-CorvelExe {
    $beside = Join-Path $script:ModuleRoot 'corvel.exe'
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
