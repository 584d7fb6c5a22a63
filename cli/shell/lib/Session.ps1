# The session switch: corvel's export-shell lines applied to this session; Use-CorvelJdk.

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
