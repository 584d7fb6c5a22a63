# The automatic switch: with Enable-CorvelProjectJdk on, a change of location applies the JDK of the
# project there to this session (JAVA_HOME and the bin folder first in PATH, from the export-shell
# lines), and leaving every project takes back exactly what the switch put there. The session
# only: nothing here writes the registry or config.json.
#
# PowerShell 7 runs the check from the engine's LocationChangedAction, so any prompt theme, loaded
# before or after, keeps it. Windows PowerShell 5.1 lacks that action: there the check runs from
# a wrapper around the prompt function, which a theme loaded after Enable replaces.

# $null while the switch is off; else a hashtable: Quiet; Seen and Location (the folder last
# checked, $null outside the file system); ProjectKey (file and request of the project there, so
# that nothing happens until it changes, which also lets an explicit switch win within it);
# Applied (what the switch put in the session, or $null); Recheck (check again in place).
$script:CorvelProjectSwitch = $null
# The hook installed in the engine, and what it replaced; kept while another hook sits on top.
$script:CorvelLocationAction = $null
$script:CorvelPreviousLocationAction = $null
$script:CorvelPreviousPrompt = $null
$script:CorvelPromptMarker = '# corvel project switch'

# Whether the engine calls an action on every change of location (PowerShell 7, not 5.1).
function Test-CorvelLocationChangedAction {
    return $null -ne $ExecutionContext.InvokeCommand.PSObject.Properties['LocationChangedAction']
}

# What identifies a project: its file and its request, so that editing the file is a change.
function Get-CorvelProjectKey($Project) {
    if ($null -eq $Project) {
        return $null
    }
    return $Project.File + [char]0 + $Project.Request
}

# One line on the host for each change of the session, unless -Quiet was given.
function Write-CorvelProjectMessage([string] $Text) {
    if (-not $script:CorvelProjectSwitch.Quiet) {
        Write-Host $Text
    }
}

# Takes back what the switch applied, if anything: its bin entry where it still stands (first,
# unless the user put another entry before it), its PATH suffix, and JAVA_HOME while it still
# holds the switch's value. Returns what was taken back, or $null.
function Restore-CorvelOutsideSession {
    $state = $script:CorvelProjectSwitch
    $applied = $state.Applied
    if ($null -eq $applied) {
        return $null
    }
    $state.Applied = $null
    $path = [string] $env:PATH
    $prefix = [string] $applied.PathPrefix
    if ($prefix -ne '') {
        $at = -1
        if ($path.StartsWith($prefix, [System.StringComparison]::Ordinal)) {
            $at = 0
        } else {
            $after = $path.IndexOf([System.IO.Path]::PathSeparator + $prefix,
                [System.StringComparison]::Ordinal)
            if ($after -ge 0) {
                $at = $after + 1
            }
        }
        if ($at -ge 0) {
            $path = $path.Remove($at, $prefix.Length)
        }
    }
    $suffix = [string] $applied.PathSuffix
    if ($suffix -ne '' -and $path.EndsWith($suffix, [System.StringComparison]::Ordinal)) {
        $path = $path.Substring(0, $path.Length - $suffix.Length)
    }
    $env:PATH = $path
    if ($env:JAVA_HOME -ceq $applied.JavaHome) {
        $env:JAVA_HOME = $applied.OutsideJavaHome
    }
    return $applied
}

