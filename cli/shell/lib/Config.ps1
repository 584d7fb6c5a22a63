# Reading config.json as strictly as corvel does: a file corvel takes as damaged reads as none.

# The last file read: its name, last-write time, length and entries.
$script:ConfigCache = $null
# PowerShell 7 carries System.Text.Json, a strict reader; Windows PowerShell 5.1 gets the
# module's own reader below.
$script:UseJsonDocument = $null -ne ('System.Text.Json.JsonDocument' -as [type])
# A JSON string token, as JSON's grammar has it.
$script:JsonStringPattern = '"(?:[^"\\\x00-\x1F]|\\(?:["\\/bfnrt]|u[0-9A-Fa-f]{4}))*"'
# One JSON token after optional white space: a string, a punctuation mark, a number or a literal.
$script:JsonTokenPattern = New-Object System.Text.RegularExpressions.Regex @(
    ("\G[ \t\r\n]*(?:($script:JsonStringPattern)|([{}\[\]:,])|" +
        '(-?(?:0|[1-9][0-9]*)(?:\.[0-9]+)?(?:[eE][+-]?[0-9]+)?|true|false|null))'),
    [System.Text.RegularExpressions.RegexOptions]::CultureInvariant)
# The layout corvel writes, whatever the white space: "current", then "versions" with records of
# "path", "detected_version" and "vendor" in that order. A file in it is read with one match, the
# common case, quick in Windows PowerShell 5.1 too; any other is read token by token.
$script:CorvelLayoutPattern = & {
    $s = $script:JsonStringPattern
    $w = '[ \t\r\n]*'
    $record = "(?<alias>$s)$w`:$w\{$w""path""$w`:$w(?<path>$s)$w,$w""detected_version""$w`:$w" +
        "(?<version>$s|null)$w,$w""vendor""$w`:$w(?<vendor>$s|null)$w\}"
    New-Object System.Text.RegularExpressions.Regex @(
        ("\A$w\{$w""current""$w`:$w(?<current>$s|null)$w,$w""versions""$w`:$w\{$w" +
            "(?>(?:$record(?:$w,$w$record)*)?)$w\}$w\}$w\z"),
        [System.Text.RegularExpressions.RegexOptions]::CultureInvariant)
}
$script:LoneSurrogatePattern = '[\uD800-\uDBFF](?![\uDC00-\uDFFF])|' +
    '(?<![\uD800-\uDBFF])[\uDC00-\uDFFF]'
# An escape that may stand for half of a surrogate pair: without one, no string needs checking.
$script:SurrogateEscapePattern = '\\u[dD][89a-fA-F]'

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

