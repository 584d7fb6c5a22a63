# Reading config.json as strictly as corvel does: a file corvel takes as damaged reads as none.

# The last file read: its name, last-write time, length and entries.
$script:ConfigCache = $null
# PowerShell 7 carries System.Text.Json, a strict reader; Windows PowerShell 5.1 gets the
# module's own reader below.
$script:UseJsonDocument = $null -ne ('System.Text.Json.JsonDocument' -as [type])
# One JSON token after optional white space: a string, a punctuation mark, a number or a literal.
$script:JsonTokenPattern = New-Object System.Text.RegularExpressions.Regex @(
    ('\G[ \t\r\n]*(?:("(?:[^"\\\x00-\x1F]|\\(?:["\\/bfnrt]|u[0-9A-Fa-f]{4}))*")|([{}\[\]:,])|' +
        '(-?(?:0|[1-9][0-9]*)(?:\.[0-9]+)?(?:[eE][+-]?[0-9]+)?|true|false|null))'),
    [System.Text.RegularExpressions.RegexOptions]::CultureInvariant)
$script:LoneSurrogatePattern = '[\uD800-\uDBFF](?![\uDC00-\uDFFF])|' +
    '(?<![\uD800-\uDBFF])[\uDC00-\uDFFF]'

# Gathers the entries in the file's order; an alias named again keeps its place and takes the
# later record, as corvel's reader does.
function New-CorvelConfigBuilder {
    return @{
        Entries = New-Object System.Collections.Generic.List[object]
        Index   = New-Object 'System.Collections.Generic.Dictionary[string,int]' (
            [System.StringComparer]::Ordinal)
    }
}

function Add-CorvelConfigEntry($Builder, [string] $Alias, [string] $Path, $Version, $Vendor) {
    $entry = [pscustomobject]@{ Alias = $Alias; Path = $Path; Version = $Version; Vendor = $Vendor }
    $at = 0
    if ($Builder.Index.TryGetValue($Alias, [ref] $at)) {
        $Builder.Entries[$at] = $entry
    } else {
        $Builder.Index[$Alias] = $Builder.Entries.Count
        $Builder.Entries.Add($entry)
    }
}

# The entries of config.json through System.Text.Json (no comments, no trailing commas), or $null
# when its shape is not corvel's: an object with "versions" (an object of records, each with a
# string "path" and "detected_version" and "vendor" strings or null) and "current" (a string or
# null); other members are skipped, a member of those named twice is an error. Throws on bad
# syntax.
function Read-CorvelConfigJsonDocument([byte[]] $Bytes) {
    $options = New-Object System.Text.Json.JsonDocumentOptions
    $options.MaxDepth = 100000
    try {
        $document = [System.Text.Json.JsonDocument]::Parse([System.ReadOnlyMemory[byte]] $Bytes,
            $options)
    } catch {
        return $null
    }
    try {
        $root = $document.RootElement
        if ($root.ValueKind -ne 'Object') {
            return $null
        }
        $versions = $null
        $seenCurrent = $false
        foreach ($member in $root.EnumerateObject()) {
            if ($member.Name -ceq 'current') {
                if ($seenCurrent -or $member.Value.ValueKind -notin 'String', 'Null') {
                    return $null
                }
                $seenCurrent = $true
            } elseif ($member.Name -ceq 'versions') {
                if ($null -ne $versions -or $member.Value.ValueKind -ne 'Object') {
                    return $null
                }
                $versions = $member.Value
            }
        }
        if ($null -eq $versions) {
            return $null
        }
        # An escaped surrogate may be a lone one, which corvel refuses and this reader lets
        # pass (or, in a name, gives as $null: PowerShell swallows a property's exception).
        $text = [System.Text.Encoding]::UTF8.GetString($Bytes)
        $checkSurrogates = $text -match '\\u[dD][89a-fA-F]'
        $builder = New-CorvelConfigBuilder
        $entries = $builder.Entries
        $index = $builder.Index
        foreach ($record in $versions.EnumerateObject()) {
            $fields = $record.Value
            if ($fields.ValueKind -ne 'Object') {
                return $null
            }
            $path = $null
            $version = $null
            $vendor = $null
            $seen = 0
            foreach ($field in $fields.EnumerateObject()) {
                $name = $field.Name
                $bit = 0
                if ($name -ceq 'path') {
                    $bit = 1
                } elseif ($name -ceq 'detected_version') {
                    $bit = 2
                } elseif ($name -ceq 'vendor') {
                    $bit = 4
                } else {
                    continue
                }
                $value = $field.Value
                $kind = $value.ValueKind
                $isString = $kind -eq 'String'
                $wrongType = -not $isString -and ($kind -ne 'Null' -or $bit -eq 1)
                if (($seen -band $bit) -or $wrongType) {
                    return $null
                }
                $seen = $seen -bor $bit
                if ($bit -eq 1) {
                    $path = $value.GetString()
                } elseif ($bit -eq 2 -and $isString) {
                    $version = $value.GetString()
                } elseif ($bit -eq 4 -and $isString) {
                    $vendor = $value.GetString()
                }
            }
            $alias = $record.Name
            if ($null -eq $path -or $null -eq $alias -or ($checkSurrogates -and
                    ($alias -match $script:LoneSurrogatePattern -or
                    $path -match $script:LoneSurrogatePattern))) {
                return $null
            }
            $entry = [pscustomobject]@{ Alias = $alias; Path = $path; Version = $version
                Vendor = $vendor }
            $at = 0
            if ($index.TryGetValue($alias, [ref] $at)) {
                $entries[$at] = $entry
            } else {
                $index[$alias] = $entries.Count
                $entries.Add($entry)
            }
        }
        return , $builder.Entries.ToArray()
    } finally {
        $document.Dispose()
    }
}

