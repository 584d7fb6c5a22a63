# The module reads config.json as corvel does, with either of its readers: on one table of damaged
# and odd files, each is checked against what the real corvel.exe (under Wine) makes of it. A file
# corvel cannot use gives no aliases.
BeforeDiscovery {
    $utf8 = [System.Text.Encoding]::UTF8
    $one = '{"versions": {"a": {"path": "C:\\a"}}}'
    # Bytes inside the string of a member corvel skips.
    function Split-One([byte[]] $Bytes) {
        [byte[]] ($utf8.GetBytes('{"x": "') + $Bytes + $utf8.GetBytes('", "versions": {}}'))
    }
    # Text, or Bytes, and the aliases corvel reads from it; none for a file it calls damaged.
    $cases = @(
        @{ Name = 'a byte-order mark'; Bytes = [byte[]](0xEF, 0xBB, 0xBF) + $utf8.GetBytes($one) }
        @{ Name = 'UTF-16'; Bytes = [System.Text.Encoding]::Unicode.GetBytes($one) }
        @{ Name = 'invalid UTF-8'; Bytes = Split-One 0xC3, 0x28 }
        @{ Name = 'an overlong form'; Bytes = Split-One 0xC0, 0xAF }
        @{ Name = 'an encoded surrogate pair (CESU-8)'; Bytes = Split-One 0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80 }
        @{ Name = 'a comment'; Text = '{"versions": {} /* c */}' }
        @{ Name = 'a trailing comma'; Text = '{"versions": {"a": {"path": "C:\\a"},}}' }
        @{ Name = 'a field named twice'; Text = '{"versions": {"a": {"path": "a", "path": "b"}}}' }
        @{ Name = 'a path that is no string'; Text = '{"versions": {"a": {"path": 1}}}' }
        @{ Name = 'no versions'; Text = '{"current": null}' }
        @{ Name = 'text after the object'; Text = '{"versions": {}} x' }
        @{ Name = 'an escaped lone surrogate in an alias'; Text = '{"versions": {"a\ud800": {"path": "a"}}}' }
        @{ Name = 'an escaped lone surrogate in a vendor'; Text = '{"versions": {"a": {"path": "a", "vendor": "\udc00"}}}' }
        @{ Name = 'an escaped lone surrogate in a skipped member'; Text = '{"x": ["\ud800"], "versions": {}}' }
        @{ Name = '1e400 in a skipped member'; Text = '{"x": 1e400, "versions": {}}' }
        @{ Name = '-1e400 in a skipped field'; Text = '{"versions": {"a": {"path": "a", "x": -1e400}}}' }
        @{ Name = '1 and 400 zeros'; Text = '{"x": 1' + ('0' * 400) + ', "versions": {}}' }
        @{ Name = 'an escaped surrogate pair'; Text = '{"versions": {"\ud83d\ude00": {"path": "C:\\a"}}}'
            Aliases = @([char]::ConvertFromUtf32(0x1F600)) }
        @{ Name = 'numbers and nesting in skipped members'; Aliases = @('b', 'a')
            Text = '{"x": [1e-400, -0.5e308, {"y": null}], "versions": {"b": {"path": "C:\\b", "z": ' +
                ('[' * 100001) + (']' * 100001) + '}, "a": {"path": "C:\\a"}}, "current": "a"}' }
        @{ Name = 'an alias named twice'; Text = '{"versions": {"a": {"path": "C:\\1"}, "b": {"path": "C:\\2"}, "a": {"path": "C:\\3"}}}'
            Aliases = @('a', 'b') }
        @{ Name = 'corvel''s own layout'; Aliases = @('java 21', '')
            Text = "{`n  `"current`": `"java 21`",`n  `"versions`": {`n    `"java 21`": {`n      `"path`": `"C:\\j`",`n" +
                "      `"detected_version`": `"21`",`n      `"vendor`": null`n    },`n    `"`": {`n" +
                "      `"path`": `"C:\\e`",`n      `"detected_version`": null,`n      `"vendor`": `"V`"`n    }`n  }`n}`n" }
    )
}

BeforeAll {
    . "$PSScriptRoot/common.ps1"
    $module = Import-Module "$PSScriptRoot/../../cli/shell/Corvel.psd1" -Force -PassThru
    New-Item -ItemType Directory -Force "$roaming/corvel" | Out-Null
}
AfterAll {
    Remove-Module Corvel
}

Describe 'The module reads config.json as corvel does' {
    It '<Name>' -ForEach $cases {
        $case = $_
        $bytes = $case['Bytes']
        if ($case['Text']) { $bytes = [System.Text.Encoding]::UTF8.GetBytes($case['Text']) }
        [System.IO.File]::WriteAllBytes("$roaming/corvel/config.json", $bytes)
        $aliases = @($case['Aliases'] | Where-Object { $null -ne $_ })
        $expected = if ($aliases) { ($aliases | ForEach-Object { "[$_]" }) -join ' ' } else { 'Damaged' }
        # corvel warns that it starts fresh from a damaged file, or fails on one it cannot read as
        # text; else export-shell finds the first alias.
        $said = corvel export-shell --shell powershell -- "$(@($aliases + 'a')[0])" 2>&1 | Out-String
        $corvel = if ($said -match 'config file is corrupted|Cannot read config file') { 'Damaged' } elseif ($LASTEXITCODE -eq 0) { $expected } else { $said }
        # What the module makes of it with each of its readers: its aliases, or its problem.
        $readers = foreach ($json in $true, $false) {
            $state = & $module { param($json) $script:UseJsonDocument = $json; $script:ConfigCache = $null; Read-CorvelConfigFile } $json
            if ($state.Problem) { $state.Problem } else { ($state.Entries | ForEach-Object { "[$($_.Alias)]" }) -join ' ' }
        }
        "$corvel|$($readers -join '|')" | Should -BeExactly "$expected|$expected|$expected"
    }
}
