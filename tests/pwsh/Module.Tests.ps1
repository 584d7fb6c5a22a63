# Use-CorvelJdk with the real corvel.exe under Wine, beside the module as unpacked from the ZIP:
# it switches the session and the user environment; a failure shows corvel's error once, in
# plain text even when corvel colours it.
BeforeAll {
    . "$PSScriptRoot/common.ps1"
    $module = (New-Item -ItemType Directory "$jdks/module").FullName
    Copy-Item "$PSScriptRoot/../../cli/shell/Corvel.ps?1", "$PSScriptRoot/../../cli/shell/lib" `
        $module -Recurse
    New-WineShim "$module/corvel.exe"
    New-WineShim "$bin/reg" reg
    New-Item -ItemType Directory "$jdks/jdk 21/bin" | Out-Null
    foreach ($name in 'java', 'javac') {
        Copy-Item $env:CORVEL_JAVA_STANDIN "$jdks/jdk 21/bin/$name.exe"
    }
    $root = 'C:\corvel-pwsh\jdk 21'
    Set-Config @{ 'pwsh jdk' = $root; '-dash' = $root; broken = 'C:\corvel-pwsh\nothing here' }
    Import-Module "$module/Corvel.psd1" -Force
    $path = $env:PATH
}
AfterAll {
    Remove-Module Corvel
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
