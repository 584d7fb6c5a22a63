# Use-CorvelJdk against a stand-in corvel.exe: it reads export-shell's lines as data, runs use
# only after they passed and applies them only after use succeeded, never running them; and a
# failure is one as of any cmdlet, with one plain error and no change.
BeforeAll {
    . "$PSScriptRoot/fake.ps1"
    $module = New-FakeCorvelModule
    Import-Module "$module/Corvel.psd1" -Force
    $path = $env:PATH
    # The session before a switch, and the stand-in's answers: none, or with -Failing those of
    # a switch that fails at use.
    function Reset-Session([switch] $Failing) {
        Reset-FakeCorvel $module
        $env:PATH = $path
        if ($Failing) {
            $env:FAKE_EXPORT = $goodLines
            $env:FAKE_USE_STATUS = 1
            $env:FAKE_USE_ERR = "Error: Invalid JDK path: C:\j"
        }
    }
}
AfterAll {
    Remove-Module Corvel
    $env:PATH = $path
    Remove-Item -Recurse -Force $module
}

Describe 'Lines that are not exactly the two assignments change nothing and switch nothing' {
    BeforeEach { Reset-Session }

    It '<Name>' -ForEach @(
        @{ Name = 'a third statement'; Lines = "$goodLines`nRemove-Item C:\x" }
        @{ Name = 'a command as a value'
            Lines = "`$env:JAVA_HOME = calc`n`$env:PATH = 'C:\j\bin;' + `$env:PATH" }
        @{ Name = 'a missing PATH line'; Lines = "`$env:JAVA_HOME = 'C:\j'" }
        @{ Name = 'a double-quoted string'
            Lines = "`$env:JAVA_HOME = `"C:\`$(calc)`"`n`$env:PATH = 'C:\j\bin;' + `$env:PATH" }
        @{ Name = 'a subexpression term'
            Lines = "`$env:JAVA_HOME = 'C:\j' + `$(calc)`n`$env:PATH = 'C:\j\bin;' + `$env:PATH" }
        @{ Name = 'another variable'
            Lines = "`$env:JAVA_HOME = 'C:\j'`n`$env:PATH = 'C:\j\bin;' + `$env:TEMP" }
        @{ Name = '$env:PATH in JAVA_HOME'
            Lines = "`$env:JAVA_HOME = 'C:\j' + `$env:PATH`n`$env:PATH = 'C:\j\bin;' + `$env:PATH" }
        @{ Name = 'another variable assigned'
            Lines = "`$env:JAVA_HOMEX = 'C:\j'`n`$env:PATH = 'C:\j\bin;' + `$env:PATH" }
        @{ Name = 'a [char] of a string'
            Lines = "`$env:JAVA_HOME = 'C:\j' + [char]'x'`n`$env:PATH = 'C:\j\bin;' + `$env:PATH" }
        @{ Name = 'a failed export-shell'; Lines = ''; Status = 1 }
    ) {
        $env:FAKE_EXPORT = $Lines
        if ($Status) { $env:FAKE_EXPORT_STATUS = $Status }
        Use-CorvelJdk a -ErrorVariable failure -ErrorAction SilentlyContinue
        $failure.Count | Should -Be 1
        Get-Content $env:FAKE_CORVEL_LOG | Should -Not -Match '^use'
        "$env:JAVA_HOME|$env:PATH" | Should -BeExactly "C:\before|$path"
    }
}

