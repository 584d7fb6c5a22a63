# Project files that pin a JDK: .java-version, .sdkmanrc and .tool-versions, looked for from a
# folder up to the root of its drive or share; what they ask for, read as a registered alias or a
# Java version; and Get-/Set-CorvelProjectJdk. Reads config.json (through Get-CorvelConfig) and
# never writes it; the only file written is the .java-version of Set-CorvelProjectJdk.

# In this order in each folder; the first that asks for a Java version wins.
$script:CorvelProjectFileNames = @('.java-version', '.sdkmanrc', '.tool-versions')
# The request is on the first lines; a bound keeps a huge or endless file from costing a prompt.
$script:CorvelProjectReadLimit = 64KB

# The text of a project file's first 64 KiB: UTF-8 with or without a BOM, or UTF-16 LE or BE with
# a BOM. $null when the file cannot be read (gone, locked, no access), which asks for nothing.
function Read-CorvelProjectText([string] $File) {
    try {
        $share = [System.IO.FileShare]::ReadWrite -bor [System.IO.FileShare]::Delete
        $stream = New-Object System.IO.FileStream $File, 'Open', 'Read', $share
        try {
            $bytes = New-Object byte[] $script:CorvelProjectReadLimit
            $count = 0
            while ($count -lt $bytes.Length) {
                $read = $stream.Read($bytes, $count, $bytes.Length - $count)
                if ($read -le 0) {
                    break
                }
                $count += $read
            }
        } finally {
            $stream.Dispose()
        }
    } catch {
        return $null
    }
    if ($count -ge 3 -and $bytes[0] -eq 0xEF -and $bytes[1] -eq 0xBB -and $bytes[2] -eq 0xBF) {
        return [System.Text.Encoding]::UTF8.GetString($bytes, 3, $count - 3)
    }
    if ($count -ge 2 -and $bytes[0] -eq 0xFF -and $bytes[1] -eq 0xFE) {
        return [System.Text.Encoding]::Unicode.GetString($bytes, 2, $count - 2)
    }
    if ($count -ge 2 -and $bytes[0] -eq 0xFE -and $bytes[1] -eq 0xFF) {
        return [System.Text.Encoding]::BigEndianUnicode.GetString($bytes, 2, $count - 2)
    }
    return [System.Text.Encoding]::UTF8.GetString($bytes, 0, $count)
}

# What a project file's text asks for, by the file's name; $null when it asks for no Java version.
function Get-CorvelProjectRequest([string] $Name, [string] $Text) {
    foreach ($line in ($Text -split '\r?\n')) {
        $line = $line.Trim()
        if ($line -eq '' -or $line.StartsWith('#')) {
            continue
        }
        if ($Name -eq '.java-version') {
            return $line
        }
        if ($Name -eq '.sdkmanrc') {
            if ($line -cmatch '^java\s*=\s*(.*)$' -and $Matches[1] -ne '') {
                return $Matches[1]
            }
            continue
        }
        # .tool-versions: 'java VERSION [FALLBACK...]', where a word from '#' on is a comment.
        $words = @($line -split '\s+')
        if ($words.Count -ge 2 -and $words[0] -ceq 'java' -and -not $words[1].StartsWith('#')) {
            return $words[1]
        }
    }
    return $null
}

# The project file that applies in $Folder: the nearest folder, up to the root of its drive or
# share, holding a file that asks for a Java version. Returns @{ File; Request } or $null. Looks
# for at most the three names in each folder and reads only the files that are there.
function Find-CorvelProjectFile([string] $Folder) {
    $root = [System.IO.Path]::GetPathRoot($Folder)
    $dir = $Folder
    if ($dir.Length -gt $root.Length) {
        $dir = $dir.TrimEnd([System.IO.Path]::DirectorySeparatorChar,
            [System.IO.Path]::AltDirectorySeparatorChar)
    }
    while ($dir) {
        foreach ($name in $script:CorvelProjectFileNames) {
            $file = [System.IO.Path]::Combine($dir, $name)
            if (-not [System.IO.File]::Exists($file)) {
                continue
            }
            $text = Read-CorvelProjectText $file
            if ($null -eq $text) {
                continue
            }
            $request = Get-CorvelProjectRequest $name $text
            if ($null -ne $request) {
                return @{ File = $file; Request = $request }
            }
        }
        $parent = [System.IO.Path]::GetDirectoryName($dir)
        if (-not $parent -or $parent -eq $dir) {
            break
        }
        $dir = $parent
    }
    return $null
}

