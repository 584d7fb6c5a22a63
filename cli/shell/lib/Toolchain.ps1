# Maven's toolchains.xml, where Maven's toolchains and Gradle (7.4 and later) find JDKs:
# Update-CorvelToolchain writes one entry per registered JDK and keeps every other byte of the
# file. Its entries carry <corvel.alias> in <provides>, which marks them as its own.

# A file written from scratch: the XML declaration and root of Maven's own template, UTF-8
# without a byte order mark, LF line ends (what Maven's template and Set-CorvelProjectJdk use, so
# the bytes are the same wherever the module runs) and two-space indentation.
$script:ToolchainTemplate = "<?xml version=`"1.0`" encoding=`"UTF-8`"?>`n" +
    '<toolchains xmlns="http://maven.apache.org/TOOLCHAINS/1.1.0" ' +
    "xmlns:xsi=`"http://www.w3.org/2001/XMLSchema-instance`"`n" +
    '  xsi:schemaLocation="http://maven.apache.org/TOOLCHAINS/1.1.0 ' +
    "http://maven.apache.org/xsd/toolchains-1.1.0.xsd`">`n</toolchains>`n"
# Text Maven would not read back as written: a space at either end (Maven trims), '${' (Maven
# expands ${env.NAME} after parsing, and no escape stops it), a control character (a reference
# to one stops every build) or a character XML cannot carry.
$script:ToolchainUnsafePattern = '^ | $|\$\{|[\p{Cc}\uFFFE\uFFFF]'
# A DOCTYPE, which may only follow the declaration, comments and processing instructions.
$script:ToolchainDoctypePattern =
    '^(?:\s|<\?(?:[^?]|\?(?!>))*\?>|<!--(?:[^-]|-(?!-))*-->)*<!DOCTYPE'
# A start tag, its attribute values skipped (a value may hold '>').
$script:ToolchainTagPattern = New-Object System.Text.RegularExpressions.Regex @(
    '\G<[^>"'']*(?:(?:"[^"]*"|''[^'']*'')[^>"'']*)*>')

# The text of a toolchains.xml, decoded as Maven reads it: by its byte order mark, else by the
# encoding its declaration names (UTF-8 when none; 'UTF8' too). Returns Text, Encoding (which
# writes nothing for a character it cannot hold) and Preamble (the mark's bytes). Throws when the
# bytes are not text in that encoding or would not be written back the same.
function Read-CorvelToolchainFile([string] $File) {
    $bytes = [System.IO.File]::ReadAllBytes($File)
    $encoding = 65001
    $skip = 0
    if ($bytes.Length -ge 3 -and $bytes[0] -eq 0xEF -and $bytes[1] -eq 0xBB -and
        $bytes[2] -eq 0xBF) {
        $skip = 3
    } elseif ($bytes.Length -ge 2 -and $bytes[0] -eq 0xFF -and $bytes[1] -eq 0xFE) {
        $encoding = 1200
        $skip = 2
    } elseif ($bytes.Length -ge 2 -and $bytes[0] -eq 0xFE -and $bytes[1] -eq 0xFF) {
        $encoding = 1201
        $skip = 2
    } else {
        $head = [System.Text.Encoding]::ASCII.GetString($bytes, 0,
            [Math]::Min($bytes.Length, 1024))
        if ($head -match '^<\?xml\s[^>]*?\bencoding\s*=\s*["'']([^"'']*)["'']' -and
            $Matches[1] -notmatch '^utf-?8$') {
            $encoding = $Matches[1]
        }
    }
    $encoding = [System.Text.Encoding]::GetEncoding($encoding,
        (New-Object System.Text.EncoderReplacementFallback ''),
        [System.Text.DecoderFallback]::ExceptionFallback)
    $text = $encoding.GetString($bytes, $skip, $bytes.Length - $skip)
    if ([System.Convert]::ToBase64String($encoding.GetBytes($text)) -cne
        [System.Convert]::ToBase64String($bytes, $skip, $bytes.Length - $skip)) {
        throw "its $($encoding.WebName) text would not be written back byte for byte"
    }
    $preamble = New-Object byte[] $skip
    [System.Array]::Copy($bytes, $preamble, $skip)
    return [pscustomobject]@{ Text = $text; Encoding = $encoding; Preamble = $preamble }
}

