# The session switch: corvel's export-shell lines, read as data and applied to this session;
# Use-CorvelJdk.

$script:Ast = 'System.Management.Automation.Language'

# A failed step: its Message (without "Error: "), ExitCode (corvel's, 1 when it did not run), the
# error Category it is raised with, and the Run of corvel it comes from, if any.
function New-CorvelFailure([string] $Message, [int] $ExitCode, [string] $Category, $Run) {
    return [pscustomobject]@{
        Failed   = $true
        Message  = $Message
        ExitCode = $ExitCode
        Category = $Category
        Run      = $Run
    }
}

# The value of one right-hand side of export-shell's lines as pieces: a single-quoted string,
# then any number of `+` terms, each a single-quoted string, a [char] of an integer constant or,
# with -AllowPath, $env:PATH (returned as $null). Returns $null when it has another shape.
function Get-CorvelExpressionPiece($Expression, [switch] $AllowPath) {
    $terms = New-Object System.Collections.Generic.List[object]
    while ($Expression -is "$script:Ast.BinaryExpressionAst" -and
        $Expression.Operator -eq [System.Management.Automation.Language.TokenKind]::Plus) {
        $terms.Insert(0, $Expression.Right)
        $Expression = $Expression.Left
    }
    $terms.Insert(0, $Expression)
    $pieces = New-Object System.Collections.Generic.List[object]
    for ($i = 0; $i -lt $terms.Count; $i++) {
        $term = $terms[$i]
        if ($term -is "$script:Ast.StringConstantExpressionAst" -and
            $term.StringConstantType -eq 'SingleQuoted') {
            $pieces.Add([string] $term.Value)
        } elseif ($i -eq 0) {
            return $null
        } elseif ($term -is "$script:Ast.ConvertExpressionAst" -and
            $term.Type.TypeName.FullName -ceq 'char' -and
            $term.Child -is "$script:Ast.ConstantExpressionAst" -and
            $term.Child.Value -is [int] -and $term.Child.Value -ge 0 -and
            $term.Child.Value -le 0xFFFF) {
            $pieces.Add([string][char] $term.Child.Value)
        } elseif ($AllowPath -and $term -is "$script:Ast.VariableExpressionAst" -and
            $term.Extent.Text -ceq '$env:PATH') {
            $pieces.Add($null)
        } else {
            return $null
        }
    }
    return , $pieces.ToArray()
}

# The right-hand side of `$env:NAME = ...` when the statement is exactly that assignment.
function Get-CorvelAssignedExpression($Statement, [string] $Name) {
    if ($Statement -isnot "$script:Ast.AssignmentStatementAst" -or
        $Statement.Operator -ne [System.Management.Automation.Language.TokenKind]::Equals -or
        $Statement.Left -isnot "$script:Ast.VariableExpressionAst" -or
        $Statement.Left.Extent.Text -cne "`$env:$Name" -or
        $Statement.Right -isnot "$script:Ast.CommandExpressionAst" -or
        $Statement.Right.Redirections.Count -ne 0) {
        return $null
    }
    return $Statement.Right.Expression
}

# Reads export-shell's PowerShell lines without running them: exactly the assignment of
# $env:JAVA_HOME and then that of $env:PATH, with $env:PATH once on the right of the latter.
# Returns the switch, or $null for anything else.
function ConvertFrom-CorvelSessionScript([string] $Text) {
    $tokens = $null
    $parseErrors = $null
    $parsed = [System.Management.Automation.Language.Parser]::ParseInput($Text, [ref] $tokens,
        [ref] $parseErrors)
    if ($parseErrors.Count -ne 0 -or $null -ne $parsed.ParamBlock -or
        $null -ne $parsed.BeginBlock -or $null -ne $parsed.ProcessBlock -or
        $null -ne $parsed.DynamicParamBlock -or $null -eq $parsed.EndBlock -or
        $parsed.EndBlock.Statements.Count -ne 2 -or $parsed.EndBlock.Traps) {
        return $null
    }
    $statements = $parsed.EndBlock.Statements
    $javaHome = Get-CorvelAssignedExpression $statements[0] 'JAVA_HOME'
    $path = Get-CorvelAssignedExpression $statements[1] 'PATH'
    if ($null -eq $javaHome -or $null -eq $path) {
        return $null
    }
    $homePieces = Get-CorvelExpressionPiece $javaHome
    $pathPieces = Get-CorvelExpressionPiece $path -AllowPath
    if ($null -eq $homePieces -or $null -eq $pathPieces) {
        return $null
    }
    $at = [array]::IndexOf($pathPieces, $null)
    if ($at -lt 0 -or [array]::LastIndexOf($pathPieces, $null) -ne $at) {
        return $null
    }
    $prefix = New-Object System.Text.StringBuilder
    $suffix = New-Object System.Text.StringBuilder
    for ($i = 0; $i -lt $pathPieces.Count; $i++) {
        if ($i -lt $at) {
            [void] $prefix.Append($pathPieces[$i])
        } elseif ($i -gt $at) {
            [void] $suffix.Append($pathPieces[$i])
        }
    }
    return [pscustomobject]@{
        Failed     = $false
        JavaHome   = -join $homePieces
        PathPrefix = $prefix.ToString()
        PathSuffix = $suffix.ToString()
    }
}

