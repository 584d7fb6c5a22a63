# The README recipe `corvel export-shell ALIAS | Invoke-Expression` keeps every root whole, whatever
# code page PowerShell decodes corvel's output with.
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
foreach ($encoding in [System.Text.Encoding]::GetEncoding(437), [System.Text.Encoding]::UTF8) {
    [Console]::OutputEncoding = $encoding
    foreach ($alias in $roots.Keys) {
        $env:JAVA_HOME = $null
        corvel export-shell $alias | Invoke-Expression
        $what = "$alias, read as $($encoding.WebName)"
        Assert-Equal $roots[$alias] $env:JAVA_HOME "JAVA_HOME for $what"
        Assert-Equal "$($roots[$alias])\bin;$path" $env:PATH "PATH for $what"
        $env:PATH = $path
    }
}
