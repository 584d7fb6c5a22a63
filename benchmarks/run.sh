#!/usr/bin/env bash
# Times corvel.exe under Wine against a Windows program that does nothing, started the same way:
# process start under Wine is the floor no command can beat, so each result is a ratio to it.
# A second floor is a program that only asks Windows for the roaming application-data folder,
# as every command that reads config.json must (benchmarks/programs/known_folder.c): under Wine
# that lookup alone loads shell32, user32 and gdi32, which costs more than a process start.
#
# Usage:  benchmarks/run.sh [path/to/corvel.exe]
#         (default: build/windows/cli/corvel.exe, built with the windows preset when missing)
# Knobs (environment):
#   RUNS=15   measured rounds per case; the programs alternate so that machine load hits all
#
# Cases and targets (median of corvel / median of the do-nothing program):
#   --version                               1.10
#   export-shell                            1.10
#   use, with a 6,000-character user Path   1.10
#   list, with 1,000 registered JDKs        1.50
#   scan, over 300 JDK folders that all hold release files (no launcher may start)   2.00
# and, with 20,000 and 50,000 registered JDKs, `add` and `list`, which have no floor target but
# these: add within 1.50 times list at each size, and each at 50,000 within 3.00 times itself at
# 20,000 (reading and writing config.json cost time in proportion to its size).
#
# Everything happens in a private Wine prefix in a temporary folder (never ~/.wine), removed on
# exit. A desktop is kept alive throughout (benchmarks/programs/desktop_holder.c), as a Windows
# session has one. Needs wine, wineserver, wineboot and x86_64-w64-mingw32-gcc. Takes a few
# minutes. benchmarks/completion.ps1 and benchmarks/project-prompt.ps1 (run at the end when pwsh
# is there) time Tab completion of aliases and the project switch of the PowerShell module.
# benchmarks/profile.sh counts the instructions of corvel's own code with callgrind.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
corvel_exe="${1:-$root/build/windows/cli/corvel.exe}"
runs="${RUNS:-15}"
jdks=300
registered=1000
large_sizes=(20000 50000)

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

for program in do_nothing known_folder desktop_holder; do
    x86_64-w64-mingw32-gcc -O2 -s -static -o "$work/$program.exe" "$here/programs/$program.c" -luuid
done
cp "$corvel_exe" "$work/corvel.exe"

echo "Creating the Wine prefix..."
mkdir -p "$WINEPREFIX"
wineboot -i </dev/null >/dev/null 2>&1
wineserver -w
wineserver -p </dev/null >/dev/null 2>&1 || true
drive_c="$WINEPREFIX/drive_c"
run_env=(env -u JAVA_HOME -u CLICOLOR_FORCE NO_COLOR=1)
"${run_env[@]}" wine "$work/do_nothing.exe" </dev/null >/dev/null 2>&1
"${run_env[@]}" wine "$work/desktop_holder.exe" </dev/null >/dev/null 2>&1 &

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
    ln "$work/do_nothing.exe" "$drive_c/$dir/bin/java.exe" 2>/dev/null ||
        cp "$work/do_nothing.exe" "$drive_c/$dir/bin/java.exe"
    : >"$drive_c/$dir/bin/javac.exe"
    printf 'IMPLEMENTOR="Benchmark"\nJAVA_VERSION="%s.0.%s"\n' "$major" "$i" >"$drive_c/$dir/release"
    jdk_paths+=("C:\\\\${dir//\//\\\\}")
done

# write_config COUNT FILE: a configuration with COUNT aliases over those folders.
write_config() {
    local count="$1" i
    {
        printf '{\n  "current": "java0",\n  "versions": {'
        for ((i = 0; i < count; i++)); do
            [ "$i" -gt 0 ] && printf ','
            printf '\n    "java%d": {\n      "path": "%s",\n      "detected_version": "%d.0.%d",\n      "vendor": "Benchmark"\n    }' \
                "$i" "${jdk_paths[i % jdks]}" "$((11 + i % 14))" "$i"
        done
        printf '\n  }\n}'
    } >"$2"
}

# The configuration of most cases holds 1,000 aliases (scan then finds all 300 folders
# registered, which is the same work for discovery); the large ones are put in place for theirs.
appdata="$(find "$drive_c/users" -maxdepth 3 -type d -path '*/AppData/Roaming' | head -1)"
config_json="$appdata/corvel/config.json"
mkdir -p "$appdata/corvel"
write_config "$registered" "$work/config-$registered.json"
for size in "${large_sizes[@]}"; do
    write_config "$size" "$work/config-$size.json"
done
cp "$work/config-$registered.json" "$config_json"

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

