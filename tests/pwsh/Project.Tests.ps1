# Project files, how their requests resolve, Set-CorvelProjectJdk and the automatic switch, on real
# folders in pwsh, with stand-ins for the module's config reader, export-shell run and error writer.
BeforeAll {
    Set-StrictMode -Version Latest
    foreach ($part in 'Text', 'Invoke', 'Config', 'Project', 'ProjectSwitch') {
        . "$PSScriptRoot/../../cli/shell/lib/$part.ps1"
    }
    $script:Registered = @()
    $script:ConfigProblem = $null
    $script:Runs = 0
    $script:Sep = [IO.Path]::PathSeparator
    function Read-CorvelConfigFile {
        [pscustomobject]@{ File = 'C:\cfg\config.json'; Entries = @($script:Registered)
            Problem = $script:ConfigProblem; Reason = $null }
    }
    function Get-CorvelSessionSwitch([string] $Alias) {
        $script:Runs++
        $global:LASTEXITCODE = 0
        [pscustomobject]@{ Failed = $false; JavaHome = "/jdks/$Alias"; PathSuffix = ''
            PathPrefix = "/jdks/$Alias/bin$script:Sep" }
    }
    function Set-CorvelSessionJdk($Switch, [string] $BasePath = $env:PATH) {
        $env:JAVA_HOME = $Switch.JavaHome
        $env:PATH = $Switch.PathPrefix + $BasePath + $Switch.PathSuffix
    }
    function Write-CorvelError($Cmdlet, [string] $Message, $Category, $Target) {
        $exception = New-Object Exception $Message
        $Cmdlet.WriteError((New-Object Management.Automation.ErrorRecord $exception, 'Corvel',
                $Category, $Target))
    }
    # alias=detected_version[@vendor[@root]]; a root not given is a Windows one, which counts as
    # present here.
    function Register-Jdk([string[]] $Records) {
        $script:Registered = @($Records | ForEach-Object {
                $a, $v = $_ -split '=', 2
                $v, $vendor, $root = $v -split '@'
                if (-not $root) { $root = "C:\jdks\$a" }
                [pscustomobject]@{ Alias = $a; Path = $root; Version = $v; Vendor = $vendor } })
    }
    function New-ProjectFile([string] $Folder, [string] $Text, [string] $Name = '.java-version',
        [string] $Encoding) {
        $bytes = [Text.Encoding]::UTF8.GetBytes($Text)
        if ($Encoding) {
            $with = [Text.Encoding]::$Encoding
            $bytes = $with.GetPreamble() + $with.GetBytes($Text)
        }
        $dir = (New-Item -ItemType Directory -Force $Folder).FullName
        [IO.File]::WriteAllBytes((Join-Path $dir $Name), [byte[]] $bytes)
    }
}

BeforeDiscovery {
    # One case of the resolution table: the file, its text, the registered JDKs as
    # alias=detected_version, the alias expected, and the encoding written with a BOM, if any.
    function New-Case($Name, $Text, [string[]] $Jdks, $Want, $Encoding) {
        @{ Name = $Name; Text = $Text; Jdks = $Jdks; Want = $Want; Encoding = $Encoding }
    }
}