# Where things are in a toolchains.xml, read without a DTD, entities or a resolver: Close (the
# offset of the root's end tag, or of its '/>' when Empty) and Entries, one per <toolchain> child
# of the root: Start and End offsets, Alias (of <corvel.alias>, $null in an entry corvel did not
# write), Version, Vendor ($null without one) and Home (the jdkHome). Names are compared as Maven
# does, prefix and all, so that new elements without a prefix are in the root's namespace. Throws
# when the text is not well-formed XML, holds a DOCTYPE or has another root than <toolchains>.
function Read-CorvelToolchainLayout([string] $Text) {
    if ($Text -match $script:ToolchainDoctypePattern) {
        throw 'it holds a DOCTYPE, which Maven''s toolchains.xml never has'
    }
    $starts = New-Object System.Collections.Generic.List[int]
    $starts.Add(0)
    foreach ($break in [regex]::Matches($Text, '\r\n?|\n')) {
        $starts.Add($break.Index + $break.Length)
    }
    $lineNumber = [System.Xml.IXmlLineInfo].GetProperty('LineNumber')
    $linePosition = [System.Xml.IXmlLineInfo].GetProperty('LinePosition')
    $settings = New-Object System.Xml.XmlReaderSettings
    $settings.DtdProcessing = [System.Xml.DtdProcessing]::Prohibit
    $settings.XmlResolver = $null
    $reader = [System.Xml.XmlReader]::Create((New-Object System.IO.StringReader $Text), $settings)
    $layout = [pscustomobject]@{ Close = -1; Empty = $false
        Entries = New-Object System.Collections.Generic.List[object] }
    $names = @('', '', '', '')
    $entry = $null
    try {
        while ($reader.Read()) {
            $depth = $reader.Depth
            # Where the node's name begins (after '<' or '</').
            $at = $starts[$lineNumber.GetValue($reader) - 1] + $linePosition.GetValue($reader) - 1
            if ($reader.NodeType -eq 'Element') {
                if ($depth -le 3) {
                    $names[$depth] = $reader.Name
                }
                $end = -1
                if ($reader.IsEmptyElement) {
                    $tag = $script:ToolchainTagPattern.Match($Text, $at - 1)
                    $end = $tag.Index + $tag.Length
                }
                if ($depth -eq 0) {
                    if ($reader.Name -cne 'toolchains') {
                        throw "its root element is <$($reader.Name)>, not <toolchains>"
                    }
                    $layout.Empty = $end -ge 0
                    $layout.Close = $end - 2
                } elseif ($depth -eq 1 -and $reader.Name -ceq 'toolchain') {
                    $entry = [pscustomobject]@{ Start = $at - 1; End = $end; Alias = $null
                        Version = ''; Vendor = $null; Home = '' }
                    $layout.Entries.Add($entry)
                    if ($end -ge 0) {
                        $entry = $null
                    }
                } elseif ($depth -eq 3 -and $null -ne $entry -and
                    "$($names[2])/$($names[3])" -ceq 'provides/corvel.alias') {
                    $entry.Alias = ''
                }
            } elseif ($reader.NodeType -eq 'EndElement') {
                if ($depth -eq 0) {
                    $layout.Close = $at - 2
                } elseif ($depth -eq 1 -and $null -ne $entry) {
                    $entry.End = $Text.IndexOf([char] '>', $at) + 1
                    $entry = $null
                }
            } elseif ($depth -eq 4 -and $null -ne $entry -and $reader.NodeType -in
                'Text', 'CDATA', 'Whitespace', 'SignificantWhitespace') {
                switch -CaseSensitive ("$($names[2])/$($names[3])") {
                    'provides/corvel.alias' { $entry.Alias += $reader.Value }
                    'provides/version' { $entry.Version += $reader.Value }
                    'provides/vendor' { $entry.Vendor = "$($entry.Vendor)" + $reader.Value }
                    'configuration/jdkHome' { $entry.Home += $reader.Value }
                }
            }
        }
    } finally {
        $reader.Dispose()
    }
    return $layout
}