# Checks which project applies at the current location and changes the session when it differs
# from the one applied. Does no file work when the location is the one last checked, unless
# -Force (a project file was just written) or an undone switch asks for it.
function Update-CorvelProjectSwitch([switch] $Force) {
    $state = $script:CorvelProjectSwitch
    if ($null -eq $state) {
        return
    }
    $here = Get-CorvelProjectLocation
    if (-not $Force -and -not $state.Recheck -and $state.Seen -and $here -ceq $state.Location) {
        return
    }
    $state.Seen = $true
    $state.Location = $here
    $project = $null
    if ($null -ne $here) {
        $project = Find-CorvelProjectFile $here
    }
    $key = Get-CorvelProjectKey $project
    $again = $Force -or $state.Recheck
    $state.Recheck = $false
    if (-not $again -and $key -ceq $state.ProjectKey) {
        return
    }
    $state.ProjectKey = $key

    if ($null -eq $project) {
        $left = Restore-CorvelOutsideSession
        if ($null -ne $left) {
            Write-CorvelProjectMessage "Left project JDK '$($left.Alias)' of $($left.File)"
        }
        return
    }
    $file = $project.File
    $request = $project.Request
    $resolved = Resolve-CorvelProjectRequest $request (Get-CorvelConfig)
    if ($resolved.Problem -eq 'Unreadable') {
        Write-Warning ("$file asks for Java '$request', which is neither a registered alias nor " +
            'a Java version.')
        return
    }
    if ($resolved.Problem -eq 'Unmatched') {
        Write-Warning ("$file asks for Java '$request', which no registered JDK matches; " +
            "'corvel scan --auto-add' registers the installed JDKs.")
        return
    }
    $alias = $resolved.Entry.Alias
    if ($null -ne $state.Applied -and $state.Applied.Alias -ceq $alias) {
        # Another project asking for the same JDK: the session stays as it is.
        $state.Applied.File = $file
        return
    }
    # The corvel run must leave $LASTEXITCODE to the user's last program: keep its value.
    $variable = Get-Variable -Name LASTEXITCODE -Scope Global -ErrorAction Ignore
    $exitCode = $null
    if ($null -ne $variable) {
        $exitCode = $variable.Value
    }
    $switch = Get-CorvelSessionSwitch -Alias $alias
    if ($null -ne $variable) {
        $global:LASTEXITCODE = $exitCode
    }
    if ($switch.Failed) {
        Write-Warning ("$file asks for '$alias', which cannot be applied: " +
            ($switch.Message -replace '\s*[\r\n]+\s*', ' '))
        return
    }
    $null = Restore-CorvelOutsideSession
    $outsideJavaHome = $env:JAVA_HOME
    Set-CorvelSessionJdk $switch -BasePath ([string] $env:PATH)
    $state.Applied = @{
        Alias           = $alias
        File            = $file
        JavaHome        = $switch.JavaHome
        PathPrefix      = $switch.PathPrefix
        PathSuffix      = $switch.PathSuffix
        OutsideJavaHome = $outsideJavaHome
    }
    Write-CorvelProjectMessage "Project JDK '$alias' from $file"
}

# What the hooks run: a failure becomes one warning and never breaks a change of location or the
# prompt.
function Invoke-CorvelProjectHook([switch] $Force) {
    try {
        Update-CorvelProjectSwitch -Force:$Force
    } catch {
        Write-Warning "The project JDK switch failed: $($_.Exception.Message)"
    }
}

# The prompt wrapper's body: the prompt that was there before comes first, while $? still tells
# of the user's last command (themes show it), then the check.
function Invoke-CorvelProjectPrompt {
    $text = & $script:CorvelPreviousPrompt
    Invoke-CorvelProjectHook
    return $text
}

# Whether the prompt function now is this module's wrapper.
function Test-CorvelProjectPrompt {
    $prompt = ${function:global:prompt}
    return $null -ne $prompt -and $prompt.ToString().Contains($script:CorvelPromptMarker)
}

# Puts the check where the engine runs it: the location action, chaining the action that was
# there, or else a wrapper around the prompt. Installs nothing twice.
function Install-CorvelProjectHook {
    if (Test-CorvelLocationChangedAction) {
        $current = $ExecutionContext.InvokeCommand.LocationChangedAction
        $ours = $script:CorvelLocationAction
        if ($null -ne $current -and [object]::ReferenceEquals($current, $ours)) {
            return
        }
        $script:CorvelPreviousLocationAction = $current
        $ExecutionContext.InvokeCommand.LocationChangedAction = {
            param($source, $change)
            try {
                if ($null -ne $script:CorvelPreviousLocationAction) {
                    $script:CorvelPreviousLocationAction.Invoke($source, $change)
                }
            } finally {
                Invoke-CorvelProjectHook
            }
        }
        $script:CorvelLocationAction = $ExecutionContext.InvokeCommand.LocationChangedAction
        return
    }
    if (Test-CorvelProjectPrompt) {
        return
    }
    $script:CorvelPreviousPrompt = ${function:global:prompt}
    if ($null -eq $script:CorvelPreviousPrompt) {
        $script:CorvelPreviousPrompt = {
            $location = $ExecutionContext.SessionState.Path.CurrentLocation
            "PS $location$('>' * ($NestedPromptLevel + 1)) "
        }
    }
    # A literal here is bound to this module, so the global prompt finds its private functions.
    ${function:global:prompt} = {
        # corvel project switch
        Invoke-CorvelProjectPrompt
    }
}

