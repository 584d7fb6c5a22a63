@{
    RootModule           = 'Corvel.psm1'
    ModuleVersion        = '0.1.0'
    GUID                 = 'f25b3751-b9e2-4129-9fd9-1242ca26bb62'
    Author               = 'the corvel developers'
    Copyright            = '(c) 2026 the corvel developers. MIT License.'
    Description          = 'Switches the JDK of the session with corvel, by hand or by project.'
    PowerShellVersion    = '5.1'
    CompatiblePSEditions = @('Desktop', 'Core')
    FunctionsToExport    = @('Use-CorvelJdk', 'Get-CorvelProjectJdk', 'Set-CorvelProjectJdk',
        'Enable-CorvelProjectJdk', 'Disable-CorvelProjectJdk', 'Update-CorvelToolchain')
    CmdletsToExport      = @()
    VariablesToExport    = @()
    AliasesToExport      = @('corvel-use')
    FormatsToProcess     = @('Corvel.Format.ps1xml')
    FileList             = @('Corvel.psd1', 'Corvel.psm1', 'Corvel.Format.ps1xml', 'lib\Text.ps1',
        'lib\Invoke.ps1', 'lib\Config.ps1', 'lib\Session.ps1', 'lib\Completion.ps1',
        'lib\Project.ps1', 'lib\ProjectSwitch.ps1', 'lib\Toolchain.ps1')
    PrivateData          = @{
        PSData = @{
            Tags = @('Java', 'JDK', 'JAVA_HOME', 'Windows')
        }
    }
}
