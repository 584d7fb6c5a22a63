# Tab completion of corvel's commands, flags, shells and registered aliases.

$script:Subcommands = @('list', 'add', 'remove', 'use', 'current', 'scan', 'doctor', 'export-shell',
    'help')
$script:Flags = @{
    'remove'       = @('--force', '-f')
    'scan'         = @('--auto-add', '-a')
    'export-shell' = @('--shell')
}
$script:AliasCommands = @('use', 'remove', 'export-shell')

# Completion results for the candidates that start with the word typed so far (quotes around it
# ignored). A candidate PowerShell would not pass on as one plain word goes in single quotes.
function New-CorvelCompletion([string[]] $Candidates, [string] $Word, [string] $Type) {
    $typed = $Word
    if ($typed -match '^[''"\u2018-\u201E]') {
        $typed = ($typed.Substring(1) -replace '[''"\u2018-\u201E]$', '') -replace "''", "'"
    }
    foreach ($candidate in $Candidates) {
        if (-not $candidate.StartsWith($typed, [System.StringComparison]::OrdinalIgnoreCase)) {
            continue
        }
        $text = $candidate
        if ($candidate -eq '' -or $candidate -match '[\s''"`$&(){}\[\];,|<>@#\u2018-\u201E]') {
            $text = "'" + ($candidate -replace '([''\u2018-\u201B])', '$1$1') + "'"
        }
        New-Object System.Management.Automation.CompletionResult $text, $candidate, $Type, `
            $candidate
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
        return New-CorvelCompletion @(Get-CorvelAlias) $Word 'ParameterValue'
    }
    if ($subcommand -eq 'help') {
        return New-CorvelCompletion $script:Subcommands $Word 'ParameterValue'
    }
}