function Get-CorvelSessionSwitch {
    <#
    .SYNOPSIS
    Gets and checks the session switch to a registered JDK, changing nothing.

    .DESCRIPTION
    Runs 'corvel export-shell --shell powershell -- ALIAS' and reads its lines as data. Returns
    JavaHome, PathPrefix and PathSuffix (the session's PATH becomes PathPrefix + the PATH before
    + PathSuffix) with Failed = $false; when corvel fails or prints anything else, Failed = $true
    with the Message, corvel's ExitCode and the Run (what corvel wrote). Writes nothing and never
    throws.

    .PARAMETER Alias
    The alias the JDK was registered under.
    #>
    [CmdletBinding()]
    param(
        [Parameter(Mandatory = $true, Position = 0)]
        [AllowEmptyString()]
        [string] $Alias
    )
    $exe = Find-CorvelExe
    if (-not $exe) {
        return New-CorvelFailure $script:MissingExeMessage 1 'ObjectNotFound'
    }
    $run = Invoke-Corvel $exe @('export-shell', '--shell', 'powershell', '--', $Alias) `
        -CaptureOutput
    if ($run.ExitCode -ne 0 -or $null -ne $run.StartError) {
        $message = Get-CorvelErrorMessage $run $exe
        return New-CorvelFailure $message $run.ExitCode 'InvalidOperation' $run
    }
    $switch = ConvertFrom-CorvelSessionScript $run.Output
    if ($null -eq $switch) {
        return New-CorvelFailure ('corvel export-shell printed something other than the ' +
            'JAVA_HOME and PATH lines; nothing was changed.') 1 'InvalidResult'
    }
    return $switch
}

function Set-CorvelSessionJdk {
    <#
    .SYNOPSIS
    Applies a session switch from Get-CorvelSessionSwitch to this session.

    .DESCRIPTION
    Sets $env:JAVA_HOME to the switch's JavaHome and $env:PATH to PathPrefix + BasePath +
    PathSuffix. The one place where the module changes the session.

    .PARAMETER Switch
    A switch that Get-CorvelSessionSwitch returned without Failed.

    .PARAMETER BasePath
    The PATH the switch is put around; the session's current PATH when not given.
    #>
    param(
        [Parameter(Mandatory = $true, Position = 0)]
        [object] $Switch,
        [string] $BasePath = $env:PATH
    )
    $env:JAVA_HOME = $Switch.JavaHome
    $env:PATH = $Switch.PathPrefix + $BasePath + $Switch.PathSuffix
}

function Use-CorvelJdk {
    <#
    .SYNOPSIS
    Switches to a registered JDK, for new programs and for this PowerShell session.

    .DESCRIPTION
    Gets and checks the lines of 'corvel export-shell --shell powershell -- ALIAS' first; only
    then runs 'corvel use -- ALIAS', which sets JAVA_HOME and Path in the Windows environment,
    and only when that succeeded applies the lines to this session, so that $env:JAVA_HOME
    names the JDK and its bin folder comes first in $env:PATH.

    When a step fails, the session is left as it was, corvel's other lines on standard error
    (warnings) are shown, its error becomes one error of this command, which follows -ErrorAction
    or else the caller's $ErrorActionPreference as any cmdlet's does ($? is False), and
    $LASTEXITCODE holds corvel's exit status (1 when corvel.exe could not be started); it is 0 on
    success.

    corvel.exe is looked for beside this module first, then on PATH.

    .PARAMETER Alias
    The alias the JDK was registered under ('corvel list' shows them). Tab completes it. It may
    come from the pipeline, as a string or as an object's Alias property.

    .EXAMPLE
    Use-CorvelJdk java21

    Switches to the JDK registered as java21. 'corvel-use java21' does the same.
    #>
    [CmdletBinding()]
    param(
        [Parameter(Mandatory = $true, Position = 0, ValueFromPipeline = $true,
            ValueFromPipelineByPropertyName = $true)]
        [AllowEmptyString()]
        [string] $Alias
    )

    process {
        $switch = Get-CorvelSessionSwitch -Alias $Alias
        if ($switch.Failed) {
            if ($null -ne $switch.Run) {
                Show-CorvelOtherErrorLine $switch.Run
            }
            $global:LASTEXITCODE = $switch.ExitCode
            Write-CorvelError $PSCmdlet $switch.Message $switch.Category $Alias
            return
        }
        $exe = Find-CorvelExe
        $run = Invoke-Corvel $exe @('use', '--', $Alias)
        if ($run.ExitCode -eq 1 -and $null -eq $run.StartError) {
            # corvel wrote "Switching to '...'... " on the console and its Error line here.
            $Host.UI.WriteLine()
        }
        Show-CorvelOtherErrorLine $run
        if ($run.ExitCode -ne 0 -or $null -ne $run.StartError) {
            $global:LASTEXITCODE = $run.ExitCode
            Write-CorvelError $PSCmdlet (Get-CorvelErrorMessage $run $exe) 'InvalidOperation' $Alias
            return
        }
        # Inside a project, this switch replaces the project's and is also what the session keeps
        # outside projects.
        Undo-CorvelProjectSwitch
        Set-CorvelSessionJdk $switch
        Register-CorvelExplicitSwitch
        $global:LASTEXITCODE = 0
    }
}