# bench NAME TARGET ARGS...: one unmeasured run each, then RUNS rounds of all three programs.
# TARGET "-" means the case has no target against the floor. When `fresh_config` names a file,
# it is copied over config.json before every corvel run, untimed (so that each `add` finds the
# alias new), and written to disk first: otherwise corvel's own flush of the file it saves
# would also pay for writing out the copy. The corvel median is left in `median_ms`.
results=()
fresh_config=""
median_ms=0
run_corvel() {
    if [ -n "$fresh_config" ]; then
        cp "$fresh_config" "$config_json"
        sync
    fi
    elapsed_ms "$work/corvel.exe" "$@"
}
bench() {
    local name="$1" target="$2"
    shift 2
    run_corvel "$@" >/dev/null
    elapsed_ms "$work/do_nothing.exe" >/dev/null
    elapsed_ms "$work/known_folder.exe" >/dev/null
    : >"$work/floor.ms"
    : >"$work/lookup.ms"
    : >"$work/corvel.ms"
    for ((r = 0; r < runs; r++)); do
        elapsed_ms "$work/do_nothing.exe" >>"$work/floor.ms"
        elapsed_ms "$work/known_folder.exe" >>"$work/lookup.ms"
        run_corvel "$@" >>"$work/corvel.ms"
    done
    local floor lookup
    floor="$(median <"$work/floor.ms")"
    lookup="$(median <"$work/lookup.ms")"
    median_ms="$(median <"$work/corvel.ms")"
    results+=("$(awk -v n="$name" -v c="$median_ms" -v f="$floor" -v l="$lookup" -v t="$target" 'BEGIN {
        r = c / f
        verdict = t == "-" ? "" : (r <= t ? "ok" : "MISSED")
        printf "%-30s %6.0f ms %6.0f ms %6.2f %6s %-6s %6.0f ms %6.2f", n, c, f, r, t, verdict, l,
            c / l }')")
}

# ratio_line NAME NUMERATOR DENOMINATOR TARGET
ratios=()
ratio_line() {
    ratios+=("$(awk -v n="$1" -v a="$2" -v b="$3" -v t="$4" 'BEGIN {
        r = a / b; printf "%-36s %6.2f %6.2f %s", n, r, t, (r <= t ? "ok" : "MISSED") }')")
}

# Wine's background services keep starting for a few seconds after the prefix is made.
echo "Letting the prefix settle..."
sleep 5
for ((r = 0; r < 5; r++)); do
    elapsed_ms "$work/do_nothing.exe" >/dev/null
    elapsed_ms "$work/corvel.exe" list >/dev/null
done

echo "Timing $runs alternating rounds per case..."
bench "--version" 1.10 --version
bench "export-shell java0" 1.10 export-shell java0
bench "use java1 (6,000-char Path)" 1.10 use java1
bench "list (1,000 JDKs)" 1.50 list
bench "scan (300 JDK folders)" 2.00 scan

declare -A add_ms list_ms
for size in "${large_sizes[@]}"; do
    label="$((size / 1000)),000"
    fresh_config="$work/config-$size.json"
    bench "add ($label JDKs)" - add added "C:\\Program Files\\Java\\jdk-11.0.0"
    add_ms[$size]="$median_ms"
    bench "list ($label JDKs)" - list
    list_ms[$size]="$median_ms"
    ratio_line "add / list at $label" "${add_ms[$size]}" "${list_ms[$size]}" 1.50
done
ratio_line "add: 50,000 / 20,000" "${add_ms[50000]}" "${add_ms[20000]}" 3.00
ratio_line "list: 50,000 / 20,000" "${list_ms[50000]}" "${list_ms[20000]}" 3.00

echo
printf '%-30s %9s %9s %6s %6s %-6s %9s %6s\n' "case" "corvel" "floor" "ratio" "target" "" \
    "lookup" "ratio"
printf '%s\n' "${results[@]}"
echo
printf '%-36s %6s %6s\n' "large configurations" "ratio" "target"
printf '%s\n' "${ratios[@]}"
echo
echo "floor: the do-nothing program; lookup: the program that only looks up the roaming"
echo "application-data folder, as every command but --version must first."

# Tab completion and the project switch in PowerShell need no Wine: their own benchmarks, run
# here when pwsh is there.
if command -v pwsh >/dev/null 2>&1; then
    echo
    echo "Tab completion of aliases in pwsh (benchmarks/completion.ps1):"
    pwsh -NoProfile -NonInteractive -File "$here/completion.ps1"
    echo
    echo "The project switch against a bare prompt in pwsh (benchmarks/project-prompt.ps1):"
    pwsh -NoProfile -NonInteractive -File "$here/project-prompt.ps1"
fi