Describe 'The accepted lines are evaluated piece by piece' {
    BeforeEach { Reset-Session }

    It '<Name>' -ForEach @(
        @{ Name = '[char] terms and a surrogate pair, the alias piped'
            Lines = "`$env:JAVA_HOME = 'C:\j' + [char]0x00E9 + ' ' + [char]0xD83D + " +
                "[char]0xDE00`n" +
                "`$env:PATH = 'C:\j' + [char]0x00E9 + '\bin;' + `$env:PATH"
            JavaHome = "C:\j$([char]0xE9) $([char]::ConvertFromUtf32(0x1F600))"
            Prefix = "C:\j$([char]0xE9)\bin;"; Suffix = ''; Given = '-dash' }
        @{ Name = 'quotes and text that would run if executed, the alias piped as a property'
            Lines = "`$env:JAVA_HOME = 'C:\it''s `$(calc)'`n`$env:PATH = 'a;' + `$env:PATH + ';z'"
            JavaHome = 'C:\it''s $(calc)'; Prefix = 'a;'; Suffix = ';z'
            Given = [pscustomobject]@{ Alias = '-dash' } }
    ) {
        $env:FAKE_EXPORT = $Lines
        $Given | Use-CorvelJdk
        $LASTEXITCODE | Should -Be 0
        "$env:JAVA_HOME|$env:PATH" | Should -BeExactly "$JavaHome|$Prefix$path$Suffix"
        Get-Content $env:FAKE_CORVEL_LOG |
            Should -Be 'export-shell --shell powershell -- -dash', 'use -- -dash'
    }
}

Describe 'A failed switch is a failure to the caller' {
    BeforeEach { Reset-Session -Failing }

    It 'is what Get-Item''s is with <Preference> <Where>' -ForEach @(
        foreach ($where in 'in a script run with &', 'in a function', 'set globally') {
            foreach ($preference in 'Continue', 'SilentlyContinue', 'Ignore', 'Stop') {
                @{ Where = $where; Preference = $preference; Also = '' }
            }
        }
        @{ Where = 'and -ErrorAction Stop'; Preference = 'Continue'; Also = ' -ErrorAction Stop' }
    ) {
        $outcomes = foreach ($command in 'Get-Item -LiteralPath /no/such/item', 'Use-CorvelJdk a') {
            $code = "`$ErrorActionPreference = '$Preference'; $command$Also; 'went on'"
            # Globally another preference, so that only the caller's own one can decide.
            $global:ErrorActionPreference = @('Stop', 'Continue')[$Preference -eq 'Stop']
            if ($Where -eq 'set globally') {
                $global:ErrorActionPreference = $Preference
                $code = "$command; 'went on'"
            }
            Set-Content "$module/case.ps1" $code
            $case = { & "$module/case.ps1" }
            if ($Where -eq 'in a function') { $case = [scriptblock]::Create("function Test-Case { $code }; Test-Case") }
            $before = $Error.Count
            $shown = try { @(& $case 2>&1 | ForEach-Object { @($_, 'error')[$_ -is [Management.Automation.ErrorRecord]] }) } catch { 'stopped' }
            $global:ErrorActionPreference = 'Continue'
            "$shown, $($Error.Count - $before) recorded"
        }
        $outcomes[1] | Should -BeExactly $outcomes[0]
    }

    It 'sets $? to False, so that && stops and || goes on, and -ErrorAction is honoured' {
        $ErrorActionPreference = 'Stop'
        Use-CorvelJdk a -ErrorAction SilentlyContinue
        $? | Should -BeFalse
        @(Use-CorvelJdk a -ErrorAction SilentlyContinue && 'next') | Should -BeNullOrEmpty
        @(Use-CorvelJdk a -ErrorAction SilentlyContinue || 'other') | Should -Be 'other'
    }
}