Describe 'A request resolves to the registered JDK it means' {
    AfterEach { Set-Location $PSScriptRoot }

    It '<Name> holding <Text> with <Jdks> is <Want>' -ForEach @(
        (New-Case .java-version "# pinned`n`n  17  `r`n21" 'a=17.0.2' 'a')
        (New-Case .java-version '17' 'old=17.0.2', 'new=17.0.15' 'new')
        (New-Case .java-version '17.0.2' 'a=17.0.21', 'b=17.0.2.1' 'b')
        (New-Case .java-version '17' 'b=17.0.2', 'a=17.0.2.0', 'c=17' 'a')
        (New-Case .java-version 'Java17' 'Java17=21', 'x=17' 'Java17')
        (New-Case .java-version 'java17' 'Java17=17' '')
        (New-Case .java-version 'temurin-17.0.2+8' 'a=openjdk64-17.0.2' 'a')
        (New-Case .java-version '17.0.2-1' 'a=17.0.2.LTS', 'b=17.0.1' 'a')
        (New-Case .java-version 'corretto-1.8' 'a=1.8.0_401', 'b=1.1' 'a')
        (New-Case .java-version '8.0.401' 'a=1.8.0_401-b10' 'a')
        (New-Case .java-version '21' 'a=', 'b=21x' '')
        (New-Case .java-version '21' 'a=21' 'a' Unicode)
        (New-Case .java-version '21' 'a=21' 'a' BigEndianUnicode)
        (New-Case .java-version "21`r`n" 'a=21' 'a' UTF8)
        (New-Case .sdkmanrc "#java=8`nkotlin=1.9`njava = 21.0.1-tem" 'a=21.0.1' 'a')
        (New-Case .tool-versions "nodejs 20`njava  temurin-11 zulu-17" 'a=17', 'b=11' 'b')
        (New-Case .java-version "# pinned`r17`r" 'a=17' 'a')
        (New-Case .sdkmanrc "java=17`njava=21" 'a=17', 'b=21' 'b')
        (New-Case .java-version '22' 'a=22-ea', 'b=22' 'b')
        (New-Case .java-version '17.' 'a=17' '')
        (New-Case .java-version '17..2' 'a=17.0.2' '')
        (New-Case .java-version '17' 'new=17.0.15@@/nonexistent/jdk', 'old=17.0.2' 'old')
        (New-Case .java-version 'temurin-17' 'a=17.0.9@Oracle', 'b=17.0.2@Eclipse Adoptium' 'b')
        (New-Case .java-version 'semeru-17' 'a=17.0.9', 'b=17.0.2@international business machines' 'b')
        (New-Case .java-version 'zulu-17' 'a=17.0.9@Oracle', 'b=17.0.2@Amazon' 'a')
        (New-Case .java-version "$('#' * 4091)`n17.0.2`n" 'a=17.0.15', 'b=17.0.2' '')
    ) {
        Register-Jdk $Jdks
        $folder = "TestDrive:/$([guid]::NewGuid())"
        New-ProjectFile $folder $Text $Name $Encoding
        Set-Location -LiteralPath $folder
        "$(Get-CorvelProjectJdk | ForEach-Object Alias)" | Should -BeExactly $Want
    }

    It 'takes the nearest folder that asks, passing over files that ask for nothing' {
        Register-Jdk 'j8=8', 'j17=17', 'j21=21'
        New-ProjectFile TestDrive:/n '8'
        New-ProjectFile TestDrive:/n/m 'kotlin=2' '.sdkmanrc'
        New-ProjectFile TestDrive:/n/m 'nodejs 20' '.tool-versions'
        New-ProjectFile TestDrive:/n/m/k 'java 21' '.tool-versions'
        New-ProjectFile TestDrive:/n/m/k '17'
        Set-Location TestDrive:/n/m
        (Get-CorvelProjectJdk).Alias | Should -BeExactly 'j8'
        Set-Location TestDrive:/n/m/k
        $found = Get-CorvelProjectJdk
        "$($found.Alias)|$($found.Request)|$($found.File)|$($found.Root)" |
            Should -BeExactly "j17|17|$(Join-Path "$TestDrive/n/m/k" '.java-version')|C:\jdks\j17"
        Set-Location Env:
        Get-CorvelProjectJdk | Should -BeNullOrEmpty
    }
}

Describe 'Set-CorvelProjectJdk' {
    BeforeEach {
        Register-Jdk 'java17=17.0.2', 'java 21=21'
        New-ProjectFile TestDrive:/s "8`n"
        Set-Location TestDrive:/s
    }
    AfterEach { Set-Location $PSScriptRoot }

    It 'writes the request and a line feed in UTF-8 without a BOM' {
        Set-CorvelProjectJdk 'java 21'
        [IO.File]::ReadAllBytes("$TestDrive/s/.java-version") |
            Should -Be ([Text.Encoding]::UTF8.GetBytes("java 21`n"))
    }

    It 'refuses <Request> and leaves the file' -ForEach @(
        @{ Request = '#17' }, @{ Request = "17`n" }, @{ Request = ' 17' }, @{ Request = '17 ' }
        @{ Request = '99' }, @{ Request = 'latest' }) {
        Set-CorvelProjectJdk $Request -ErrorVariable failed -ErrorAction SilentlyContinue
        $failed.Count | Should -Be 1
        Get-Content -Raw "$TestDrive/s/.java-version" | Should -BeExactly "8`n"
    }

    It 'names the file and the reason, once, when it cannot write' {
        New-Item -ItemType Directory TestDrive:/d/.java-version | Out-Null
        Set-Location TestDrive:/d
        $before = $Error.Count
        Set-CorvelProjectJdk java17 -ErrorVariable failed -ErrorAction SilentlyContinue
        "$($failed.Count)|$($Error.Count - $before)" | Should -BeExactly '1|1'
        $failed[0].Exception.Message |
            Should -BeLike "Cannot write $(Join-Path "$TestDrive/d" .java-version): *denied*"
    }
}