# The entries of config.json through System.Text.Json (no comments, no trailing commas, any
# depth), or $null when its shape is not corvel's: an object with "versions" (an object of
# records, each with a string "path" and "detected_version" and "vendor" strings or null) and
# "current" (a string or null); other members are skipped, a member of those named twice is an
# error. Throws on bad syntax. $Text is the file's text, for Test-CorvelJsonScalar.
function Read-CorvelConfigJsonDocument([byte[]] $Bytes, [string] $Text) {
    $options = New-Object System.Text.Json.JsonDocumentOptions
    $options.MaxDepth = [int]::MaxValue
    $document = [System.Text.Json.JsonDocument]::Parse([System.ReadOnlyMemory[byte]] $Bytes,
        $options)
    try {
        $root = $document.RootElement
        if ($root.ValueKind -ne 'Object' -or -not (Test-CorvelJsonScalar $Text)) {
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
        $builder = New-CorvelConfigBuilder
        $entries = $builder.Entries
        $index = $builder.Index
        foreach ($record in $versions.EnumerateObject()) {
            $fields = $record.Value
            $alias = $record.Name
            if ($fields.ValueKind -ne 'Object' -or $null -eq $alias) {
                return $null
            }
            $path = $null
            $version = $null
            $vendor = $null
            $seen = 0
            foreach ($field in $fields.EnumerateObject()) {
                $name = $field.Name
                $value = $field.Value
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
                $kind = $value.ValueKind
                $isString = $kind -eq 'String'
                $wrongType = -not $isString -and ($kind -ne 'Null' -or $bit -eq 1)
                if (($seen -band $bit) -or $wrongType) {
                    return $null
                }
                $seen = $seen -bor $bit
                if (-not $isString) {
                    continue
                }
                if ($bit -eq 1) {
                    $path = $value.GetString()
                } elseif ($bit -eq 2) {
                    $version = $value.GetString()
                } else {
                    $vendor = $value.GetString()
                }
            }
            if ($null -eq $path) {
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
# corvel refuses. The token has JSON's grammar, whose escapes Regex.Unescape reads alike.
function ConvertFrom-CorvelJsonString([string] $Token) {
    $inner = $Token.Substring(1, $Token.Length - 2)
    if ($inner.IndexOf([char] '\') -lt 0) {
        return $inner
    }
    $text = [regex]::Unescape($inner)
    if ($inner -match $script:SurrogateEscapePattern -and
        $text -match $script:LoneSurrogatePattern) {
        return $null
    }
    return $text
}

# Whether a JSON number token is one corvel reads: within the range of a double.
function Test-CorvelJsonNumber([string] $Token) {
    $value = 0.0
    return [double]::TryParse($Token, [System.Globalization.NumberStyles]::Float,
        [System.Globalization.CultureInfo]::InvariantCulture, [ref] $value) -and
        -not [double]::IsInfinity($value)
}

# Whether every string and number of a JSON text of valid grammar is one corvel reads: no escaped
# lone surrogate, no number beyond the range of a double. Looks at the tokens only when a quick
# search finds an escape of a surrogate, or a number that may be long enough to overflow (with
# fewer than 200 digits and an exponent below 100 none can).
function Test-CorvelJsonScalar([string] $Text) {
    $surrogates = $Text -match $script:SurrogateEscapePattern
    $large = $Text -match '[eE][+-]?[0-9]{3}|[0-9]{200}'
    if (-not $surrogates -and -not $large) {
        return $true
    }
    foreach ($token in [regex]::Matches($Text, '"(?:[^"\\]|\\.)*"|-?[0-9][-+.eE0-9]*')) {
        $value = $token.Value
        if ($value[0] -eq [char] '"') {
            if ($surrogates -and $null -eq (ConvertFrom-CorvelJsonString $value)) {
                return $false
            }
        } elseif ($large -and -not (Test-CorvelJsonNumber $value)) {
            return $false
        }
    }
    return $true
}

# The entries of a file in corvel's own layout (a match of CorvelLayoutPattern) that holds no
# escape of a surrogate. Made for speed: no call per entry.
function Read-CorvelConfigLayout($Layout) {
    $aliases = $Layout.Groups['alias'].Captures
    $paths = $Layout.Groups['path'].Captures
    $versions = $Layout.Groups['version'].Captures
    $vendors = $Layout.Groups['vendor'].Captures
    $builder = New-CorvelConfigBuilder
    $entries = $builder.Entries
    $index = $builder.Index
    $i = 0
    foreach ($capture in $aliases) {
        $alias = $capture.Value
        $alias = [regex]::Unescape($alias.Substring(1, $alias.Length - 2))
        $path = $paths[$i].Value
        $path = [regex]::Unescape($path.Substring(1, $path.Length - 2))
        $version = $versions[$i].Value
        $vendor = $vendors[$i].Value
        $version = if ($version -ceq 'null') { $null } else {
            [regex]::Unescape($version.Substring(1, $version.Length - 2)) }
        $vendor = if ($vendor -ceq 'null') { $null } else {
            [regex]::Unescape($vendor.Substring(1, $vendor.Length - 2)) }
        # Add-CorvelConfigEntry, written out: a call per entry would double the time.
        $entry = [pscustomobject]@{ Alias = $alias; Path = $path; Version = $version
            Vendor = $vendor }
        $at = 0
        if ($index.TryGetValue($alias, [ref] $at)) {
            $entries[$at] = $entry
        } else {
            $index[$alias] = $entries.Count
            $entries.Add($entry)
        }
        $i++
    }
    return , $entries.ToArray()
}

# The entries of config.json through the module's own strict reader (for Windows PowerShell 5.1,
# whose .NET has no strict one): JSON's grammar exactly, then the shape rules above, read
# token by token without recursion. Returns $null for anything corvel would refuse.
function Read-CorvelConfigText([string] $Text) {
    if ($Text -notmatch $script:SurrogateEscapePattern) {
        $layout = $script:CorvelLayoutPattern.Match($Text)
        if ($layout.Success) {
            return Read-CorvelConfigLayout $layout
        }
    }
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
        if ($literal -match '^[-0-9]' -and -not (Test-CorvelJsonNumber $literal)) {
            return $null
        }
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
# byte-order mark, invalid UTF-8 (overlong forms and encoded surrogates too) or a NUL byte is
# damage too. Throws on what the reader of PowerShell 7 cannot parse.
function Read-CorvelConfigByte([byte[]] $Bytes) {
    if ($Bytes.Length -ge 3 -and $Bytes[0] -eq 0xEF -and $Bytes[1] -eq 0xBB -and
        $Bytes[2] -eq 0xBF) {
        return $null
    }
    if ([array]::IndexOf($Bytes, [byte] 0) -ge 0) {
        return $null
    }
    $text = (New-Object System.Text.UTF8Encoding $false, $true).GetString($Bytes)
    if ($script:UseJsonDocument) {
        return Read-CorvelConfigJsonDocument $Bytes $text
    }
    return Read-CorvelConfigText $text
}

# What reading config.json gave: File (its full name, $null without APPDATA), Entries (an array,
# possibly empty, of objects with Alias, Path, Version and Vendor, the last two $null when not
# recorded; $null unless the file was read) and Problem: $null, 'Missing', 'Damaged' (corvel
# would take it as damaged) or 'Unreadable' with the system's Reason. The file is read again only
# when its last-write time or length has changed. Never throws and never adds to $Error.
function Read-CorvelConfigFile {
    if (-not $env:APPDATA) {
        return New-CorvelConfigState $null $null 'Missing'
    }
    # The file's name and, when it is there, what was read of it: the cache when the file has
    # not changed since, else its bytes.
    $read = Invoke-CorvelCaught {
        $file = [System.IO.Path]::Combine($env:APPDATA, 'corvel', 'config.json')
        $info = New-Object System.IO.FileInfo $file
        $seen = @{ File = $file; Cache = $null }
        $cache = $script:ConfigCache
        if (-not $info.Exists) {
            return $seen
        }
        if ($null -ne $cache -and $cache.File -ceq $file -and
            $cache.Ticks -eq $info.LastWriteTimeUtc.Ticks -and $cache.Length -eq $info.Length) {
            $seen.Cache = $cache
        } else {
            $seen.Cache = @{ File = $file; Ticks = $info.LastWriteTimeUtc.Ticks
                Length = $info.Length; Bytes = [System.IO.File]::ReadAllBytes($file) }
        }
        return $seen
    }
    if ($null -ne $read.Reason) {
        return New-CorvelConfigState "$env:APPDATA" $null 'Unreadable' $read.Reason
    }
    $file = $read.Value.File
    $cache = $read.Value.Cache
    $script:ConfigCache = $cache
    if ($null -eq $cache) {
        return New-CorvelConfigState $file $null 'Missing'
    }
    if (-not $cache.ContainsKey('State')) {
        $entries = (Invoke-CorvelCaught { Read-CorvelConfigByte $cache.Bytes }).Value
        $problem = $null
        if ($null -eq $entries) {
            $problem = 'Damaged'
        }
        $cache.Remove('Bytes')
        $cache.State = New-CorvelConfigState $file $entries $problem
    }
    return $cache.State
}

function New-CorvelConfigState([string] $File, $Entries, $Problem, [string] $Reason) {
    return [pscustomobject]@{ File = $File; Entries = $Entries; Problem = $Problem
        Reason = $Reason }
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
