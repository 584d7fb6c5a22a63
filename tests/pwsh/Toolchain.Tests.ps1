# Update-CorvelToolchain: Maven's toolchains.xml from config.json, every byte it did not write
# kept, and read by the real Maven.
BeforeAll {
    Import-Module "$PSScriptRoot/../../cli/shell/Corvel.psd1" -Force
    $work = Join-Path ([System.IO.Path]::GetTempPath()) "corvel-toolchain-$([guid]::NewGuid())"
    New-Item -ItemType Directory "$work/corvel" | Out-Null
    $env:APPDATA = $work
    $file = "$work/m2/toolchains.xml"
    $odd = "C:\jdks\a&b<c'd`"e é€😀"
    # Registers JDKs, each given as alias, root, version and vendor.
    function Set-Jdk([object[]] $Jdks) {
        $versions = [ordered]@{}
        foreach ($j in $Jdks) { $versions[$j[0]] = @{ path = $j[1]; detected_version = $j[2]; vendor = $j[3] } }
        Set-Content "$work/corvel/config.json" (@{ versions = $versions } | ConvertTo-Json -Depth 3)
    }
    $java21 = @(, @('java21', $odd, '21.0.2', 'Eclipse Adoptium'))
    # Runs the command; returns its host lines and warnings as text.
    function Update([string] $Path = $file) { Update-CorvelToolchain $Path 6>&1 3>&1 | ForEach-Object { "$_" } }
    function Get-Hex([string] $Path) { [System.BitConverter]::ToString([System.IO.File]::ReadAllBytes($Path)) }
    $template = @'
<?xml version="1.0" encoding="UTF-8"?>
<toolchains xmlns="http://maven.apache.org/TOOLCHAINS/1.1.0" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance"
  xsi:schemaLocation="http://maven.apache.org/TOOLCHAINS/1.1.0 http://maven.apache.org/xsd/toolchains-1.1.0.xsd">
{0}</toolchains>

'@
    $entry = @'
  <toolchain>
    <type>jdk</type>
    <provides>
      <version>21.0.2</version>
      <vendor>Eclipse Adoptium</vendor>
      <corvel.alias>java21</corvel.alias>
    </provides>
    <configuration>
      <jdkHome>C:\jdks\a&amp;b&lt;c'd"e é€😀</jdkHome>
    </configuration>
  </toolchain>

'@
    # Its own toolchains (one at java17's root, letter case aside), a comment, a character
    # reference, single quotes; corvel's entries go at {0}.
    $hand = @'
<?xml version='1.0' encoding='{1}'?>
<!-- Mine: café -->
<toolchains xmlns='http://maven.apache.org/TOOLCHAINS/1.1.0'><toolchain><type>netbeans</type>
    <provides><version>&#x31;2</version></provides></toolchain>
  <toolchain><type>jdk</type><provides><version>17</version></provides><configuration>
    <jdkHome>
      C:\JDKS\17 </jdkHome></configuration></toolchain>
{0}</toolchains>

'@
}
AfterAll { Remove-Module Corvel; Remove-Item -Recurse -Force $work }

Describe 'A missing file is written from scratch' {
    It 'holds Maven''s root and an entry per JDK, and says so' {
        Set-Jdk ($java21 + @(, @('java17', $odd, '17')))
        Update | Should -Be "Created $file", "Added toolchain 'java21' (21.0.2) at $odd",
            "Added toolchain 'java17' (17) at $odd"
        $java17 = $entry -replace '21\.0\.2', '17' -replace 'java21', 'java17' -replace ' *<vendor>.*\n'
        [System.IO.File]::ReadAllText($file) | Should -BeExactly ($template -f "$entry$java17")
    }
}

Describe 'A JDK Maven cannot take is skipped with one warning naming it' {
    It '<Why>' -ForEach @(
        @{ Why = 'no version'; Jdk = 'a', 'C:\a', $null }
        @{ Why = 'a missing folder'; Jdk = 'b', "$([System.IO.Path]::GetTempPath())corvel-none", '1' }
        @{ Why = 'a space at the end of the root'; Jdk = 'c', 'C:\c ', '1' }
        @{ Why = '${ in the root'; Jdk = 'd', 'C:\${env.X}', '1' }
        @{ Why = 'a control character in the root'; Jdk = 'e', "C:\`te", '1' }
        @{ Why = 'a control character in the alias'; Jdk = "f`u{1}", 'C:\f', '1' }
    ) {
        Remove-Item -ErrorAction Ignore $file
        Set-Jdk ($java21 + @(, $Jdk))
        ($said = @(Update)) | Should -HaveCount 3
        $said[0] | Should -BeLike "Skipped the JDK '$($Jdk[0] -replace "`u{1}", "`u{FFFD}")': *"
        [System.IO.File]::ReadAllText($file) | Should -BeExactly ($template -f $entry)
    }
}

Describe 'A hand-written file keeps every byte outside corvel''s entries' {
    It 'in <Encoding>' -ForEach @(
        @{ Encoding = 'UTF8'; CodePage = 65001; Newline = "`r`n" }
        @{ Encoding = 'UTF-16'; CodePage = 1200; Newline = "`n" }
        @{ Encoding = 'ISO-8859-1'; CodePage = 28591; Newline = "`n" }
    ) {
        # BOMs in UTF-8 and UTF-16, CRLF in UTF-8; references for what Latin-1 lacks.
        $coder = [System.Text.Encoding]::GetEncoding($CodePage)
        $bytes = { [byte[]] ($coder.GetPreamble() + $coder.GetBytes($args[0].Replace("`n", $Newline))) }
        $added = if ($CodePage -eq 28591) { $entry.Replace('€', '&#x20AC;').Replace('😀', '&#x1F600;') } else { $entry }
        $before = & $bytes ($hand -f '', $Encoding)
        Remove-Item -ErrorAction Ignore $file, "$file.bak"
        [System.IO.File]::WriteAllBytes($file, $before)
        Set-Jdk ($java21 + @(, @('java17', 'C:\jdks\17', '17')))
        Update | Should -Be "Added toolchain 'java21' (21.0.2) at $odd", "Kept the previous file as $file.bak"
        Get-Hex $file | Should -BeExactly ([System.BitConverter]::ToString((& $bytes ($hand -f $added, $Encoding))))
        Get-Hex "$file.bak" | Should -BeExactly ([System.BitConverter]::ToString($before))
    }
}

