# The automatic switch: with Enable-CorvelProjectJdk on, a change of location applies the JDK of the
# project there to this session (JAVA_HOME and the bin folder first in PATH, from the export-shell
# lines), and leaving every project takes back exactly what the switch put there. The session
# only: nothing here writes the registry or config.json.
#
# PowerShell 7 runs the check from the engine's LocationChangedAction, a multicast delegate: the
# module adds its own handler beside whatever other hooks are there and takes out only that
# handler again, so a prompt theme may load before or after, chaining or not. Windows PowerShell
# 5.1 lacks that action: there the check runs from a wrapper around the prompt function.
# Whichever hook runs it, a check at the location last checked does nothing, so a hook reached
# twice (through another module's chain too) costs nothing.

# $null while the switch is off; else a hashtable: Quiet; Seen and Location (the folder last
# checked, $null outside the file system); ProjectKey (file and request of the project there, so
# that nothing happens until it changes, which also lets an explicit switch win within it);
# Applied (what the switch put in the session, or $null); Recheck (check again in place).
$script:CorvelProjectSwitch = $null
# This module's handler in LocationChangedAction, made once so that it can be found again.
$script:CorvelLocationHandler = $null
# The prompt wrapper (5.1), and the prompts it was put over, oldest first. A theme may wrap the
# wrapper and a later Enable wrap the theme: the wrapper, reached again through the theme, then
# draws the prompt it was put over at that depth, and only the outermost call checks.
$script:CorvelPromptWrapper = {
    # corvel project switch: the status of the user's last command goes on to the prompt.
    Invoke-CorvelProjectPrompt $?
}
$script:CorvelWrappedPrompts = New-Object System.Collections.Generic.List[scriptblock]
# PowerShell's own prompt, for a session that had no prompt function.
$script:CorvelDefaultPrompt = {
    "PS $($ExecutionContext.SessionState.Path.CurrentLocation)$('>' * ($NestedPromptLevel + 1)) "
}
$script:CorvelPromptDepth = 0

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

# One warning as the user's $WarningPreference has it, which never throws into the change of
# location or the prompt that runs the check ('Stop' shows it once, and goes no further).
function Write-CorvelProjectWarning([string] $Text) {
    $errorCount = $global:Error.Count
    try {
        Write-Warning $Text
    } catch {
        Restore-CorvelErrorList $errorCount
    }
}

# Takes back what the switch applied, if anything: the bin entry it added where it still stands
# (first, unless the user put another entry before it), its PATH suffix, and JAVA_HOME while it
# still holds the switch's value. Returns what was taken back, or $null.
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

# Takes back what the switch applied, with one line when there was something.
function Exit-CorvelProjectSession {
    $left = Restore-CorvelOutsideSession
    if ($null -ne $left) {
        $alias = ConvertTo-CorvelDisplayText $left.Alias
        $file = ConvertTo-CorvelDisplayText $left.File
        Write-CorvelProjectMessage "Left project JDK '$alias' of $file"
    }
}

# Checks which project applies at the current location and changes the session when it differs
# from the one applied. Does no file work when the location is the one last checked, unless
# -Force (a project file was just written) or an undone switch asks for it. The check counts as
# made only once it is through, so that one cut short (Ctrl+C during the corvel run) is made
# again at the next prompt or change of location.
function Update-CorvelProjectSwitch([switch] $Force) {
    $state = $script:CorvelProjectSwitch
    if ($null -eq $state) {
        return
    }
    $here = Get-CorvelProjectLocation
    $again = $Force -or $state.Recheck
    if (-not $again -and $state.Seen -and $here -ceq $state.Location) {
        return
    }
    $project = $null
    if ($null -ne $here) {
        $project = Find-CorvelProjectFile $here
    }
    $key = Get-CorvelProjectKey $project
    if ($again -or $key -cne $state.ProjectKey) {
        Switch-CorvelProjectSession $state $project
    }
    $state.Seen = $true
    $state.Location = $here
    $state.ProjectKey = $key
    $state.Recheck = $false
}

# Puts the session in the state the project asks for ($null: outside every project): one host
# line for a change, one warning for a project that cannot be applied, which leaves the session
# as it is.
function Switch-CorvelProjectSession($State, $Project) {
    if ($null -eq $Project) {
        Exit-CorvelProjectSession
        return
    }
    $file = ConvertTo-CorvelDisplayText $Project.File
    if ($null -ne $Project.Reason) {
        $reason = ConvertTo-CorvelDisplayText $Project.Reason
        Write-CorvelProjectWarning "$file cannot be read: $reason"
        return
    }
    $request = ConvertTo-CorvelDisplayText $Project.Request $script:CorvelRequestShownLength
    $config = Read-CorvelConfigFile
    $resolved = Resolve-CorvelProjectRequest $Project.Request $config
    if ($null -ne $resolved.Problem) {
        Write-CorvelProjectWarning ("$file asks for Java '$request'" +
            (Get-CorvelRequestProblemText $resolved $config))
        return
    }
    $alias = $resolved.Entry.Alias
    $shownAlias = ConvertTo-CorvelDisplayText $alias
    if ($null -ne $State.Applied -and $State.Applied.Alias -ceq $alias) {
        # Another project asking for the same JDK: the session stays as it is.
        $State.Applied.File = $Project.File
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
        Write-CorvelProjectWarning ("$file asks for '$shownAlias', which cannot be applied: " +
            (ConvertTo-CorvelDisplayText ($switch.Message -replace '\s*[\r\n]+\s*', ' ')))
        return
    }
    $null = Restore-CorvelOutsideSession
    $outsideJavaHome = $env:JAVA_HOME
    $path = [string] $env:PATH
    $prefix = $switch.PathPrefix
    # A bin entry that already comes first stays the user's: nothing is added, nothing taken back.
    if ($switch.PathSuffix -eq '' -and $prefix -ne '' -and ($path.StartsWith($prefix,
                [System.StringComparison]::Ordinal) -or
            ($path + [System.IO.Path]::PathSeparator) -ceq $prefix)) {
        $prefix = ''
    }
    Set-CorvelSessionJdk ([pscustomobject]@{ JavaHome = $switch.JavaHome; PathPrefix = $prefix
            PathSuffix = $switch.PathSuffix }) -BasePath $path
    $State.Applied = @{
        Alias           = $alias
        File            = $Project.File
        JavaHome        = $switch.JavaHome
        PathPrefix      = $prefix
        PathSuffix      = $switch.PathSuffix
        OutsideJavaHome = $outsideJavaHome
    }
    $line = "Project JDK '$shownAlias' from $file"
    if ($null -ne $resolved.Fallback) {
        $distribution = ConvertTo-CorvelDisplayText $resolved.Fallback
        $line += " (another vendor's: no registered $distribution JDK matches)"
    }
    Write-CorvelProjectMessage $line
}