Describe 'The automatic switch' {
    BeforeEach {
        Register-Jdk 'java17=17.0.2', 'java21=21.0.1'
        New-ProjectFile TestDrive:/a '17'
        New-ProjectFile TestDrive:/b 'java=21' '.sdkmanrc'
        New-Item -ItemType Directory -Force TestDrive:/a/src/main, TestDrive:/out | Out-Null
        $a = "$TestDrive/a/.java-version"
        $base = "/usr/bin$Sep/bin"
        $env:PATH = $base
        $env:JAVA_HOME = '/outside'
        $script:Runs = 0
        $script:ConfigProblem = $null
        Mock Write-Host {}
        Set-Location TestDrive:/out
        Enable-CorvelProjectJdk
    }
    AfterEach {
        Set-Location $PSScriptRoot
        Disable-CorvelProjectJdk
        $ExecutionContext.InvokeCommand.LocationChangedAction | Should -BeNullOrEmpty
    }

    It 'enters a project once, and does nothing within it' {
        $global:LASTEXITCODE = 7
        Set-Location TestDrive:/a
        Set-Location TestDrive:/a/src/main
        "$env:JAVA_HOME|$env:PATH|$Runs|$LASTEXITCODE" |
            Should -BeExactly "/jdks/java17|/jdks/java17/bin$Sep$base|1|7"
        Should -Invoke Write-Host -Times 1 -Exactly -ParameterFilter {
            $Object -ceq "Project JDK 'java17' from $a" }
    }

    It 'replaces one project bin entry by the next' {
        Set-Location TestDrive:/a
        Set-Location TestDrive:/b
        "$env:JAVA_HOME|$env:PATH" | Should -BeExactly "/jdks/java21|/jdks/java21/bin$Sep$base"
    }

    It 'takes back only its own bin entry and JAVA_HOME on leaving' {
        Set-Location TestDrive:/a/src
        $env:PATH = "/mine$Sep$env:PATH$Sep/end"
        Set-Location TestDrive:/out
        "$env:JAVA_HOME|$env:PATH" | Should -BeExactly "/outside|/mine$Sep$base$Sep/end"
        Should -Invoke Write-Host -Times 1 -Exactly -ParameterFilter {
            $Object -ceq "Left project JDK 'java17' of $a" }
    }

    It 'warns once, on entering, that <Says> (warnings: <Preference>)' -ForEach @(
        @{ Request = '99'; Problem = $null; Preference = 'Continue'
            Says = "99', which no registered JDK matches; 'corvel scan --auto-add'" }
        @{ Request = '99'; Problem = $null; Preference = 'Stop'; Says = "99', which no registered" }
        @{ Request = 'nonsense'; Problem = $null; Preference = 'Continue'
            Says = "', which is neither a registered alias nor a Java version." }
        @{ Request = '17'; Problem = 'Damaged'; Preference = 'Continue'
            Says = "17', but corvel's config.json (C:\cfg\config.json) is damaged; 'corvel list' says" }
        @{ Request = 'gone'; Problem = $null; Preference = 'Continue'
            Says = "'gone', registered as 'gone' at /no/jdk, a folder that does not exist." }
        @{ Request = "`e[2J`e]0;title`a`0`u{202E}$('y' * 4000)"; Problem = $null; Preference = 'Continue'
            Says = "'`u{FFFD}[2J`u{FFFD}]0;title`u{FFFD}`u{FFFD}`u{FFFD}$('y' * 44)`u{2026}', which" }
    ) {
        Register-Jdk 'java17=17.0.2', 'gone=17@@/no/jdk'
        $script:ConfigProblem = $Problem
        New-ProjectFile TestDrive:/w $Request
        New-Item -ItemType Directory -Force TestDrive:/w/x | Out-Null
        # Set-Location must not throw, whatever the preference.
        $global:WarningPreference = $Preference
        try {
            $warned = @(foreach ($folder in 'w', 'w/x', 'w') { Set-Location TestDrive:/$folder 3>&1 })
        } finally {
            $global:WarningPreference = 'Continue'
        }
        "$env:JAVA_HOME|$env:PATH|$Runs|$($warned.Count)" | Should -BeExactly "/outside|$base|0|1"
        $prefix = "$(Join-Path "$TestDrive/w" .java-version) asks for Java '"
        $warned[0].Message.StartsWith($prefix) -and $warned[0].Message.Contains($Says) | Should -BeTrue
    }

    It 'warns once that the nearest project file cannot be read, and applies no other' {
        New-Item -ItemType Directory TestDrive:/a/locked/sub | Out-Null
        $locked = Join-Path "$TestDrive/a/locked" .java-version
        $lock = [IO.File]::Open($locked, 'CreateNew', 'ReadWrite', 'None')
        $before = $Error.Count
        try {
            $warned = @(foreach ($folder in 'a/locked', 'a/locked/sub') { Set-Location TestDrive:/$folder 3>&1 })
        } finally {
            $lock.Dispose()
        }
        "$env:JAVA_HOME|$($Error.Count - $before)|$warned" |
            Should -BeLike "/outside|0|$locked cannot be read: *being used by another process*"
    }

    It 'leaves a bin entry that came first before entering as it was' {
        $env:PATH = "/jdks/java17/bin$Sep$base"
        Set-Location TestDrive:/a
        $inside = $env:PATH
        Set-Location TestDrive:/out
        "$inside|$env:PATH|$env:JAVA_HOME" |
            Should -BeExactly "/jdks/java17/bin$Sep$base|/jdks/java17/bin$Sep$base|/outside"
    }

    It 'says when the JDK is of another vendor than the request names' {
        Register-Jdk 'java17=17.0.2@Oracle Corporation'
        New-ProjectFile TestDrive:/v 'corretto-17'
        Set-Location TestDrive:/v
        Should -Invoke Write-Host -Times 1 -Exactly -ParameterFilter {
            $Object -ceq ("Project JDK 'java17' from $(Join-Path "$TestDrive/v" .java-version) " +
                "(another vendor's: no registered corretto JDK matches)") }
    }

    It 'applies a project whose switch was cut short at the next check' {
        Mock Get-CorvelProjectLocation { "$TestDrive/a" }
        Mock Get-CorvelSessionSwitch { throw 'cut short' }
        { Update-CorvelProjectSwitch } | Should -Throw 'cut short'
        Mock Get-CorvelSessionSwitch { [pscustomobject]@{ Failed = $false; JavaHome = '/j'; PathPrefix = ''; PathSuffix = '' } }
        Update-CorvelProjectSwitch
        $env:JAVA_HOME | Should -BeExactly '/j'
    }

    It '<Hook>: one check per change, the other hook kept, after <Order>' -ForEach @(
        foreach ($hook in 'location action', 'prompt wrapper') {
            foreach ($order in 'Enable, chain, Enable', 'Enable, chain, Disable, Enable',
                'chain, Enable, Enable') {
                @{ Hook = $hook; Order = $order }
            }
        }) {
        Disable-CorvelProjectJdk
        $global:TheirCalls = 0
        $prompts = $Hook -eq 'prompt wrapper'
        if ($prompts) {
            Mock Test-CorvelLocationChangedAction { $false }
            function global:prompt { 'base> ' }
        }
        # Another hook chains the one that was there: it keeps it and calls it.
        foreach ($step in $Order -split ', ') {
            if ($step -ne 'chain') {
                & "$step-CorvelProjectJdk"
            } elseif ($prompts) {
                $previous = ${function:global:prompt}
                ${function:global:prompt} = { $global:TheirCalls++; 'theme ' + (& $previous) }.GetNewClosure()
            } else {
                $previous = $ExecutionContext.InvokeCommand.LocationChangedAction
                $ExecutionContext.InvokeCommand.LocationChangedAction = { param($source, $change)
                    $global:TheirCalls++; if ($previous) { $previous.Invoke($source, $change) } }.GetNewClosure()
            }
        }
        # Two changes of location, each with its prompt where the prompt runs the check.
        $visit = { foreach ($folder in $args) { Set-Location TestDrive:/$folder; if ($prompts) { prompt } } }
        $theme = if ($prompts) { 'theme base>  theme base> ' }
        $shown = & $visit a a/src
        "$Runs|$TheirCalls|$env:PATH|$shown" | Should -BeExactly "1|2|/jdks/java17/bin$Sep$base|$theme"
        Disable-CorvelProjectJdk
        $shown = & $visit out a
        "$Runs|$TheirCalls|$env:JAVA_HOME|$shown" | Should -BeExactly "1|4|/outside|$theme"
        $ExecutionContext.InvokeCommand.LocationChangedAction = $null
    }

    It 'restores the session and the prompt on Disable, in the prompt hook of 5.1' {
        Disable-CorvelProjectJdk
        Mock Test-CorvelLocationChangedAction { $false }
        Mock Find-CorvelProjectFile { @{ File = $a; Request = '17'; Reason = $null } }
        function global:prompt { "theme $?> " }
        Set-Location TestDrive:/a
        Enable-CorvelProjectJdk -Quiet
        Write-Error 'failed' -ErrorAction SilentlyContinue
        $shown = prompt
        $shown | Should -BeExactly 'theme False> '
        $env:JAVA_HOME | Should -BeExactly '/jdks/java17'
        Should -Invoke Find-CorvelProjectFile -Times 1 -Exactly
        Disable-CorvelProjectJdk
        "$env:JAVA_HOME|$env:PATH|$(prompt)" | Should -BeExactly "/outside|$base|theme True> "
        Should -Invoke Write-Host -Times 0 -Exactly
    }
}
