# Project files that pin a JDK: .java-version, .sdkmanrc and .tool-versions, looked for from a
# folder up to the root of its drive or share; what they ask for, read as a registered alias or a
# Java version; and Get-/Set-CorvelProjectJdk. Reads config.json (through Get-CorvelConfig) and
# never writes it; the only file written is the .java-version of Set-CorvelProjectJdk.

# In this order in each folder; the first that asks for a Java version wins.
$script:CorvelProjectFileNames = @('.java-version', '.sdkmanrc', '.tool-versions')
# A request stands on one of the first lines: reading no further keeps a huge or hostile file
# from costing a prompt.
$script:CorvelProjectReadLimit = 4KB
# What each file asks for, on its text with every line end made a line feed: the first line of
# .java-version that is neither empty nor a comment; the value of a java= line of .sdkmanrc (the
# last one counts, as the lines apply in order); the second word of the first java line of
# .tool-versions (a word from '#' on is a comment).
$script:CorvelRequestPatterns = @{
    '.java-version'  = '^[^\S\n]*([^\s#][^\n]*)'
    '.sdkmanrc'      = '^[^\S\n]*java[^\S\n]*=[^\S\n]*(\S[^\n]*)'
    '.tool-versions' = '^[^\S\n]*java[^\S\n]+([^\s#]\S*)'
}
foreach ($name in @($script:CorvelRequestPatterns.Keys)) {
    $script:CorvelRequestPatterns[$name] = New-Object System.Text.RegularExpressions.Regex @(
        $script:CorvelRequestPatterns[$name],
        [System.Text.RegularExpressions.RegexOptions] 'Multiline, CultureInvariant')
}
# The vendor corvel records for each distribution name a request may begin with, as part of the
# recorded text, letter case aside.
$script:CorvelDistributionVendors = @{
    temurin    = @('Adoptium')
    corretto   = @('Amazon')
    zulu       = @('Azul')
    liberica   = @('BellSoft')
    microsoft  = @('Microsoft')
    oracle     = @('Oracle')
    sapmachine = @('SAP')
    semeru     = @('IBM', 'International Business Machines')
    graalvm    = @('GraalVM')
    dragonwell = @('Alibaba')
}
# Requests are shown cut to this many characters.
$script:CorvelRequestShownLength = 60

