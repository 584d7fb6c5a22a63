# Shared by scripts/test.sh and scripts/demo.sh (sourced, not run): installs what a fresh
# Debian 12 or Ubuntu machine lacks and configures and builds a CMake preset.

# Debian packages the build and the tests need (Maven and a JDK: the PowerShell module's
# toolchains.xml is checked with the real Maven).
corvel_packages=(
    cmake ninja-build g++ ccache
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64
    nlohmann-json3-dev libcli11-dev libgtest-dev googletest unicode-data
    clang-19 libclang-rt-19-dev
    python3
    maven default-jdk-headless
)

# PowerShell 7, for the tests of the PowerShell module, installed as a .NET global tool into
# ~/.dotnet/tools (this version: newer ones do not install with the .NET SDK these machines have).
corvel_pwsh_version=7.6.10
export PATH="$HOME/.dotnet/tools:$PATH"

# Pester, the test framework of the PowerShell module's tests, pinned to this version and kept
# in this folder (tests/pwsh/CMakeLists.txt looks for it there).
corvel_pester_version=5.7.1
corvel_pester_dir="$HOME/.cache/corvel/pester"

# Installs the Debian packages that are missing, then PowerShell and Pester when missing.
install_missing_packages() {
    install_missing_debian_packages && install_pwsh && install_pester
}

# Installs the packages that are missing; runs apt-get update first only when one is.
install_missing_debian_packages() {
    local missing=() package
    for package in "${corvel_packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    if [ "${#missing[@]}" -eq 0 ]; then
        return 0
    fi
    echo "installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -q &&
        "${sudo[@]}" apt-get install -y -q "${missing[@]}" </dev/null
}

# Installs pwsh with the .NET SDK's `dotnet tool` when it is missing; fails when it cannot.
install_pwsh() {
    if command -v pwsh >/dev/null 2>&1; then
        return 0
    fi
    if ! command -v dotnet >/dev/null 2>&1; then
        echo "pwsh is missing and cannot be installed: the .NET SDK (dotnet) is not installed" >&2
        return 1
    fi
    echo "installing: PowerShell $corvel_pwsh_version (dotnet global tool)"
    DOTNET_NOLOGO=1 DOTNET_CLI_TELEMETRY_OPTOUT=1 \
        dotnet tool install --global PowerShell --version "$corvel_pwsh_version" </dev/null &&
        command -v pwsh >/dev/null 2>&1 || {
        echo "installing PowerShell $corvel_pwsh_version failed" >&2
        return 1
    }
}

# Saves Pester from the NuGet feed that `dotnet nuget list source` names, with PowerShell's own
# PSResourceGet, when it is not there yet; fails when it cannot.
install_pester() {
    if [ -f "$corvel_pester_dir/pester/$corvel_pester_version/tools/Pester.psd1" ]; then
        return 0
    fi
    local feed
    feed="$(DOTNET_NOLOGO=1 dotnet nuget list source 2>/dev/null |
        awk '/^ *[0-9]+\. .*\[Enabled\]/ { getline; print $1; exit }')"
    if [ -z "$feed" ]; then
        echo "Pester cannot be installed: dotnet nuget list source names no enabled feed" >&2
        return 1
    fi
    echo "installing: Pester $corvel_pester_version from $feed"
    mkdir -p "$corvel_pester_dir" &&
        CORVEL_FEED="$feed" CORVEL_PESTER_DIR="$corvel_pester_dir" \
            CORVEL_PESTER_VERSION="$corvel_pester_version" pwsh -NoProfile -NonInteractive -Command '
        $ErrorActionPreference = "Stop"
        if (Get-PSResourceRepository -Name corvel-nuget -ErrorAction Ignore) {
            Set-PSResourceRepository -Name corvel-nuget -Uri $env:CORVEL_FEED
        } else {
            Register-PSResourceRepository -Name corvel-nuget -Uri $env:CORVEL_FEED
        }
        Save-PSResource -Name Pester -Version $env:CORVEL_PESTER_VERSION -Repository corvel-nuget `
            -Path $env:CORVEL_PESTER_DIR -TrustRepository' </dev/null &&
        [ -f "$corvel_pester_dir/pester/$corvel_pester_version/tools/Pester.psd1" ] || {
        echo "installing Pester $corvel_pester_version failed" >&2
        return 1
    }
}

# Configures and builds one preset (native, sanitize, windows or fuzz), through ccache when present.
# Extra arguments go to the build (for example --target corvel).
build_preset() {
    local preset="$1"
    shift
    local launcher=()
    if command -v ccache >/dev/null 2>&1; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
        # Paths relative to the source folder, so that other checkouts share the cache.
        export CCACHE_BASEDIR="$PWD"
    fi
    echo "=== configuring and building the $preset preset"
    cmake --preset "$preset" "${launcher[@]}" >/dev/null &&
        cmake --build --preset "$preset" "$@"
}
