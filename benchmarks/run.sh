#!/usr/bin/env bash
# Times corvel.exe under Wine against a Windows program that does nothing, started the same way:
# process start under Wine is the floor no command can beat, so each result is a ratio to it.
#
# Usage:  benchmarks/run.sh [path/to/corvel.exe]
#         (default: build/windows/cli/corvel.exe, built with the windows preset when missing)
# Knobs (environment):
#   RUNS=15   measured pairs per case; the two programs alternate so that machine load hits both
#
# Cases and targets (median of corvel / median of the do-nothing program):
#   --version                               1.10
#   export-shell                            1.10
#   use, with a 6,000-character user Path   1.10
#   list, with 1,000 registered JDKs        1.50
#   scan, over 300 JDK folders that all hold release files (no launcher may start)   2.00
#
# Everything happens in a private Wine prefix in a temporary folder (never ~/.wine), removed on
# exit. Needs wine, wineserver, wineboot and x86_64-w64-mingw32-gcc. Takes a few minutes.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
corvel_exe="${1:-$root/build/windows/cli/corvel.exe}"
runs="${RUNS:-15}"
jdks=300
registered=1000

if [ ! -f "$corvel_exe" ]; then
    (cd "$root" && source scripts/common.sh && build_preset windows --target corvel)
fi
corvel_exe="$(realpath "$corvel_exe")"

work="$(mktemp -d "${TMPDIR:-/tmp}/corvel-bench.XXXXXX")"
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

printf 'int main(void) { return 0; }\n' >"$work/noop.c"
x86_64-w64-mingw32-gcc -O2 -s -static -o "$work/noop.exe" "$work/noop.c"
cp "$corvel_exe" "$work/corvel.exe"

echo "Creating the Wine prefix..."
mkdir -p "$WINEPREFIX"
wineboot -i </dev/null >/dev/null 2>&1
wineserver -w
wineserver -p </dev/null >/dev/null 2>&1 || true
drive_c="$WINEPREFIX/drive_c"
run_env=(env -u JAVA_HOME -u CLICOLOR_FORCE NO_COLOR=1)
"${run_env[@]}" wine "$work/noop.exe" </dev/null >/dev/null 2>&1

echo "Laying out $jdks JDKs and $registered registered aliases..."
install_dirs=("Program Files/Java" "Program Files/Eclipse Adoptium" "Program Files/Zulu"
    "Program Files/Amazon Corretto" "Program Files/Microsoft" "Program Files/BellSoft"
    "Program Files (x86)/Java")
jdk_paths=()
for ((i = 0; i < jdks; i++)); do
    major=$((11 + i % 14))
    dir="${install_dirs[i % ${#install_dirs[@]}]}/jdk-$major.0.$i"
    mkdir -p "$drive_c/$dir/bin"
    # The launcher is the do-nothing program: starting it would show in the time, not fail.
    ln "$work/noop.exe" "$drive_c/$dir/bin/java.exe" 2>/dev/null ||
        cp "$work/noop.exe" "$drive_c/$dir/bin/java.exe"
    : >"$drive_c/$dir/bin/javac.exe"
    printf 'IMPLEMENTOR="Benchmark"\nJAVA_VERSION="%s.0.%s"\n' "$major" "$i" >"$drive_c/$dir/release"
    jdk_paths+=("C:\\\\${dir//\//\\\\}")
done

# A configuration with 1,000 aliases over those folders (scan then finds them all registered,
# which is the same work for discovery).
appdata="$(find "$drive_c/users" -maxdepth 3 -type d -path '*/AppData/Roaming' | head -1)"
mkdir -p "$appdata/corvel"
{
    printf '{\n  "current": "java0",\n  "versions": {'
    for ((i = 0; i < registered; i++)); do
        [ "$i" -gt 0 ] && printf ','
        printf '\n    "java%d": {\n      "path": "%s",\n      "detected_version": "%d.0.%d",\n      "vendor": "Benchmark"\n    }' \
            "$i" "${jdk_paths[i % jdks]}" "$((11 + i % 14))" "$i"
    done
    printf '\n  }\n}'
} >"$appdata/corvel/config.json"

# A user Path of about 6,000 characters.
long_path="C:\\Windows\\system32;C:\\Windows"
while [ "${#long_path}" -lt 6000 ]; do
    long_path="$long_path;C:\\Tools\\tool-${#long_path}\\bin"
done
wine reg add 'HKCU\Environment' /v Path /t REG_EXPAND_SZ /d "$long_path" /f \
    </dev/null >/dev/null 2>&1

elapsed_ms() {
    local start end
    start=$(date +%s%N)
    "${run_env[@]}" wine "$@" </dev/null >/dev/null 2>&1 || true
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# bench NAME TARGET ARGS...: one unmeasured run each, then RUNS alternating pairs.
results=()
bench() {
    local name="$1" target="$2"
    shift 2
    elapsed_ms "$work/corvel.exe" "$@" >/dev/null
    elapsed_ms "$work/noop.exe" >/dev/null
    : >"$work/noop.ms"
    : >"$work/corvel.ms"
    for ((r = 0; r < runs; r++)); do
        elapsed_ms "$work/noop.exe" >>"$work/noop.ms"
        elapsed_ms "$work/corvel.exe" "$@" >>"$work/corvel.ms"
    done
    local floor corvel
    floor="$(median <"$work/noop.ms")"
    corvel="$(median <"$work/corvel.ms")"
    results+=("$(awk -v n="$name" -v c="$corvel" -v f="$floor" -v t="$target" 'BEGIN {
        r = c / f; printf "%-32s %8.0f ms %8.0f ms %7.2f %7.2f  %s", n, c, f, r, t, (r <= t ? "ok" : "MISSED") }')")
}

echo "Timing $runs alternating runs per case..."
bench "--version" 1.10 --version
bench "export-shell java0" 1.10 export-shell java0
bench "use java1 (6,000-char Path)" 1.10 use java1
bench "list (1,000 JDKs)" 1.50 list
bench "scan (300 JDK folders)" 2.00 scan

echo
printf '%-32s %11s %11s %7s %7s\n' "case" "corvel" "do-nothing" "ratio" "target"
printf '%s\n' "${results[@]}"