# What the hooks run: a failure becomes one warning and never breaks a change of location or the
# prompt; an interruption (Ctrl+C) goes on to the engine.
function Invoke-CorvelProjectHook([switch] $Force) {
    try {
        Update-CorvelProjectSwitch -Force:$Force
    } catch [System.Management.Automation.PipelineStoppedException] {
        throw
    } catch {
        $state = $script:CorvelProjectSwitch
        if ($null -ne $state) {
            # Not again at every prompt in this folder.
            $state.Seen = $true
            $state.Location = Get-CorvelProjectLocation
        }
        Write-CorvelProjectWarning ('The project JDK switch failed: ' +
            (ConvertTo-CorvelDisplayText $_.Exception.Message))
    }
}

# The prompt wrapper's body: the prompt it was put over comes first, seeing the user's last
# status in $? (themes show it), then, in the outermost call only, the check.
function Invoke-CorvelProjectPrompt([bool] $LastSucceeded) {
    $depth = $script:CorvelPromptDepth
    $at = $script:CorvelWrappedPrompts.Count - 1 - $depth
    $prompt = $script:CorvelDefaultPrompt
    if ($at -ge 0) {
        $prompt = $script:CorvelWrappedPrompts[$at]
    }
    $script:CorvelPromptDepth = $depth + 1
    try {
        if (-not $LastSucceeded) {
            # Sets $? to False for the prompt, recording nothing.
            Write-Error -Message 'failed' -ErrorAction Ignore
        }
        $text = & $prompt
    } finally {
        $script:CorvelPromptDepth = $depth
    }
    if ($depth -eq 0) {
        Invoke-CorvelProjectHook
    }
    return $text
}

# Puts the check where the engine runs it: this module's handler added to the location action,
# or else the wrapper around the prompt. Installs nothing twice.
function Install-CorvelProjectHook {
    if (Test-CorvelLocationChangedAction) {
        if ($null -eq $script:CorvelLocationHandler) {
            $script:CorvelLocationHandler =
                [System.EventHandler[System.Management.Automation.LocationChangedEventArgs]] {
                    param($source, $change)
                    Invoke-CorvelProjectHook
                }
        }
        $current = $ExecutionContext.InvokeCommand.LocationChangedAction
        if ($null -ne $current -and
            $current.GetInvocationList() -contains $script:CorvelLocationHandler) {
            return
        }
        $ExecutionContext.InvokeCommand.LocationChangedAction =
            [System.Delegate]::Combine($current, $script:CorvelLocationHandler)
        return
    }
    $prompt = ${function:global:prompt}
    if ([object]::ReferenceEquals($prompt, $script:CorvelPromptWrapper)) {
        return
    }
    if ($null -eq $prompt) {
        $prompt = $script:CorvelDefaultPrompt
    }
    $script:CorvelWrappedPrompts.Add($prompt)
    ${function:global:prompt} = $script:CorvelPromptWrapper
}

# Takes this module's handler out of the location action, and its wrapper off the prompt where
# it is still the prompt; a wrapper another prompt holds stays, and finds the switch off.
function Uninstall-CorvelProjectHook {
    if ($null -ne $script:CorvelLocationHandler) {
        $ExecutionContext.InvokeCommand.LocationChangedAction = [System.Delegate]::Remove(
            $ExecutionContext.InvokeCommand.LocationChangedAction, $script:CorvelLocationHandler)
    }
    if ([object]::ReferenceEquals(${function:global:prompt}, $script:CorvelPromptWrapper)) {
        $last = $script:CorvelWrappedPrompts.Count - 1
        ${function:global:prompt} = $script:CorvelWrappedPrompts[$last]
        $script:CorvelWrappedPrompts.RemoveAt($last)
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
    command may replace the wrapper, so load themes first, or run this command again after them.
    Running it again, before or after other hooks, never installs the switch twice.

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
    JAVA_HOME it set) and takes out its hook; other hooks on the location action or the prompt
    keep working. Removing the module does the same.

    .EXAMPLE
    Disable-CorvelProjectJdk
    #>
    [CmdletBinding()]
    param()

    if ($null -eq $script:CorvelProjectSwitch) {
        return
    }
    Exit-CorvelProjectSession
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
