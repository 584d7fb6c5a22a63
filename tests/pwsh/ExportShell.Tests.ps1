# The README recipe `corvel export-shell ALIAS | Invoke-Expression` keeps every root whole, whatever
# code page PowerShell decodes corvel's output with.
BeforeAll {
    . "$PSScriptRoot/common.ps1"
    $roots = @{
        letters  = 'C:\corvel-pwsh\Jürgen Дарья 中文'
        astral   = "C:\corvel-pwsh\smile $([char]::ConvertFromUtf32(0x1F600))"
        signs    = 'C:\corvel-pwsh\it''s $HOME `n (x86) & more'
        controls = "C:\corvel-pwsh\t`t d$([char]0x7F) n$([char]0x85) r$([char]0x202E) l$([char]0x2028)"
    }
    Set-Config $roots
    [System.Text.Encoding]::RegisterProvider([System.Text.CodePagesEncodingProvider]::Instance)
    $path = $env:PATH
}

Describe 'The export-shell recipe keeps every root whole' {
    It '<Alias>, read as code page <CodePage>' -ForEach @(
        foreach ($codePage in 437, 65001) {
            foreach ($alias in 'letters', 'astral', 'signs', 'controls') {
                @{ Alias = $alias; CodePage = $codePage }
            }
        }
    ) {
        [Console]::OutputEncoding = [System.Text.Encoding]::GetEncoding($CodePage)
        $env:JAVA_HOME = $null
        corvel export-shell $Alias | Invoke-Expression
        $result = "$env:JAVA_HOME|$env:PATH"
        $env:PATH = $path
        $result | Should -BeExactly "$($roots[$Alias])|$($roots[$Alias])\bin;$path"
    }
}