# The white space that begins the line up to $Offset, or $null when something else precedes it.
function Get-CorvelLineIndent([string] $Text, [int] $Offset) {
    $line = [regex]::Match($Text.Substring(0, $Offset), '(?:^|[\r\n])([ \t]*)\z', 'RightToLeft')
    if (-not $line.Success) {
        return $null
    }
    return $line.Groups[1].Value
}

# corvel's entry for a JDK, from <toolchain> to </toolchain>: each line after the first begins
# with $Indent and, for each level below <toolchain>, $Unit.
function Get-CorvelToolchainEntry($Jdk, [string] $Indent, [string] $Unit, [string] $Newline,
    $Encoding) {
    $x = @{}
    foreach ($name in 'Alias', 'Path', 'Version', 'Vendor') {
        $x[$name] = ConvertTo-CorvelXmlText $Jdk.$name $Encoding
    }
    $lines = @('0<toolchain>', '1<type>jdk</type>', '1<provides>',
        "2<version>$($x.Version)</version>")
    if ($null -ne $Jdk.Vendor) {
        $lines += "2<vendor>$($x.Vendor)</vendor>"
    }
    $lines += "2<corvel.alias>$($x.Alias)</corvel.alias>", '1</provides>', '1<configuration>',
        "2<jdkHome>$($x.Path)</jdkHome>", '1</configuration>', '0</toolchain>'
    $text = ''
    foreach ($line in $lines) {
        if ($text) {
            $text += $Newline + $Indent
        }
        $text += $Unit * [int] $line.Substring(0, 1) + $line.Substring(1)
    }
    return $text
}

# A text as XML character data; in an encoding that cannot hold a character, its reference.
function ConvertTo-CorvelXmlText([string] $Text, $Encoding) {
    $escaped = $Text.Replace('&', '&amp;').Replace('<', '&lt;').Replace('>', '&gt;')
    return [regex]::Replace($escaped, '[\uD800-\uDBFF][\uDC00-\uDFFF]|[^\x00-\x7F]', {
            param($match)
            if ($Encoding.GetByteCount($match.Value) -gt 0) {
                return $match.Value
            }
            return '&#x{0:X};' -f [char]::ConvertToUtf32($match.Value, 0)
        })
}

