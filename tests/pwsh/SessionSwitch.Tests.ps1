# Use-CorvelJdk reads export-shell's lines as data, against a stand-in corvel.exe: it runs use
# only after they passed, applies them only after use succeeded, and never runs them.
BeforeAll {
    . "$PSScriptRoot/fake.ps1"
    $module = New-FakeCorvelModule
    Import-Module "$module/Corvel.psd1" -Force
    $path = $env:PATH
    # The stand-in's answers for a switch, and the session before it.
    function Reset-Session {
        Reset-FakeCorvel $module
        $env:PATH = $path
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
        @{ Name = '[char] terms and a surrogate pair'
            Lines = "`$env:JAVA_HOME = 'C:\j' + [char]0x00E9 + ' ' + [char]0xD83D + " +
                "[char]0xDE00`n" +
                "`$env:PATH = 'C:\j' + [char]0x00E9 + '\bin;' + `$env:PATH"
            JavaHome = "C:\j$([char]0xE9) $([char]::ConvertFromUtf32(0x1F600))"
            Prefix = "C:\j$([char]0xE9)\bin;"; Suffix = '' }
        @{ Name = 'quotes and text that would run if executed'
            Lines = "`$env:JAVA_HOME = 'C:\it''s `$(calc)'`n`$env:PATH = 'a;' + `$env:PATH + ';z'"
            JavaHome = 'C:\it''s $(calc)'; Prefix = 'a;'; Suffix = ';z' }
    ) {
        $env:FAKE_EXPORT = $Lines
        Use-CorvelJdk -Alias '-dash'
        $LASTEXITCODE | Should -Be 0
        "$env:JAVA_HOME|$env:PATH" | Should -BeExactly "$JavaHome|$Prefix$path$Suffix"
        Get-Content $env:FAKE_CORVEL_LOG |
            Should -Be 'export-shell --shell powershell -- -dash', 'use -- -dash'
    }
}
