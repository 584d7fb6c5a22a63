# Tab completion of corvel's commands, flags, shells and registered aliases.

$script:Subcommands = @('list', 'add', 'remove', 'use', 'current', 'scan', 'doctor', 'export-shell',
    'help')
$script:Flags = @{
    'remove'       = @('--force', '-f')
    'scan'         = @('--auto-add', '-a')
    'export-shell' = @('--shell')
}
$script:AliasCommands = @('use', 'remove', 'export-shell')

# The aliases of the last config.json read, sorted for prefix search, and the entries they
# came from.
$script:SortedAliases = @()
$script:SortedFrom = $null

# The word typed so far, without the quotes around it.
function Get-CorvelTypedWord([string] $Word) {
    if ($Word -match '^[''"\u2018-\u201E]') {
        return ($Word.Substring(1) -replace '[''"\u2018-\u201E]$', '') -replace "''", "'"
    }
    return $Word
}

# Completion results for the candidates that start with the word typed so far. A candidate
# PowerShell would not pass on as one plain word (or would take for a parameter name) goes in
# single quotes; the menu shows it with unsafe characters replaced.
function New-CorvelCompletion([string[]] $Candidates, [string] $Word, [string] $Type) {
    $typed = Get-CorvelTypedWord $Word
    foreach ($candidate in $Candidates) {
        if (-not $candidate.StartsWith($typed, [System.StringComparison]::OrdinalIgnoreCase)) {
            continue
        }
        $text = $candidate
        $dash = $Type -eq 'ParameterValue' -and $candidate -match '^[-\u2013-\u2015]'
        $special = $candidate -match '[\s''"`$&(){}\[\];,|<>@#\u2018-\u201E]'
        if ($candidate -eq '' -or $dash -or $special) {
            $text = "'" + ($candidate -replace '([''\u2018-\u201B])', '$1$1') + "'"
        }
        $shown = ConvertTo-CorvelDisplayText $candidate
        if ($shown -eq '') {
            $shown = $text
        }
        New-Object System.Management.Automation.CompletionResult $text, $shown, $Type, $shown
    }
}

# The registered aliases that start with the word typed so far (letter case aside), found by
# binary search in a sorted copy kept until config.json changes, so that a Tab stays quick with
# tens of thousands of aliases.
function Get-CorvelAliasCandidate([string] $Word) {
    $entries = Get-CorvelConfig
    if ($null -eq $entries) {
        return
    }
    $comparer = [System.StringComparer]::OrdinalIgnoreCase
    if (-not [object]::ReferenceEquals($entries, $script:SortedFrom)) {
        $names = New-Object 'string[]' $entries.Count
        for ($i = 0; $i -lt $entries.Count; $i++) {
            $names[$i] = $entries[$i].Alias
        }
        [System.Array]::Sort($names, $comparer)
        $script:SortedAliases = $names
        $script:SortedFrom = $entries
    }
    $sorted = $script:SortedAliases
    $typed = Get-CorvelTypedWord $Word
    $ignoreCase = [System.StringComparison]::OrdinalIgnoreCase
    $at = [System.Array]::BinarySearch($sorted, $typed, $comparer)
    if ($at -lt 0) {
        $at = -bnot $at
    }
    while ($at -gt 0 -and $sorted[$at - 1].StartsWith($typed, $ignoreCase)) {
        $at--
    }
    for (; $at -lt $sorted.Count -and $sorted[$at].StartsWith($typed, $ignoreCase); $at++) {
        $sorted[$at]
    }
}

# What follows the typed words of a corvel command line: $Words holds the command name and every
# complete word before the one being typed.
function Get-CorvelCompletion([string[]] $Words, [string] $Word) {
    if ($Words.Count -le 1) {
        if ($Word.StartsWith('-')) {
            return New-CorvelCompletion @('--help', '--version') $Word 'ParameterName'
        }
        return New-CorvelCompletion $script:Subcommands $Word 'ParameterValue'
    }
    $subcommand = $Words[1]
    if ($subcommand -notin $script:Subcommands) {
        return
    }
    if ($subcommand -eq 'export-shell' -and $Words[-1] -eq '--shell') {
        return New-CorvelCompletion @('powershell', 'cmd') $Word 'ParameterValue'
    }
    if ($Word.StartsWith('-')) {
        $flags = @($script:Flags[$subcommand]) + '--help' | Where-Object { $_ }
        return New-CorvelCompletion $flags $Word 'ParameterName'
    }
    $positional = 0
    for ($i = 2; $i -lt $Words.Count; $i++) {
        if (-not $Words[$i].StartsWith('-') -and $Words[$i - 1] -ne '--shell') {
            $positional++
        }
    }
    if ($positional -gt 0) {
        return
    }
    if ($subcommand -in $script:AliasCommands) {
        return New-CorvelCompletion @(Get-CorvelAliasCandidate $Word) $Word 'ParameterValue'
    }
    if ($subcommand -eq 'help') {
        return New-CorvelCompletion $script:Subcommands $Word 'ParameterValue'
    }
}