# Takes the hook out again where it is still the one on top; a hook another program put over it
# stays, and finds the switch off.
function Uninstall-CorvelProjectHook {
    if ($null -ne $script:CorvelLocationAction) {
        $current = $ExecutionContext.InvokeCommand.LocationChangedAction
        if ([object]::ReferenceEquals($current, $script:CorvelLocationAction)) {
            $previous = $script:CorvelPreviousLocationAction
            $ExecutionContext.InvokeCommand.LocationChangedAction = $previous
            $script:CorvelLocationAction = $null
            $script:CorvelPreviousLocationAction = $null
        }
    }
    if (Test-CorvelProjectPrompt) {
        ${function:global:prompt} = $script:CorvelPreviousPrompt
        $script:CorvelPreviousPrompt = $null
    }
}

function Enable-CorvelProjectJdk {
    <#
    .SYNOPSIS
    Switches this session to the JDK a project pins, whenever you enter the project's folder.

    .DESCRIPTION
    Turns on the automatic switch for this session and applies the current folder's project at
    once; put it in your profile after Import-Module Corvel. On entering a folder where
    Get-CorvelProjectJdk finds a project, $env:JAVA_HOME becomes its JDK and its bin folder comes
    first in $env:PATH; between projects the bin folder is replaced; on leaving every project,
    JAVA_HOME and the bin entry go back, while PATH entries you added meanwhile stay. One line
    tells of each change. A request that no registered JDK matches gives one warning when the
    project is entered and changes nothing. Use-CorvelJdk inside a project wins until you leave
    it. Only this session changes; the registry and config.json are never written.

    Folders are checked only when the location changes: run this command again to pick up a
    project file edited in place.

    PowerShell 7 checks on every change of location. Windows PowerShell 5.1 checks when it draws
    the prompt, from a wrapper around the prompt function: a prompt theme loaded after this
    command replaces the wrapper, so load themes first, or run this command again after them.

    .PARAMETER Quiet
    Shows no line when the session changes; warnings still show.

    .EXAMPLE
    Import-Module Corvel; Enable-CorvelProjectJdk

    The two lines of a profile that switch the JDK by project.
    #>
    [CmdletBinding()]
    param(
        [switch] $Quiet
    )

    if ($null -eq $script:CorvelProjectSwitch) {
        $script:CorvelProjectSwitch = @{
            Quiet      = $false
            Seen       = $false
            Location   = $null
            ProjectKey = $null
            Applied    = $null
            Recheck    = $false
        }
    }
    $script:CorvelProjectSwitch.Quiet = [bool] $Quiet
    Install-CorvelProjectHook
    # At once, and again when run again: the way to pick up a project file edited in place.
    Invoke-CorvelProjectHook -Force
}

function Disable-CorvelProjectJdk {
    <#
    .SYNOPSIS
    Turns the automatic project switch off and restores the session.

    .DESCRIPTION
    Takes back what Enable-CorvelProjectJdk applied (the bin entry it put in $env:PATH and the
    JAVA_HOME it set), removes its hook, and puts back the location action or prompt function
    that was there before it.

    .EXAMPLE
    Disable-CorvelProjectJdk
    #>
    [CmdletBinding()]
    param()

    if ($null -eq $script:CorvelProjectSwitch) {
        return
    }
    $left = Restore-CorvelOutsideSession
    if ($null -ne $left) {
        Write-CorvelProjectMessage "Left project JDK '$($left.Alias)' of $($left.File)"
    }
    Uninstall-CorvelProjectHook
    $script:CorvelProjectSwitch = $null
}

# Called by Use-CorvelJdk just before it applies its own switch: takes back the project's switch,
# so that the explicit one applies to the session as it is outside projects. No output.
function Undo-CorvelProjectSwitch {
    if ($null -eq $script:CorvelProjectSwitch) {
        return
    }
    if ($null -ne (Restore-CorvelOutsideSession)) {
        # Until the explicit switch is registered, the project is to be applied again.
        $script:CorvelProjectSwitch.Recheck = $true
    }
}

# Called by Use-CorvelJdk right after its switch: the explicit JDK wins while the session stays in
# the project it is in now (checked here, should the location have changed since the last check),
# and is what the session returns to outside projects.
function Register-CorvelExplicitSwitch {
    $state = $script:CorvelProjectSwitch
    if ($null -eq $state) {
        return
    }
    $here = Get-CorvelProjectLocation
    if (-not $state.Seen -or $here -cne $state.Location) {
        $project = $null
        if ($null -ne $here) {
            $project = Find-CorvelProjectFile $here
        }
        $state.Seen = $true
        $state.Location = $here
        $state.ProjectKey = Get-CorvelProjectKey $project
    }
    $state.Recheck = $false
}