# The file-system folder of the current location; $null outside the file system (HKCU:, Env:).
function Get-CorvelProjectLocation {
    $location = $ExecutionContext.SessionState.Path.CurrentLocation
    if ($location.Provider.Name -ne 'FileSystem' -or -not $location.ProviderPath) {
        return $null
    }
    return $location.ProviderPath
}

# A version text as its numbers (digit strings without leading zeros), or $null when it cannot be
# read: a distribution prefix such as 'temurin-' and a suffix such as '+8', '-tem' or '.LTS' are
# dropped, and the legacy '1.N' (N >= 2) is Java N. Strings keep any length of number exact.
function ConvertTo-CorvelVersionNumber([string] $Text) {
    if (-not $Text) {
        return $null
    }
    if ($Text -match '^\p{L}') {
        $dash = [regex]::Match($Text, '-(?=[0-9])')
        if (-not $dash.Success) {
            return $null
        }
        $Text = $Text.Substring($dash.Index + 1)
    }
    $read = [regex]::Match($Text, '^([0-9]+(?:[._][0-9]+)*)(?:[-+._].*)?$',
        [System.Text.RegularExpressions.RegexOptions]::Singleline)
    if (-not $read.Success) {
        return $null
    }
    $numbers = New-Object System.Collections.Generic.List[string]
    foreach ($part in ($read.Groups[1].Value -split '[._]')) {
        $number = $part.TrimStart('0')
        if ($number -eq '') {
            $number = '0'
        }
        $numbers.Add($number)
    }
    if ($numbers.Count -ge 2 -and $numbers[0] -eq '1' -and
        (Compare-CorvelVersionPart $numbers[1] '2') -ge 0) {
        $numbers.RemoveAt(0)
    }
    return , $numbers.ToArray()
}

# Compares two numbers given as digit strings without leading zeros: -1, 0 or 1.
function Compare-CorvelVersionPart([string] $Left, [string] $Right) {
    if ($Left.Length -ne $Right.Length) {
        return [Math]::Sign($Left.Length - $Right.Length)
    }
    return [Math]::Sign([string]::CompareOrdinal($Left, $Right))
}

# Compares two versions number by number, a missing number counting as 0: -1, 0 or 1.
function Compare-CorvelVersion([string[]] $Left, [string[]] $Right) {
    $count = [Math]::Max($Left.Count, $Right.Count)
    for ($i = 0; $i -lt $count; $i++) {
        $a = '0'
        $b = '0'
        if ($i -lt $Left.Count) {
            $a = $Left[$i]
        }
        if ($i -lt $Right.Count) {
            $b = $Right[$i]
        }
        $order = Compare-CorvelVersionPart $a $b
        if ($order -ne 0) {
            return $order
        }
    }
    return 0
}

# Resolves a request against the registered JDKs ($Config from Get-CorvelConfig, $null when none
# read). Returns @{ Entry = the matching entry or $null; Problem = $null, 'Unreadable' or
# 'Unmatched' }. An alias, exactly, wins; else the highest version that the request's numbers
# begin, and between equal versions the alias first in ordinal order.
function Resolve-CorvelProjectRequest([string] $Request, $Config) {
    $entries = @($Config | Where-Object { $null -ne $_ })
    foreach ($entry in $entries) {
        if ($entry.Alias -ceq $Request) {
            return @{ Entry = $entry; Problem = $null }
        }
    }
    $wanted = ConvertTo-CorvelVersionNumber $Request
    if ($null -eq $wanted) {
        return @{ Entry = $null; Problem = 'Unreadable' }
    }
    $best = $null
    $bestVersion = $null
    foreach ($entry in $entries) {
        $version = ConvertTo-CorvelVersionNumber $entry.Version
        if ($null -eq $version -or $version.Count -lt $wanted.Count) {
            continue
        }
        $prefix = $true
        for ($i = 0; $i -lt $wanted.Count; $i++) {
            if ($version[$i] -cne $wanted[$i]) {
                $prefix = $false
                break
            }
        }
        if (-not $prefix) {
            continue
        }
        $order = 1
        if ($null -ne $best) {
            $order = Compare-CorvelVersion $version $bestVersion
            if ($order -eq 0 -and [string]::CompareOrdinal($entry.Alias, $best.Alias) -lt 0) {
                $order = 1
            }
        }
        if ($order -gt 0) {
            $best = $entry
            $bestVersion = $version
        }
    }
    if ($null -eq $best) {
        return @{ Entry = $null; Problem = 'Unmatched' }
    }
    return @{ Entry = $best; Problem = $null }
}

