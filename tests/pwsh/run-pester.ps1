# Runs one Pester test file with the pinned Pester (CTest passes its manifest in CORVEL_PESTER)
# and fails when a test, or the file itself, fails, or when no test ran.
param(
    [Parameter(Mandatory = $true)]
    [string] $Path
)
$ErrorActionPreference = 'Stop'
$pester = $env:CORVEL_PESTER
if (-not $pester -or -not (Test-Path -LiteralPath $pester)) {
    Write-Error ("Pester is not installed at '$pester'; scripts/test.sh installs it " +
        '(install_missing_packages in scripts/common.sh).')
    exit 1
}
Import-Module $pester -Force
# The tests run under PowerShell's default preference, as a user's session does.
$ErrorActionPreference = 'Continue'
$configuration = New-PesterConfiguration
$configuration.Run.Path = $Path
$configuration.Run.PassThru = $true
$configuration.Output.Verbosity = 'Detailed'
$result = Invoke-Pester -Configuration $configuration
if ($result.Result -ne 'Passed' -or $result.FailedCount -gt 0 -or $result.PassedCount -eq 0) {
    exit 1
}
exit 0
