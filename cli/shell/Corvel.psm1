# The Corvel module: Use-CorvelJdk (alias corvel-use) switches the JDK with 'corvel use' and
# applies the same switch to this session; Enable-CorvelProjectJdk switches the session to the
# JDK that a project's .java-version, .sdkmanrc or .tool-versions pins on entering its folder;
# Tab completes corvel's commands, flags and registered aliases; Update-CorvelToolchain writes the
# registered JDKs into Maven's toolchains.xml. It runs corvel.exe only through its documented
# commands, reads config.json without ever writing it, and writes no file but the .java-version
# of Set-CorvelProjectJdk and the toolchains.xml (and its .bak) of Update-CorvelToolchain.
# Written for Windows PowerShell 5.1 and PowerShell 7 alike.
Set-StrictMode -Version Latest

# The folder of this module, where the ZIP puts corvel.exe too.
$script:ModuleRoot = $PSScriptRoot

# One file per concern, loaded in this order: adding a file is adding its name here and to the
# manifest's FileList.
$script:Parts = @('Text', 'Invoke', 'Config', 'Session', 'Completion', 'Project', 'ProjectSwitch',
    'Toolchain')
foreach ($part in $script:Parts) {
    . (Join-Path (Join-Path $PSScriptRoot 'lib') "$part.ps1")
}

Set-Alias -Name corvel-use -Value Use-CorvelJdk

# Removing the module (Import-Module -Force does it too) takes out its hooks and what its project
# switch put in the session, so that nothing of this instance runs on.
$ExecutionContext.SessionState.Module.OnRemove = {
    Disable-CorvelProjectJdk
}

Register-ArgumentCompleter -Native -CommandName 'corvel', 'corvel.exe' -ScriptBlock {
    param($wordToComplete, $commandAst, $cursorPosition)
    $elements = $commandAst.CommandElements
    $before = @($elements | Where-Object { $_.Extent.EndOffset -lt $cursorPosition })
    Get-CorvelCompletion @($before | ForEach-Object { $_.Extent.Text }) $wordToComplete
}

$completeAlias = {
    param($commandName, $parameterName, $wordToComplete, $commandAst, $fakeBoundParameters)
    $candidates = @(Get-CorvelAliasCandidate $wordToComplete)
    New-CorvelCompletion $candidates $wordToComplete 'ParameterValue'
}
Register-ArgumentCompleter -CommandName Use-CorvelJdk, corvel-use -ParameterName Alias `
    -ScriptBlock $completeAlias
Register-ArgumentCompleter -CommandName Set-CorvelProjectJdk -ParameterName Request `
    -ScriptBlock $completeAlias

Export-ModuleMember -Alias 'corvel-use' -Function 'Use-CorvelJdk', 'Get-CorvelProjectJdk',
    'Set-CorvelProjectJdk', 'Enable-CorvelProjectJdk', 'Disable-CorvelProjectJdk',
    'Update-CorvelToolchain'
