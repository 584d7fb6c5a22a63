# Tab completes corvel's commands, flags, shells and the aliases in config.json, read as corvel
# reads the file (Config.Tests.ps1 holds the damaged files), and shows them safely.
BeforeDiscovery {
    $readers = 'System.Text.Json', 'its own reader'
}
BeforeAll {
    Import-Module "$PSScriptRoot/../../cli/shell/Corvel.psd1" -Force
    $appData = Join-Path ([System.IO.Path]::GetTempPath()) "corvel-pwsh-$([guid]::NewGuid())"
    $config = "$appData/corvel/config.json"
    New-Item -ItemType Directory "$appData/corvel" | Out-Null
    $env:APPDATA = $appData
    Push-Location (New-Item -ItemType Directory "$appData/empty")  # no file names to offer instead
    function Set-ConfigText([string] $Text) {
        [System.IO.File]::WriteAllText($config, $Text)
    }
    # Which reader of config.json the module uses.
    function Set-Reader([string] $Name) {
        $json = $Name -eq 'System.Text.Json'
        & (Get-Module Corvel) { param($json) $script:UseJsonDocument = $json } $json
    }
    function Get-Completion([string] $Line) {
        return (TabExpansion2 $Line $Line.Length).CompletionMatches
    }
    function Complete([string] $Line) {
        $texts = [string[]] @(Get-Completion $Line | ForEach-Object CompletionText)
        [System.Array]::Sort($texts, [System.StringComparer]::Ordinal)
        return $texts -join ' '
    }
    $aliases = '{"current": null, "versions": {"java21": {"path": "C:\\a"}, ' +
        '"Java21": {"path": "C:\\b"}, "my jdk": {"path": "C:\\c"}, "it''s": {"path": "C:\\d"}, ' +
        '"": {"path": "C:\\e"}, "-dash": {"path": "C:\\f"}}}'
}
AfterAll {
    Pop-Location
    Remove-Module Corvel
    Remove-Item -Recurse -Force $appData
}

Describe 'Tab completes commands, flags, shells and aliases' {
    BeforeAll { Set-ConfigText $aliases }
    It '<Line>' -ForEach @(
        @{ Line = 'corvel '
            Expected = 'add current doctor export-shell help list remove scan use' }
        @{ Line = 'corvel.exe remove -'; Expected = '--force --help -f' }
        @{ Line = 'corvel scan --'; Expected = '--auto-add --help' }
        @{ Line = 'corvel export-shell java21 --'; Expected = '--help --shell' }
        @{ Line = 'corvel export-shell java21 --shell '; Expected = 'cmd powershell' }
        @{ Line = 'corvel remove j'; Expected = 'Java21 java21' }
        @{ Line = 'corvel export-shell my'; Expected = "'my jdk'" }
        @{ Line = "corvel use 'it"; Expected = "'it''s'" }
        @{ Line = 'corvel-use '; Expected = "'' '-dash' 'it''s' 'my jdk' Java21 java21" }
        @{ Line = 'Use-CorvelJdk JAVA2'; Expected = 'Java21 java21' }
        @{ Line = 'corvel use java21 '; Expected = '' }
    ) {
        Complete $Line | Should -BeExactly $Expected
    }
}

Describe 'Both readers of config.json complete the same aliases, adding nothing to $Error' {
    It 'completes nothing from a damaged file with <_>' -ForEach $readers {
        Set-ConfigText '{"versions": {"a": {"path": "C:\\a"},}}'
        Set-Reader $_
        $before = $Error.Count
        Complete 'corvel use ' | Should -BeExactly ''
        $Error.Count | Should -Be $before
    }
    It 'reads aliases that differ in letter case and the empty alias with <_>' -ForEach $readers {
        Set-ConfigText $aliases
        Set-Reader $_
        Complete 'corvel use ' | Should -BeExactly "'' '-dash' 'it''s' 'my jdk' Java21 java21"
    }
    AfterAll {
        Set-Reader 'System.Text.Json'
    }
}

Describe 'config.json is read again only when its last-write time or length changes' {
    It 'keeps the aliases read until then' {
        Set-ConfigText '{"versions": {"old1": {"path": "a"}}}'
        Complete 'corvel use ' | Should -BeExactly 'old1'
        $time = (Get-Item $config).LastWriteTimeUtc
        Set-ConfigText '{"versions": {"new1": {"path": "a"}}}'
        (Get-Item $config).LastWriteTimeUtc = $time
        Complete 'corvel use ' | Should -BeExactly 'old1'
        Set-ConfigText '{"versions": {"new22": {"path": "a"}}}'
        (Get-Item $config).LastWriteTimeUtc = $time
        Complete 'corvel use ' | Should -BeExactly 'new22'
    }
}

Describe 'The menu shows unsafe characters as U+FFFD and inserts the alias exactly' {
    It 'shows <Shown>' -ForEach @(
        @{ Alias = "a`u{1}b`u{7F}c`u{85}d`u{61C}e`u{200E}f`u{202E}g`u{2067}h`u{2028}i"
            Shown = "a`u{FFFD}b`u{FFFD}c`u{FFFD}d`u{FFFD}e`u{FFFD}f`u{FFFD}g`u{FFFD}h`u{FFFD}i"
            Text = "'a`u{1}b`u{7F}c`u{85}d`u{61C}e`u{200E}f`u{202E}g`u{2067}h`u{2028}i'" }
        @{ Alias = ''; Shown = "''"; Text = "''" }
    ) {
        Set-ConfigText (@{ versions = @{ $Alias = @{ path = 'C:' } } } | ConvertTo-Json -Depth 3)
        $result = @(Get-Completion 'corvel use ')
        $result.Count | Should -Be 1
        $result[0].CompletionText | Should -BeExactly $Text
        $result[0].ListItemText | Should -BeExactly $Shown
        $result[0].ToolTip | Should -BeExactly $Shown
    }
}