# The text of a JSON string token, escapes resolved; $null for an escaped lone surrogate, which
# corvel refuses.
function ConvertFrom-CorvelJsonString([string] $Token) {
    $inner = $Token.Substring(1, $Token.Length - 2)
    if ($inner.IndexOf([char] '\') -lt 0) {
        return $inner
    }
    $text = [regex]::Replace($inner, '\\(?:u([0-9A-Fa-f]{4})|(.))', {
            param($match)
            if ($match.Groups[1].Success) {
                return [string][char][System.Convert]::ToInt32($match.Groups[1].Value, 16)
            }
            switch -CaseSensitive ($match.Groups[2].Value) {
                'b' { return [string][char] 8 }
                'f' { return [string][char] 12 }
                'n' { return "`n" }
                'r' { return "`r" }
                't' { return "`t" }
                default { return $_ }
            }
        })
    if ($text -match $script:LoneSurrogatePattern) {
        return $null
    }
    return $text
}

# The entries of config.json through the module's own strict reader (for Windows PowerShell 5.1,
# whose .NET has no strict one): JSON's grammar exactly, then the shape rules above, read
# token by token without recursion. Returns $null for anything corvel would refuse.
function Read-CorvelConfigText([string] $Text) {
    $builder = New-CorvelConfigBuilder
    $containers = New-Object System.Collections.Generic.List[char]
    # The grammar: what may come next.
    $expect = 'Value'
    # The shape, as corvel's reader walks it: the object being read, the value awaited, and how
    # deep inside a skipped member the reader is.
    $level = 'Start'
    $pending = 'Top'
    $skip = 0
    $seenTop = @{}
    $seenField = @{}
    $alias = $null
    $path = $null
    $version = $null
    $vendor = $null
    $end = 0
    foreach ($match in $script:JsonTokenPattern.Matches($Text)) {
        $end = $match.Index + $match.Length
        $string = $match.Groups[1]
        $mark = $match.Groups[2].Value
        if ($string.Success -and ($expect -eq 'KeyOrEnd' -or $expect -eq 'Key')) {
            $name = ConvertFrom-CorvelJsonString $string.Value
            if ($null -eq $name) {
                return $null
            }
            $expect = 'Colon'
            if ($skip -gt 0) {
                continue
            }
            $pending = 'Ignored'
            if ($level -eq 'Versions') {
                $alias = $name
                $pending = 'Entry'
            } elseif (($level -eq 'Top' -and ($name -ceq 'current' -or $name -ceq 'versions')) -or
                ($level -eq 'Entry' -and $name -cin 'path', 'detected_version', 'vendor')) {
                $seen = $seenTop
                if ($level -eq 'Entry') {
                    $seen = $seenField
                }
                if ($seen.ContainsKey($name)) {
                    return $null
                }
                $seen[$name] = $true
                $pending = $name
            }
            continue
        }
        if ($mark -eq ':') {
            if ($expect -ne 'Colon') {
                return $null
            }
            $expect = 'Value'
            continue
        }
        if ($mark -eq ',') {
            if ($expect -ne 'CommaOrEnd') {
                return $null
            }
            $expect = 'Value'
            if ($containers[$containers.Count - 1] -eq [char] '{') {
                $expect = 'Key'
            }
            continue
        }
        if ($mark -eq '}' -or $mark -eq ']') {
            $open = [char] '{'
            $allowed = 'KeyOrEnd'
            if ($mark -eq ']') {
                $open = [char] '['
                $allowed = 'ValueOrEnd'
            }
            if (($expect -ne $allowed -and $expect -ne 'CommaOrEnd') -or $containers.Count -eq 0 -or
                $containers[$containers.Count - 1] -ne $open) {
                return $null
            }
            $containers.RemoveAt($containers.Count - 1)
            $expect = 'CommaOrEnd'
            if ($containers.Count -eq 0) {
                $expect = 'End'
            }
            if ($skip -gt 0) {
                $skip--
            } elseif ($level -eq 'Entry') {
                if ($null -eq $path) {
                    return $null
                }
                Add-CorvelConfigEntry $builder $alias $path $version $vendor
                $level = 'Versions'
            } elseif ($level -eq 'Versions') {
                $level = 'Top'
            } elseif ($level -eq 'Top') {
                if (-not $seenTop.ContainsKey('versions')) {
                    return $null
                }
                $level = 'Done'
            }
            continue
        }
        # A value: a string, a number, a literal, or the start of an object or an array.
        if ($expect -ne 'Value' -and $expect -ne 'ValueOrEnd') {
            return $null
        }
        $expect = 'CommaOrEnd'
        if ($mark -eq '{' -or $mark -eq '[') {
            $containers.Add([char] $mark)
            $expect = 'KeyOrEnd'
            if ($mark -eq '[') {
                $expect = 'ValueOrEnd'
            }
            if ($skip -gt 0 -or $pending -eq 'Ignored') {
                $skip++
            } elseif ($mark -eq '[') {
                return $null
            } elseif ($pending -eq 'Top') {
                $level = 'Top'
            } elseif ($pending -eq 'versions') {
                $level = 'Versions'
            } elseif ($pending -eq 'Entry') {
                $level = 'Entry'
                $seenField = @{}
                $path = $null
                $version = $null
                $vendor = $null
            } else {
                return $null
            }
            continue
        }
        if ($containers.Count -eq 0) {
            $expect = 'End'
        }
        $value = $null
        if ($string.Success) {
            $value = ConvertFrom-CorvelJsonString $string.Value
            if ($null -eq $value) {
                return $null
            }
        }
        $literal = $match.Groups[3].Value
        if ($skip -gt 0 -or $pending -eq 'Ignored') {
            continue
        }
        if ($pending -notin 'current', 'path', 'detected_version', 'vendor' -or
            ($null -eq $value -and ($literal -cne 'null' -or $pending -ceq 'path'))) {
            return $null
        }
        if ($pending -ceq 'path') {
            $path = $value
        } elseif ($pending -ceq 'detected_version') {
            $version = $value
        } elseif ($pending -ceq 'vendor') {
            $vendor = $value
        }
    }
    if ($expect -ne 'End' -or $Text.Substring($end).Trim(" `t`r`n".ToCharArray()).Length -ne 0) {
        return $null
    }
    return , $builder.Entries.ToArray()
}

# The entries of config.json's bytes, or $null when corvel would take the file as damaged. A
# byte-order mark, invalid UTF-8 or a NUL byte is damage too.
function Read-CorvelConfigByte([byte[]] $Bytes) {
    if ($Bytes.Length -ge 3 -and $Bytes[0] -eq 0xEF -and $Bytes[1] -eq 0xBB -and
        $Bytes[2] -eq 0xBF) {
        return $null
    }
    if ([array]::IndexOf($Bytes, [byte] 0) -ge 0) {
        return $null
    }
    if ($script:UseJsonDocument) {
        return Read-CorvelConfigJsonDocument $Bytes
    }
    $strict = New-Object System.Text.UTF8Encoding $false, $true
    return Read-CorvelConfigText $strict.GetString($Bytes)
}

# What reading config.json gave: File (its full name, $null without APPDATA), Entries (an array,
# possibly empty, of objects with Alias, Path, Version and Vendor, the last two $null when not
# recorded; $null unless the file was read) and Problem: $null, 'Missing', 'Damaged' (corvel
# would take it as damaged) or 'Unreadable' with the system's Reason. The file is read again only
# when its last-write time or length has changed. Never throws and never adds to $Error.
function Read-CorvelConfigFile {
    $errorCount = $global:Error.Count
    $file = $null
    try {
        if (-not $env:APPDATA) {
            return New-CorvelConfigState $null $null 'Missing'
        }
        $file = [System.IO.Path]::Combine($env:APPDATA, 'corvel', 'config.json')
        $info = New-Object System.IO.FileInfo $file
        if (-not $info.Exists) {
            $script:ConfigCache = $null
            return New-CorvelConfigState $file $null 'Missing'
        }
        $cache = $script:ConfigCache
        if ($null -ne $cache -and $cache.File -ceq $file -and
            $cache.Ticks -eq $info.LastWriteTimeUtc.Ticks -and $cache.Length -eq $info.Length) {
            return $cache.State
        }
        $script:ConfigCache = $null
        $entries = Read-CorvelConfigByte ([System.IO.File]::ReadAllBytes($file))
        $problem = $null
        if ($null -eq $entries) {
            $problem = 'Damaged'
        }
        $state = New-CorvelConfigState $file $entries $problem
        $script:ConfigCache = @{
            File   = $file
            Ticks  = $info.LastWriteTimeUtc.Ticks
            Length = $info.Length
            State  = $state
        }
        return $state
    } catch {
        $reason = $_.Exception
        while ($null -ne $reason.InnerException) {
            $reason = $reason.InnerException
        }
        return New-CorvelConfigState $file $null 'Unreadable' $reason.Message
    } finally {
        # The readers' caught exceptions too.
        Restore-CorvelErrorList $errorCount
    }
}

function New-CorvelConfigState([string] $File, $Entries, [string] $Problem, [string] $Reason) {
    if ($Problem -eq '') {
        $Problem = $null
    }
    return [pscustomobject]@{ File = $File; Entries = $Entries; Problem = $Problem; Reason = $Reason }
}

# Why config.json gave no list, in words for a message: '{file} is damaged' and the like.
function Get-CorvelConfigProblemText($State) {
    $file = ConvertTo-CorvelDisplayText $State.File
    switch ($State.Problem) {
        'Missing' { return "corvel's config.json ($file) does not exist" }
        'Damaged' {
            return "corvel's config.json ($file) is damaged; 'corvel list' says where"
        }
        default {
            return "corvel's config.json ($file) cannot be read: " +
                (ConvertTo-CorvelDisplayText $State.Reason)
        }
    }
}

function Get-CorvelConfig {
    <#
    .SYNOPSIS
    Gets the JDKs registered in corvel's config.json, read as strictly as corvel reads it.

    .DESCRIPTION
    Returns $null when config.json is missing, unreadable or damaged; else one array (possibly
    empty) of objects with Alias, Path, Version (detected_version) and Vendor, the last two $null
    when not recorded, in the file's order. Never throws and never adds to $Error.
    #>
    [CmdletBinding()]
    param()
    $entries = (Read-CorvelConfigFile).Entries
    if ($null -eq $entries) {
        return $null
    }
    return , $entries
}

# Whether a registered JDK's folder is there. A root that is not a full path on this system (a
# Windows root where the module runs elsewhere) cannot be checked here and counts as present.
function Test-CorvelJdkRoot([string] $Root) {
    if ([System.IO.Path]::DirectorySeparatorChar -eq [char] '\') {
        $full = $Root -match '^(?:[A-Za-z]:[\\/]|[\\/]{2}[^\\/])'
    } else {
        $full = $Root.StartsWith('/')
    }
    return -not $full -or [System.IO.Directory]::Exists($Root)
}