# The text of a project file's first 4 KiB, up to its last line end when the file goes on: UTF-8
# with or without a BOM, or UTF-16 LE or BE with a BOM. Throws when the file cannot be read
# (locked, no access).
function Read-CorvelProjectText([string] $File) {
    # ::new rather than New-Object: this runs for every project file on every change of location.
    $share = [System.IO.FileShare]::ReadWrite -bor [System.IO.FileShare]::Delete
    $stream = [System.IO.FileStream]::new($File, [System.IO.FileMode]::Open,
        [System.IO.FileAccess]::Read, $share)
    try {
        $bytes = [byte[]]::new($script:CorvelProjectReadLimit)
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
    $encoding = [System.Text.Encoding]::UTF8
    $skip = 0
    if ($count -ge 3 -and $bytes[0] -eq 0xEF -and $bytes[1] -eq 0xBB -and $bytes[2] -eq 0xBF) {
        $skip = 3
    } elseif ($count -ge 2 -and $bytes[0] -eq 0xFF -and $bytes[1] -eq 0xFE) {
        $encoding = [System.Text.Encoding]::Unicode
        $skip = 2
    } elseif ($count -ge 2 -and $bytes[0] -eq 0xFE -and $bytes[1] -eq 0xFF) {
        $encoding = [System.Text.Encoding]::BigEndianUnicode
        $skip = 2
    }
    $text = $encoding.GetString($bytes, $skip, $count - $skip)
    if ($count -eq $bytes.Length) {
        # The last line may go on past the bound: what was read of it is no request.
        $text = $text.Substring(0, $text.LastIndexOfAny([char[]] "`r`n") + 1)
    }
    return $text
}

# What a project file's text asks for, by the file's name; $null when it asks for no Java version.
# CR LF, LF and a lone CR all end a line.
function Get-CorvelProjectRequest([string] $Name, [string] $Text) {
    $found = $script:CorvelRequestPatterns[$Name].Matches(($Text -replace '\r\n?', "`n"))
    if ($found.Count -eq 0) {
        return $null
    }
    $at = 0
    if ($Name -eq '.sdkmanrc') {
        $at = $found.Count - 1
    }
    return $found[$at].Groups[1].Value.Trim()
}

# The project file that applies in $Folder: the nearest folder, up to the root of its drive or
# share, holding a file that asks for a Java version, or a file that cannot be read (which counts
# as that folder's project file). Returns @{ File; Request; Reason } (Reason: why the file cannot
# be read, else $null) or $null. Looks for at most the three names in each folder and reads only
# the files that are there.
function Find-CorvelProjectFile([string] $Folder) {
    # One guarded run for the whole search: a file that cannot be read reaches neither $Error nor
    # the -ErrorVariable of a cmdlet that searches.
    return (Invoke-CorvelCaught { Search-CorvelProjectFile $Folder }).Value
}

function Search-CorvelProjectFile([string] $Folder) {
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
            try {
                $text = Read-CorvelProjectText $file
            } catch {
                return @{ File = $file; Request = $null; Reason = (Get-CorvelReason $_) }
            }
            $request = Get-CorvelProjectRequest $name $text
            if ($null -ne $request) {
                return @{ File = $file; Request = $request; Reason = $null }
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

# A version text read: Numbers (digit strings without leading zeros), PreRelease (an early-access
# or other pre-release build, such as 22-ea) and Distribution (the name in front, such as
# 'temurin', else $null); $null when it cannot be read. A distribution name such as 'temurin-' and
# a suffix such as '+8', '-tem' or '.LTS' are dropped, and the legacy '1.N' (N >= 2) is Java N.
# Strings keep any length of number exact.
function ConvertTo-CorvelVersion([string] $Text) {
    if (-not $Text) {
        return $null
    }
    $distribution = $null
    if ($Text -match '^\p{L}') {
        $dash = [regex]::Match($Text, '-(?=[0-9])')
        if (-not $dash.Success) {
            return $null
        }
        $distribution = $Text.Substring(0, $dash.Index)
        $Text = $Text.Substring($dash.Index + 1)
    }
    # A suffix begins with '-' or '+' and a letter or digit, or with '.' or '_' and a letter: '17.'
    # and '17..2' are no versions.
    $read = [regex]::Match($Text,
        '^([0-9]+(?:[._][0-9]+)*)((?:[-+][\p{L}\p{N}]|[._]\p{L}).*)?$',
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
    # '-ea', '-beta', '-internal' mark a pre-release; the legacy build number '-b10' does not.
    $preRelease = $read.Groups[2].Value -match '^-(?![bB][0-9])\p{L}'
    return @{ Numbers = $numbers.ToArray(); PreRelease = $preRelease; Distribution = $distribution }
}

# Compares two numbers given as digit strings without leading zeros: -1, 0 or 1.
function Compare-CorvelVersionPart([string] $Left, [string] $Right) {
    if ($Left.Length -ne $Right.Length) {
        return [Math]::Sign($Left.Length - $Right.Length)
    }
    return [Math]::Sign([string]::CompareOrdinal($Left, $Right))
}

# Compares two versions number by number, a missing number counting as 0, and a released build
# above a pre-release of the same numbers: -1, 0 or 1.
function Compare-CorvelVersion($Left, $Right) {
    $count = [Math]::Max($Left.Numbers.Count, $Right.Numbers.Count)
    for ($i = 0; $i -lt $count; $i++) {
        $a = '0'
        $b = '0'
        if ($i -lt $Left.Numbers.Count) {
            $a = $Left.Numbers[$i]
        }
        if ($i -lt $Right.Numbers.Count) {
            $b = $Right.Numbers[$i]
        }
        $order = Compare-CorvelVersionPart $a $b
        if ($order -ne 0) {
            return $order
        }
    }
    return [int] $Right.PreRelease - [int] $Left.PreRelease
}

# Whether a candidate (@{ Entry; Version }) ranks above the best so far: the higher version, and
# between equal versions the alias first in ordinal order.
function Test-CorvelBetterCandidate($Candidate, $Best) {
    if ($null -eq $Best) {
        return $true
    }
    $order = Compare-CorvelVersion $Candidate.Version $Best.Version
    return $order -gt 0 -or
        ($order -eq 0 -and
            [string]::CompareOrdinal($Candidate.Entry.Alias, $Best.Entry.Alias) -lt 0)
}

# Resolves a request against the registered JDKs ($Config from Read-CorvelConfigFile). Returns
# @{ Entry; Problem; Fallback }. An alias, exactly, wins; else the highest version that the
# request's numbers begin, of the vendor its distribution name stands for when one of those
# matches (else of any vendor, and Fallback holds the name). A JDK whose folder is not there is
# passed over. Problem: $null; 'Config' (config.json cannot be read); 'Unreadable' (neither an
# alias nor a version); 'Unmatched'; 'Missing' (Entry is the best match, whose folder is gone).
function Resolve-CorvelProjectRequest([string] $Request, $Config) {
    if ($Config.Problem -eq 'Damaged' -or $Config.Problem -eq 'Unreadable') {
        return @{ Entry = $null; Problem = 'Config'; Fallback = $null }
    }
    $entries = @($Config.Entries | Where-Object { $null -ne $_ })
    foreach ($entry in $entries) {
        if ($entry.Alias -ceq $Request) {
            $problem = $null
            if (-not (Test-CorvelJdkRoot $entry.Path)) {
                $problem = 'Missing'
            }
            return @{ Entry = $entry; Problem = $problem; Fallback = $null }
        }
    }
    $wanted = ConvertTo-CorvelVersion $Request
    if ($null -eq $wanted) {
        return @{ Entry = $null; Problem = 'Unreadable'; Fallback = $null }
    }
    $vendors = $null
    if ($null -ne $wanted.Distribution) {
        $vendors = $script:CorvelDistributionVendors[$wanted.Distribution]
    }
    $best = $null
    $bestOfVendor = $null
    $missing = $null
    foreach ($entry in $entries) {
        $version = ConvertTo-CorvelVersion $entry.Version
        if ($null -eq $version -or $version.Numbers.Count -lt $wanted.Numbers.Count) {
            continue
        }
        $prefix = $true
        for ($i = 0; $i -lt $wanted.Numbers.Count; $i++) {
            if ($version.Numbers[$i] -cne $wanted.Numbers[$i]) {
                $prefix = $false
                break
            }
        }
        if (-not $prefix) {
            continue
        }
        $candidate = @{ Entry = $entry; Version = $version }
        if (-not (Test-CorvelJdkRoot $entry.Path)) {
            if (Test-CorvelBetterCandidate $candidate $missing) {
                $missing = $candidate
            }
            continue
        }
        if (Test-CorvelBetterCandidate $candidate $best) {
            $best = $candidate
        }
        $ofVendor = $false
        foreach ($vendor in @($vendors)) {
            $ignoreCase = [System.StringComparison]::OrdinalIgnoreCase
            if ($null -ne $vendor -and $null -ne $entry.Vendor -and
                $entry.Vendor.IndexOf($vendor, $ignoreCase) -ge 0) {
                $ofVendor = $true
            }
        }
        if ($ofVendor -and (Test-CorvelBetterCandidate $candidate $bestOfVendor)) {
            $bestOfVendor = $candidate
        }
    }
    if ($null -ne $bestOfVendor) {
        return @{ Entry = $bestOfVendor.Entry; Problem = $null; Fallback = $null }
    }
    if ($null -ne $best) {
        $fallback = $null
        if ($null -ne $vendors) {
            $fallback = $wanted.Distribution
        }
        return @{ Entry = $best.Entry; Problem = $null; Fallback = $fallback }
    }
    if ($null -ne $missing) {
        return @{ Entry = $missing.Entry; Problem = 'Missing'; Fallback = $null }
    }
    return @{ Entry = $null; Problem = 'Unmatched'; Fallback = $null }
}

# Why a request resolved to no JDK, as the rest of a sentence that begins with the request, or
# $null when it resolved.
function Get-CorvelRequestProblemText($Resolved, $Config) {
    switch ($Resolved.Problem) {
        'Config' { return ", but $(Get-CorvelConfigProblemText $Config)." }
        'Unreadable' { return ', which is neither a registered alias nor a Java version.' }
        'Unmatched' {
            return ", which no registered JDK matches; 'corvel scan --auto-add' registers the " +
                'installed JDKs.'
        }
        'Missing' {
            $entry = $Resolved.Entry
            return ", registered as '$(ConvertTo-CorvelDisplayText $entry.Alias)' at " +
                "$(ConvertTo-CorvelDisplayText $entry.Path), a folder that does not exist."
        }
    }
    return $null
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

    A registered JDK whose folder is gone is passed over. A distribution name in front of the
    version ('temurin-17') prefers a JDK of that vendor, then takes any. Between equal versions
    a released build wins over an early-access one.

    Returns one object with Alias (empty when no registered JDK matches the request), Request,
    File (its full path) and Root (the JDK's folder, empty with Alias). Returns nothing outside a
    project, and outside the file system (HKCU:, Env:). A project file that cannot be read gives
    a warning and an empty Request.

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
    $request = [string] $project.Request
    $config = Read-CorvelConfigFile
    $resolved = @{ Entry = $null; Problem = 'Unreadable' }
    if ($null -ne $project.Reason) {
        Write-Warning ("$(ConvertTo-CorvelDisplayText $project.File) cannot be read: " +
            (ConvertTo-CorvelDisplayText $project.Reason))
    } else {
        $resolved = Resolve-CorvelProjectRequest $request $config
    }
    $alias = ''
    $root = ''
    if ($null -eq $resolved.Problem) {
        $alias = $resolved.Entry.Alias
        $root = $resolved.Entry.Path
    }
    [pscustomobject]@{
        PSTypeName = 'Corvel.ProjectJdk'
        Alias      = $alias
        Request    = $request
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
        $shown = ConvertTo-CorvelDisplayText $Request $script:CorvelRequestShownLength
        Write-CorvelError $PSCmdlet ("'$shown' would not read back from .java-version: it may " +
            'not begin with #, hold a line break, or begin or end with white space.') `
            InvalidArgument $Request
        return
    }
    $config = Read-CorvelConfigFile
    $resolved = Resolve-CorvelProjectRequest $Request $config
    if ($null -ne $resolved.Problem) {
        $shown = ConvertTo-CorvelDisplayText $Request $script:CorvelRequestShownLength
        switch ($resolved.Problem) {
            'Config' { $message = "Cannot check '$shown': $(Get-CorvelConfigProblemText $config)." }
            'Unreadable' { $message = "'$shown' is neither a registered alias nor a Java version." }
            'Missing' {
                $message = "'$shown' resolves to " +
                    "'$(ConvertTo-CorvelDisplayText $resolved.Entry.Alias)' at " +
                    "$(ConvertTo-CorvelDisplayText $resolved.Entry.Path), a folder that does " +
                    'not exist.'
            }
            default {
                $message = "No registered JDK matches '$shown'; 'corvel list' shows them, and " +
                    "'corvel scan --auto-add' registers the installed ones."
            }
        }
        Write-CorvelError $PSCmdlet $message ObjectNotFound $Request
        return
    }
    $file = [System.IO.Path]::Combine($folder, '.java-version')
    if (-not $PSCmdlet.ShouldProcess($file, "Pin '$Request'")) {
        return
    }
    $written = Invoke-CorvelCaught {
        $utf8 = New-Object System.Text.UTF8Encoding $false
        [System.IO.File]::WriteAllText($file, "$Request`n", $utf8)
    }
    if ($null -ne $written.Reason) {
        Write-CorvelError $PSCmdlet ("Cannot write $(ConvertTo-CorvelDisplayText $file): " +
            (ConvertTo-CorvelDisplayText $written.Reason)) WriteError $file
        return
    }
    Invoke-CorvelProjectHook -Force
}
