# Reading config.json, for completion.

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
