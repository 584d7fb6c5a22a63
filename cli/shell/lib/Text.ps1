# Text from outside the module (project files, config.json, corvel's output), made safe to show.

# Characters that corvel shows as U+FFFD, shown so here too: controls, DEL, the bidirectional
# controls and the line and paragraph separators, which could drive or reorder the terminal.
$script:UnsafeDisplayPattern = '[\x00-\x1F\x7F-\x9F\u061C\u200E\u200F\u202A-\u202E\u2066-\u2069' +
    '\u2028\u2029]'

# The text with every unsafe character as U+FFFD and, given a MaxLength, cut to that many
# characters followed by an ellipsis when it is longer (a surrogate pair is never split).
function ConvertTo-CorvelDisplayText([string] $Text, [int] $MaxLength = 0) {
    $shown = $Text -replace $script:UnsafeDisplayPattern, [string][char] 0xFFFD
    if ($MaxLength -gt 0 -and $shown.Length -gt $MaxLength) {
        $cut = $MaxLength
        if ([char]::IsHighSurrogate($shown[$cut - 1])) {
            $cut--
        }
        $shown = $shown.Substring(0, $cut) + [char] 0x2026
    }
    return $shown
}