Describe 'corvel''s entries are updated in place, and taken out when their alias goes' {
    It 'gives the file a fresh write gives' {
        Remove-Item -ErrorAction Ignore $file, "$file.bak"
        Set-Jdk @(@('java21', 'C:\21', '21'), @('java17', 'C:\17', '17'), @('java11', 'C:\11', '11'))
        Update | Out-Null
        Set-Jdk @(@('java21', 'C:\21.0.3', '21.0.3', 'Eclipse Adoptium'), @('java11', 'C:\11', '11'),
            @('java8', 'C:\8', '1.8.0_392'))
        Update | Should -Be "Updated toolchain 'java21' (21.0.3) at C:\21.0.3",
            "Removed toolchain 'java17' (17) at C:\17", "Added toolchain 'java8' (1.8.0_392) at C:\8"
        Update "$work/fresh.xml" | Out-Null
        Get-Hex $file | Should -BeExactly (Get-Hex "$work/fresh.xml")
        "$file.bak" | Should -Not -Exist
        # An edit inside one of its entries makes the file one it did not write.
        $edited = [System.IO.File]::ReadAllText($file).Replace('<provides>', '<provides><id>shop</id>')
        [System.IO.File]::WriteAllText($file, $edited)
        Update | Should -Contain "Kept the previous file as $file.bak"
        [System.IO.File]::ReadAllText("$file.bak") | Should -BeExactly $edited
    }
}

Describe 'A file or a config.json that cannot be read fails and changes nothing' {
    It '<Name>' -ForEach @(
        @{ Name = 'a file that is not well-formed'; Break = { Set-Content $file '<toolchains><toolchain></toolchains>' } }
        @{ Name = 'another root'; Break = { Set-Content $file '<settings/>' } }
        @{ Name = 'a DOCTYPE'; Break = { Set-Content $file '<!-- c --><!DOCTYPE toolchains []><toolchains/>' } }
        @{ Name = 'invalid UTF-8'; Break = { [System.IO.File]::WriteAllBytes($file, [byte[]] (60, 97, 233, 47, 62)) } }
        @{ Name = 'a damaged config.json'; Break = { Set-Content "$work/corvel/config.json" '{"versions": {}' } }
        @{ Name = 'no config.json'; Break = { Remove-Item "$work/corvel/config.json" } }
    ) {
        Set-Jdk $java21
        Remove-Item -ErrorAction Ignore $file, "$file.bak"
        Update | Out-Null
        & $Break
        $before = Get-Hex $file
        $errors = $Error.Count
        Update-CorvelToolchain -Path $file -ErrorAction SilentlyContinue -ErrorVariable failed
        $? | Should -BeFalse
        "$($Error.Count - $errors)|$($failed.Count)" | Should -BeExactly '1|1'
        $Error[0].Exception.Message | Should -BeLike "*$(if ($Name -like '*config*') { 'config.json' } else { $file })*"
        Get-Hex $file | Should -BeExactly $before
    }
}

Describe '-WhatIf writes nothing' {
    It 'neither a new folder and file nor a change' {
        Set-Jdk $java21
        Update-CorvelToolchain -Path "$work/none/toolchains.xml" -WhatIf
        "$work/none" | Should -Not -Exist
        Set-Content $file '<toolchains/>'
        Update-CorvelToolchain -Path $file -WhatIf 6>&1 | Should -BeNullOrEmpty
        Get-Content -Raw $file | Should -BeExactly "<toolchains/>`n"
    }
}

Describe 'A second run with the same registrations writes nothing' {
    It 'keeps the bytes and the time of the file, and says nothing' {
        Set-Jdk $java21
        Set-Content $file '<?xml version="1.0"?><toolchains><!-- mine --></toolchains>'
        Update | Out-Null
        $written = Get-Item $file
        Update | Should -BeNullOrEmpty
        (Get-Item $file).LastWriteTimeUtc | Should -Be $written.LastWriteTimeUtc
        Get-Content -Raw $file | Should -BeExactly "<?xml version=`"1.0`"?><toolchains><!-- mine -->`n$entry</toolchains>`n"
    }
}

Describe 'Maven reads the files it writes' {
    It '<Name>' -ForEach @(@{ Name = 'written from scratch' }, @{ Name = 'merged into a hand-written one' }) {
        Remove-Item -ErrorAction Ignore $file, "$file.bak"
        if ($Name -like 'merged*') { [System.IO.File]::WriteAllText($file, ($hand -f '', 'UTF-8')) }
        Set-Jdk ($java21 + @(, @('java17', "C:\jdks\17 $odd", '17')))
        Update | Should -HaveCount 3
        Set-Content "$work/pom.xml" ('<project><modelVersion>4.0.0</modelVersion><groupId>t</groupId>' +
            '<artifactId>t</artifactId><version>1</version><packaging>pom</packaging></project>')
        $output = mvn -o -B -f "$work/pom.xml" -t $file "-Dmaven.repo.local=$work/repo" validate 2>&1
        "$LASTEXITCODE $output" | Should -Match '^0 (?!.*(WARN|ERROR))'
    }
}
