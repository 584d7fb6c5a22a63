# Use-CorvelJdk and the project switch with the real corvel.exe under Wine, from the ZIP unpacked
# into an empty folder: they switch the session and the user environment; a failure shows
# corvel's error once, in plain text even when corvel colours it.
BeforeAll {
    . "$PSScriptRoot/common.ps1"
    $packages = "$jdks/packages"
    & $env:CORVEL_CPACK --config "$env:CORVEL_BUILD_DIR/CPackConfig.cmake" -B $packages | Out-Null
    if ($LASTEXITCODE -ne 0) { throw 'cpack could not build the ZIP' }
    $module = (New-Item -ItemType Directory "$jdks/module").FullName
    Expand-Archive -LiteralPath (Get-Item "$packages/*.zip").FullName -DestinationPath $module
    # pwsh on Linux cannot start a Windows program: a shim under corvel.exe's name runs the
    # unpacked one under Wine, and none is left on PATH.
    Move-Item "$module/corvel.exe" "$module/corvel-unpacked.exe"
    New-WineShim "$module/corvel.exe" "$module/corvel-unpacked.exe"
    Remove-Item "$bin/corvel.exe", "$bin/corvel"
    New-WineShim "$bin/reg" reg
    foreach ($jdk in 'jdk 21', 'jdk 17') {
        New-Item -ItemType Directory "$jdks/$jdk/bin" | Out-Null
        foreach ($name in 'java', 'javac') {
            Copy-Item $env:CORVEL_JAVA_STANDIN "$jdks/$jdk/bin/$name.exe"
        }
    }
    $root = 'C:\corvel-pwsh\jdk 21'
    $root17 = 'C:\corvel-pwsh\jdk 17'
    Set-Config @{ 'pwsh jdk' = $root; '-dash' = $root; other = $root17
        broken = 'C:\corvel-pwsh\nothing here' }
    Import-Module "$module/Corvel.psd1" -Force
    $path = $env:PATH
}
AfterAll {
    Remove-Module Corvel
}

Describe 'The ZIP carries every file the manifest names' {
    It 'holds each one' {
        $manifest = Import-PowerShellDataFile "$module/Corvel.psd1"
        $manifest.FileList | Where-Object { -not (Test-Path -LiteralPath "$module/$_") } |
            Should -BeNullOrEmpty
    }
}

Describe 'Use-CorvelJdk switches the session and the user environment' {
    It 'switches to <Alias>' -ForEach @(@{ Alias = 'pwsh jdk' }, @{ Alias = '-dash' }) {
        $env:JAVA_HOME = $null
        Use-CorvelJdk -Alias $Alias
        $status = $LASTEXITCODE
        $session = "$env:JAVA_HOME|$env:PATH"
        $env:PATH = $path
        $status | Should -Be 0
        $session | Should -BeExactly "$root|$root\bin;$path"
        $stored = reg query 'HKCU\Environment' /v JAVA_HOME | Select-String 'REG_SZ\s+(.*)'
        $stored.Matches[0].Groups[1].Value | Should -BeExactly $root
    }
}

Describe 'A failed Use-CorvelJdk shows the one error corvel gave, in plain text' {
    It '<Alias><Colour>' -ForEach @(
        @{ Alias = 'nope'; Colour = ''; Message = "Alias 'nope' not found" }
        @{ Alias = 'broken'; Colour = ', coloured'; Message = 'Invalid JDK path: *' }
    ) {
        $env:JAVA_HOME = 'C:\before'
        $env:CLICOLOR_FORCE = if ($Colour) { '1' } else { $null }
        try {
            Use-CorvelJdk $Alias -ErrorVariable failure -ErrorAction SilentlyContinue
            $status = $LASTEXITCODE
            $child = "Import-Module '$module/Corvel.psd1'; corvel-use $Alias"
            $shown = & $env:CORVEL_PWSH -NoProfile -Command $child 2>&1
        } finally {
            $env:CLICOLOR_FORCE = $null
        }
        $status | Should -Be 1
        "$env:JAVA_HOME|$env:PATH" | Should -BeExactly "C:\before|$path"
        $failure.Count | Should -Be 1
        $failure[0].Exception.Message | Should -BeLike $Message
        $failure[0].Exception.Message | Should -Not -Match "`e"
        @($shown | Where-Object { "$_" -like "*$Message*" }).Count | Should -Be 1
    }
}

Describe 'The project switch applies the export-shell lines, and corvel-use in a project wins' {
    AfterAll {
        Disable-CorvelProjectJdk
        Set-Location $PSScriptRoot
    }

    It 'enters, gives way to an explicit switch, and enters again' {
        New-Item -ItemType Directory "$jdks/project/sub" | Out-Null
        Set-Content -LiteralPath "$jdks/project/.java-version" 'pwsh jdk'
        $env:JAVA_HOME = $null
        $seen = @()
        Enable-CorvelProjectJdk -Quiet
        Set-Location "$jdks/project/sub"
        $seen += "$env:JAVA_HOME|$env:PATH"
        corvel-use other
        Set-Location "$jdks/project"
        $seen += "$env:JAVA_HOME|$env:PATH"
        Set-Location $jdks
        $seen += "$env:JAVA_HOME|$env:PATH"
        Set-Location "$jdks/project"
        $seen += "$env:JAVA_HOME|$env:PATH"
        $env:PATH = $path
        $seen | Should -BeExactly @("$root|$root\bin;$path", "$root17|$root17\bin;$path",
            "$root17|$root17\bin;$path", "$root|$root\bin;$root17\bin;$path")
    }

    It 'shows what Get-CorvelProjectJdk finds without the controls a project file may hold' {
        New-Item -ItemType Directory "$jdks/hostile" | Out-Null
        [IO.File]::WriteAllText("$jdks/hostile/.java-version", "`e]0;title`a`n")
        Set-Location "$jdks/hostile"
        $shown = (Get-CorvelProjectJdk | Format-Table | Out-String) + (Get-CorvelProjectJdk | Format-List | Out-String)
        "$($shown -match "[`e`a]")|$((Get-CorvelProjectJdk).Request)" | Should -BeExactly "False|`e]0;title`a"
    }

    It 'completes Set-CorvelProjectJdk with the registered aliases' {
        (TabExpansion2 'Set-CorvelProjectJdk p' 22).CompletionMatches.CompletionText |
            Should -BeExactly "'pwsh jdk'"
    }
}