# The text of a toolchains.xml with the entries of $Jdks (Alias, Path, Version, Vendor): an entry
# of corvel's is kept where it is, rewritten when it says something else, and taken out with its
# line when its alias is not in $Jdks; the others go before the root's end tag. New entries take
# the indentation of the first other toolchain, and the file's line ends. Returns Text and
# Changes (a line for each).
function Merge-CorvelToolchain([string] $Text, $Layout, $Jdks, $Encoding) {
    $match = [regex]::Match($Text, '\r\n|\n|\r')
    $newline = if ($match.Success) { $match.Value } else { "`n" }
    $closeIndent = Get-CorvelLineIndent $Text $Layout.Close
    $indent = $null
    foreach ($entry in $Layout.Entries) {
        if ($null -eq $indent -and $null -eq $entry.Alias) {
            $indent = Get-CorvelLineIndent $Text $entry.Start
        }
    }
    if ($null -eq $indent) {
        $indent = "$closeIndent  "
    }
    $unit = '  '
    if ($indent.Length -gt "$closeIndent".Length -and $indent.StartsWith("$closeIndent")) {
        $unit = $indent.Substring("$closeIndent".Length)
    }
    $wanted = New-Object 'System.Collections.Generic.Dictionary[string,object]' (
        [System.StringComparer]::Ordinal)
    $order = foreach ($jdk in $Jdks) {
        $wanted[$jdk.Alias] = [pscustomobject]@{ Jdk = $jdk; Written = $false
            Text = Get-CorvelToolchainEntry $jdk $indent $unit $newline $Encoding }
        $wanted[$jdk.Alias]
    }
    $out = New-Object System.Text.StringBuilder
    $changes = New-Object System.Collections.Generic.List[string]
    $done = 0
    foreach ($entry in $Layout.Entries) {
        if ($null -eq $entry.Alias) {
            continue
        }
        $want = $null
        if ($wanted.TryGetValue($entry.Alias, [ref] $want) -and -not $want.Written) {
            $want.Written = $true
            if ($Text.Substring($entry.Start, $entry.End - $entry.Start) -cne $want.Text) {
                [void] $out.Append($Text, $done, $entry.Start - $done).Append($want.Text)
                $done = $entry.End
                $changes.Add((Get-CorvelToolchainChange 'Updated' $want.Jdk))
            }
            continue
        }
        # Taken out with its own line when nothing else stands on it.
        $start = $entry.Start
        $end = $entry.End
        $before = Get-CorvelLineIndent $Text $start
        $after = [regex]::Match($Text.Substring($end), '^[ \t]*(?:\r\n|\n|\r)')
        if ($null -ne $before -and $after.Success) {
            $start -= $before.Length
            $end += $after.Length
        }
        [void] $out.Append($Text, $done, $start - $done)
        $done = $end
        $changes.Add((Get-CorvelToolchainChange 'Removed' ([pscustomobject]@{
                        Alias = $entry.Alias; Version = $entry.Version; Path = $entry.Home })))
    }
    $added = @($order | Where-Object { -not $_.Written })
    if ($added.Count -gt 0) {
        $close = $Layout.Close
        $insert = ''
        foreach ($want in $added) {
            $insert += "$indent$($want.Text)$newline"
            $changes.Add((Get-CorvelToolchainChange 'Added' $want.Jdk))
        }
        if ($Layout.Empty) {
            $insert = ">$newline$insert</toolchains>"
            $after = $close + 2
        } elseif ($null -ne $closeIndent) {
            $close -= $closeIndent.Length
            $after = $close
        } else {
            $insert = "$newline$insert"
            $after = $close
        }
        [void] $out.Append($Text, $done, $close - $done).Append($insert)
        $done = $after
    }
    [void] $out.Append($Text, $done, $Text.Length - $done)
    return [pscustomobject]@{ Text = $out.ToString(); Changes = $changes }
}