function Get-CorvelProjectJdk {
    <#
    .SYNOPSIS
    Shows which project file pins a JDK for the current folder, and which registered JDK it means.

    .DESCRIPTION
    Looks in the current folder, then in each parent up to the root of its drive or share, for
    the first of .java-version, .sdkmanrc and .tool-versions that asks for a Java version; the
    nearest folder wins. The request is read as a registered alias (exactly, letter case too),
    else as a Java version: the highest registered JDK whose version begins with the requested
    numbers ('17' matches 17.0.15; '17.0.2' matches 17.0.2 but not 17.0.21).

    Returns one object with Alias (empty when no registered JDK matches the request), Request,
    File (its full path) and Root (the JDK's folder, empty with Alias). Returns nothing outside a
    project, and outside the file system (HKCU:, Env:).

    .EXAMPLE
    Get-CorvelProjectJdk

    Alias  Request  File                        Root
    -----  -------  ----                        ----
    java17 17       C:\work\shop\.java-version  C:\jdks\jdk-17.0.15
    #>
    [CmdletBinding()]
    param()

    $folder = Get-CorvelProjectLocation
    if ($null -eq $folder) {
        return
    }
    $project = Find-CorvelProjectFile $folder
    if ($null -eq $project) {
        return
    }
    $resolved = Resolve-CorvelProjectRequest $project.Request (Get-CorvelConfig)
    $alias = ''
    $root = ''
    if ($null -ne $resolved.Entry) {
        $alias = $resolved.Entry.Alias
        $root = $resolved.Entry.Path
    }
    [pscustomobject]@{
        PSTypeName = 'Corvel.ProjectJdk'
        Alias      = $alias
        Request    = $project.Request
        File       = $project.File
        Root       = $root
    }
}

function Set-CorvelProjectJdk {
    <#
    .SYNOPSIS
    Pins a JDK for the current folder and the folders below it, in a .java-version file.

    .DESCRIPTION
    Writes REQUEST and a line feed, in UTF-8 without a byte order mark, to .java-version in the
    current folder, replacing what it held. REQUEST is a registered alias or a Java version such
    as 21, 17.0.2 or temurin-17; it must resolve to a registered JDK now ('corvel list' shows
    them), and it may not begin with '#', hold a line break, or begin or end with white space.
    Otherwise an error is written and the file is left as it was.

    With Enable-CorvelProjectJdk on, the session switches to the JDK at once.

    .PARAMETER Request
    The alias or version to pin. Tab completes the registered aliases.

    .EXAMPLE
    Set-CorvelProjectJdk 21

    Pins the highest registered JDK 21 for this folder; the file reads "21".
    #>
    [CmdletBinding(SupportsShouldProcess = $true)]
    param(
        [Parameter(Mandatory = $true, Position = 0)]
        [string] $Request
    )

    $folder = Get-CorvelProjectLocation
    if ($null -eq $folder) {
        Write-CorvelError $PSCmdlet ('A project file can only be written in a file-system ' +
            'folder; the current location is not one.') InvalidOperation $Request
        return
    }
    if ($Request.StartsWith('#') -or $Request -match '[\r\n]' -or $Request.Trim() -cne $Request) {
        Write-CorvelError $PSCmdlet ("'$Request' would not read back from .java-version: it may " +
            'not begin with #, hold a line break, or begin or end with white space.') `
            InvalidArgument $Request
        return
    }
    $resolved = Resolve-CorvelProjectRequest $Request (Get-CorvelConfig)
    if ($null -eq $resolved.Entry) {
        $message = "No registered JDK matches '$Request'; 'corvel list' shows them, and " +
            "'corvel scan --auto-add' registers the installed ones."
        if ($resolved.Problem -eq 'Unreadable') {
            $message = "'$Request' is neither a registered alias nor a Java version."
        }
        Write-CorvelError $PSCmdlet $message ObjectNotFound $Request
        return
    }
    $file = [System.IO.Path]::Combine($folder, '.java-version')
    if (-not $PSCmdlet.ShouldProcess($file, "Pin '$Request'")) {
        return
    }
    try {
        $utf8 = New-Object System.Text.UTF8Encoding $false
        [System.IO.File]::WriteAllText($file, "$Request`n", $utf8)
    } catch {
        Write-CorvelError $PSCmdlet "Cannot write $file`: $($_.Exception.Message)" WriteError $file
        return
    }
    Invoke-CorvelProjectHook -Force
}