Describe 'A failure raises one error with the plain message' {
    BeforeEach { Reset-Session -Failing }

    It '<Name>' -ForEach @(
        @{ Name = 'a coloured Error line of use'; Export = 0; Use = 1; Status = 1
            Err = "$([char]27)[1;31mError:$([char]27)[0m Invalid JDK path: C:\j"
            Message = 'Invalid JDK path: C:\j' }
        @{ Name = 'an unknown alias from export-shell'; Export = 1; Use = 0; Status = 1
            Err = "Error: Alias 'nosuch' not found"; Message = "Alias 'nosuch' not found" }
        @{ Name = 'a usage error'; Export = 2; Use = 0; Status = 2
            Err = "error: The following argument was not expected: x`n`nUsage: corvel use <ALIAS>"
            Message = "error: The following argument was not expected: x`n" +
                'Usage: corvel use <ALIAS>' }
        @{ Name = 'missing corvel.exe'; Export = 0; Use = 0; Status = 1; Err = ''; Setup = {
                Remove-Item "$module/corvel.exe" }
            Message = 'corvel.exe is neither beside the Corvel module nor on PATH.' }
        @{ Name = 'a corvel.exe that cannot start'; Export = 0; Use = 0; Status = 1; Err = ''
            Setup = { chmod -x "$module/corvel.exe" }; Message = "Cannot start {exe}: *" }
        @{ Name = 'a corvel.exe that is killed'; Export = 0; Use = 0; Status = 137; Err = ''
            Setup = { $env:FAKE_KILL = 1 }
            Message = '{exe} ended with exit status 137 and no error message.' }
    ) {
        $env:FAKE_EXPORT_STATUS = $Export
        $env:FAKE_USE_STATUS = $Use
        $env:FAKE_EXPORT_ERR = $env:FAKE_USE_ERR = ''
        if ($Export) { $env:FAKE_EXPORT_ERR = $Err } else { $env:FAKE_USE_ERR = $Err }
        if ($Setup) { & $Setup }
        $before = $Error.Count
        try {
            $failure = @(Use-CorvelJdk a -ErrorVariable recorded 2>&1)
            $status = $LASTEXITCODE
        } finally {
            Install-FakeCorvel $module
        }
        "$($failure.Count)|$($recorded.Count)" | Should -BeExactly '1|1'
        $expected = $Message.Replace('{exe}', "$module/corvel.exe")
        $failure[0].Exception.Message | Should -BeLike $expected
        $Error.Count | Should -Be ($before + 1)
        $status | Should -Be $Status
        "$env:JAVA_HOME|$env:PATH" | Should -BeExactly "C:\before|$path"
    }
}

Describe 'A failed export-shell shows the warnings corvel gave before it, safely' {
    It 'shows them once, without colours and control characters, before the error' {
        Reset-Session
        $env:FAKE_EXPORT_STATUS = 1
        $env:FAKE_EXPORT_ERR = "$([char]27)[33mWarning:$([char]27)[0m config is damaged $([char]27)]0;t$([char]7)x`n" +
            "Error: Alias 'a' not found"
        $shown = & $env:CORVEL_PWSH -NoProfile -NonInteractive -Command ("`$PSStyle.OutputRendering = " +
            "'PlainText'; Import-Module '$module/Corvel.psd1'; corvel-use a") 2>&1
        @($shown | ForEach-Object { "$_" }) | Should -Be (
            "Warning: config is damaged $([char]0xFFFD)]0;t$([char]0xFFFD)x", "Use-CorvelJdk: Alias 'a' not found")
    }
}

Describe 'Re-importing or removing the module leaves no hook of the old one behind' {
    It 'switches once per entry after a re-import, and takes it all back on Remove-Module' {
        Reset-Session
        $env:FAKE_EXPORT = $goodLines
        $env:APPDATA = $module
        New-Item -ItemType Directory "$module/corvel", "$module/project" | Out-Null
        Set-Content "$module/corvel/config.json" '{"versions": {"a": {"path": "C:\\j"}}}'
        Set-Content "$module/project/.java-version" 'a'
        Enable-CorvelProjectJdk -Quiet
        Import-Module "$module/Corvel.psd1" -Force
        Enable-CorvelProjectJdk -Quiet
        Set-Location "$module/project"
        $entered = "$env:JAVA_HOME|$env:PATH"
        Remove-Module Corvel
        $removed = "$env:JAVA_HOME|$env:PATH"
        Set-Location $module
        Set-Location "$module/project"
        Set-Location $PSScriptRoot
        Import-Module "$module/Corvel.psd1"
        $entered, $removed, "$env:JAVA_HOME|$env:PATH" |
            Should -Be "C:\j|C:\j\bin;$path", "C:\before|$path", "C:\before|$path"
        @(Get-Content $env:FAKE_CORVEL_LOG) | Should -Be 'export-shell --shell powershell -- a'
    }
}