# Whether a toolchains.xml is one the command wrote and nobody changed since: its text is what
# the command writes from scratch for the entries it holds, each from what it records.
function Test-CorvelToolchainOwnFile([string] $Text, $Layout) {
    $jdks = foreach ($entry in $Layout.Entries) {
        if ($null -eq $entry.Alias) {
            return $false
        }
        [pscustomobject]@{ Alias = $entry.Alias; Path = $entry.Home; Version = $entry.Version
            Vendor = $entry.Vendor }
    }
    $template = $script:ToolchainTemplate
    $fresh = Merge-CorvelToolchain $template (Read-CorvelToolchainLayout $template) @($jdks) `
        (New-Object System.Text.UTF8Encoding $false)
    return $fresh.Text -ceq $Text
}

# The host line for a change of a JDK's entry (Alias, Version, Path), its texts shown safely.
function Get-CorvelToolchainChange([string] $Verb, $Jdk) {
    return "$Verb toolchain '$(ConvertTo-CorvelDisplayText $Jdk.Alias)' " +
        "($(ConvertTo-CorvelDisplayText $Jdk.Version)) at $(ConvertTo-CorvelDisplayText $Jdk.Path)"
}

# Writes $Text to $File in $Encoding after $Preamble: beside it first, then moved over it (the
# previous file kept as $Backup when one is named), so that no reader ever sees half a file.
function Save-CorvelToolchainFile([string] $File, [string] $Text, $Encoding, [byte[]] $Preamble,
    $Backup) {
    $temp = "$File.$([guid]::NewGuid().ToString('N')).tmp"
    try {
        [void] [System.IO.Directory]::CreateDirectory([System.IO.Path]::GetDirectoryName($File))
        $stream = New-Object System.IO.FileStream $temp, 'CreateNew', 'Write'
        try {
            $body = $Encoding.GetBytes($Text)
            $stream.Write($Preamble, 0, $Preamble.Length)
            $stream.Write($body, 0, $body.Length)
            $stream.Flush($true)
        } finally {
            $stream.Dispose()
        }
        if ([System.IO.File]::Exists($File)) {
            if (-not $Backup) {
                $Backup = [NullString]::Value
            }
            [System.IO.File]::Replace($temp, $File, $Backup)
        } else {
            [System.IO.File]::Move($temp, $File)
        }
    } finally {
        if ([System.IO.File]::Exists($temp)) {
            [System.IO.File]::Delete($temp)
        }
    }
}

function Update-CorvelToolchain {
    <#
    .SYNOPSIS
    Writes the JDKs registered with corvel into Maven's toolchains.xml, which Gradle reads too.

    .DESCRIPTION
    Gives every JDK in corvel's config.json a <toolchain> entry of type jdk in Maven's
    toolchains.xml: <provides> with its version, its vendor when known and <corvel.alias>, which
    marks the entry as corvel's; <configuration> with <jdkHome>, the registered folder. Run it
    after 'corvel add', 'corvel remove' or 'corvel scan --auto-add'.

    Entries of corvel's are updated in place, and taken out when their alias is no longer
    registered; new ones go at the end. Nothing else in the file changes, to the byte: other
    toolchains, comments, the declaration, the encoding and the line ends stay. A JDK that
    another entry already points at (the same jdkHome, letter case aside) is left to it. The file
    and its folder are created when missing. The first time the command changes a file that it
    did not create, it keeps the previous one as toolchains.xml.bak beside it. The new file is
    written beside the old one and then moved over it.

    Skipped with a warning: a JDK with no recorded version, one whose folder does not exist, and
    one whose alias, root, version or vendor Maven would not read back as written (a space at
    either end, '${' or a control character).

    Fails, changing nothing, when config.json cannot be read, and when the file is not
    well-formed XML, holds a DOCTYPE or has another root element than <toolchains>.

    Shows one line for each change; nothing when the file already says it all.

    .PARAMETER Path
    The file to write; by default .m2\toolchains.xml in your home folder, where Maven looks.

    .EXAMPLE
    Update-CorvelToolchain

    Added toolchain 'java21' (21.0.2) at C:\jdks\jdk-21.0.2
    Added toolchain 'java17' (17.0.9) at C:\Program Files\Java\jdk-17.0.9

    .EXAMPLE
    Update-CorvelToolchain -Path .\ci\toolchains.xml -WhatIf

    Shows what would change in that file, and writes nothing.
    #>
    [CmdletBinding(SupportsShouldProcess = $true)]
    param(
        [Parameter(Position = 0)]
        [string] $Path
    )

    if (-not $Path) {
        $Path = Join-Path (Join-Path $HOME '.m2') 'toolchains.xml'
    }
    $file = $PSCmdlet.SessionState.Path.GetUnresolvedProviderPathFromPSPath($Path)
    $shown = ConvertTo-CorvelDisplayText $file
    if ([System.IO.Directory]::Exists($file)) {
        Write-CorvelError $PSCmdlet "$shown is a folder; -Path names the toolchains file itself." `
            InvalidArgument $file
        return
    }
    $state = Read-CorvelConfigFile
    if ($state.Problem) {
        Write-CorvelError $PSCmdlet ("$(Get-CorvelConfigProblemText $state). $shown was left as " +
            'it is.') ReadError $state.File
        return
    }
    $exists = [System.IO.File]::Exists($file)
    $loaded = Invoke-CorvelCaught {
        $content = [pscustomobject]@{ Text = $script:ToolchainTemplate; Preamble = [byte[]] @()
            Encoding = New-Object System.Text.UTF8Encoding $false }
        if ($exists) {
            $content = Read-CorvelToolchainFile $file
        }
        [pscustomobject]@{ Content = $content; Layout = Read-CorvelToolchainLayout $content.Text }
    }
    if ($null -ne $loaded.Reason) {
        $reason = ConvertTo-CorvelDisplayText $loaded.Reason.TrimEnd('.')
        Write-CorvelError $PSCmdlet "$shown cannot be updated: $reason. It was left as it is." `
            InvalidData $file
        return
    }
    $read = $loaded.Value.Content
    $layout = $loaded.Value.Layout

    $taken = New-Object 'System.Collections.Generic.HashSet[string]' (
        [System.StringComparer]::OrdinalIgnoreCase)
    foreach ($entry in $layout.Entries) {
        if ($null -eq $entry.Alias) {
            [void] $taken.Add($entry.Home.Trim())
        }
    }
    $jdks = New-Object System.Collections.Generic.List[object]
    foreach ($jdk in $state.Entries) {
        $texts = [ordered]@{ alias = $jdk.Alias; root = $jdk.Path; version = "$($jdk.Version)"
            vendor = "$($jdk.Vendor)" }
        $unsafe = @($texts.Keys | Where-Object { $texts[$_] -match $script:ToolchainUnsafePattern })
        $problem = $null
        if ($unsafe.Count -gt 0) {
            $problem = "Maven would not read its $($unsafe[0]) back as written (a space at " +
                "either end, '`${' or a control character)"
        } elseif (-not $jdk.Version) {
            $problem = 'corvel recorded no version for it'
        } elseif (-not (Test-CorvelJdkRoot $jdk.Path)) {
            $problem = "its folder $(ConvertTo-CorvelDisplayText $jdk.Path) does not exist"
        }
        if ($null -ne $problem) {
            Write-Warning "Skipped the JDK '$(ConvertTo-CorvelDisplayText $jdk.Alias)': $problem."
        } elseif (-not $taken.Contains($jdk.Path)) {
            $jdks.Add($jdk)
        }
    }
    $merged = Merge-CorvelToolchain $read.Text $layout $jdks $read.Encoding
    if ($exists -and $merged.Text -ceq $read.Text) {
        return
    }

    $changes = $merged.Changes
    $backup = $null
    if (-not $exists) {
        $changes.Insert(0, "Created $shown")
    } elseif (-not [System.IO.File]::Exists("$file.bak") -and ($read.Preamble.Length -gt 0 -or
            -not (Test-CorvelToolchainOwnFile $read.Text $layout))) {
        $backup = "$file.bak"
        $changes.Add("Kept the previous file as $shown.bak")
    }
    $description = "Update $shown`:" + (($changes | ForEach-Object { "`n  $_" }) -join '')
    if (-not $PSCmdlet.ShouldProcess($description, "$description`nContinue?",
            'Update-CorvelToolchain')) {
        return
    }
    $saved = Invoke-CorvelCaught {
        Save-CorvelToolchainFile $file $merged.Text $read.Encoding $read.Preamble $backup
    }
    if ($null -ne $saved.Reason) {
        Write-CorvelError $PSCmdlet ("Cannot write $shown`: " +
            (ConvertTo-CorvelDisplayText $saved.Reason)) WriteError $file
        return
    }
    foreach ($change in $changes) {
        Write-Host $change
    }
}
