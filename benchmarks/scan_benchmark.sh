#!/usr/bin/env bash
# How long `corvel scan` takes on a machine crowded with JDKs, measured under Wine against a
# Windows program that does nothing, started the same way.
#
# Usage:  benchmarks/scan_benchmark.sh [path/to/corvel.exe]
#         (default: build/windows/cli/corvel.exe; build it with the "windows" preset first)
# Knobs (environment):
#   JDKS=300   JDK folders with a release file, spread over seven of the common install folders
#   PLAIN=100  subfolders beside them that are not JDKs (no bin\javac.exe)
#   RUNS=15    measured pairs; the two programs alternate so that machine load hits both alike
#
# What it does: builds a do-nothing program with mingw-w64, creates a private Wine prefix in a
# temporary folder (never ~/.wine), lays the JDKs out in it, keeps one wineserver running, and
# after one unmeasured warm-up of each program times RUNS alternating starts of
#   wine noop.exe          and          wine corvel.exe scan
# with standard input, output and error redirected. It prints both medians and their ratio,
# checks once that the scan listed every JDK, and removes the prefix on exit.
#
# Reading the result: the launcher stand-in (bin\java.exe) is a real program, so a scan that
# started it despite the release file would pay one process start per JDK, JDKS times the
# do-nothing program's median. The wanted ratio stays a small constant: one process start plus
# reading a few thousand folder entries and release files.
#
# Needs: wine (wine64), wineserver, wineboot, x86_64-w64-mingw32-gcc. Takes about a minute.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
corvel_exe="$(realpath "${1:-$here/../build/windows/cli/corvel.exe}")"
jdks="${JDKS:-300}"
plain="${PLAIN:-100}"
runs="${RUNS:-15}"

if [ ! -f "$corvel_exe" ]; then
    echo "corvel.exe not found at $corvel_exe (build the windows preset first)" >&2
    exit 1
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/corvel-scan-bench.XXXXXX")"
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

echo "Building the do-nothing program..."
printf 'int main(void) { return 0; }\n' >"$work/noop.c"
x86_64-w64-mingw32-gcc -O2 -s -static -o "$work/noop.exe" "$work/noop.c"

echo "Creating the Wine prefix in $work ..."
mkdir -p "$WINEPREFIX"
wineboot -i </dev/null >/dev/null 2>&1
wineserver -w
wineserver -p </dev/null >/dev/null 2>&1 || true
drive_c="$WINEPREFIX/drive_c"

echo "Laying out $jdks JDKs and $plain other folders..."
install_dirs=(
    "Program Files/Java"
    "Program Files/Eclipse Adoptium"
    "Program Files/Zulu"
    "Program Files/Amazon Corretto"
    "Program Files/Microsoft"
    "Program Files/BellSoft"
    "Program Files (x86)/Java"
)
for ((i = 0; i < jdks; i++)); do
    major=$((11 + i % 14))
    root="$drive_c/${install_dirs[i % ${#install_dirs[@]}]}/jdk-$major.0.$i"
    mkdir -p "$root/bin"
    ln "$work/noop.exe" "$root/bin/java.exe" 2>/dev/null || cp "$work/noop.exe" "$root/bin/java.exe"
    : >"$root/bin/javac.exe"
    printf 'IMPLEMENTOR="Benchmark"\nJAVA_VERSION="%s.0.%s"\n' "$major" "$i" >"$root/release"
done
for ((i = 0; i < plain; i++)); do
    mkdir -p "$drive_c/${install_dirs[i % ${#install_dirs[@]}]}/tools-$i/bin"
done

cp "$corvel_exe" "$work/corvel.exe"
run_env=(env -u JAVA_HOME -u CLICOLOR_FORCE NO_COLOR=1)

# Warm-up: starts Wine's background services with no pipes attached, and checks the listing.
"${run_env[@]}" wine "$work/noop.exe" </dev/null >/dev/null 2>&1
"${run_env[@]}" wine "$work/corvel.exe" scan </dev/null >"$work/scan.txt" 2>/dev/null || true
listed="$(grep -c '^  \[new\] ' "$work/scan.txt" || true)"
if [ "$listed" != "$jdks" ]; then
    echo "warning: the scan listed $listed JDKs, expected $jdks; its output is below" >&2
    head -20 "$work/scan.txt" >&2
fi

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

echo "Timing $runs alternating runs of each..."
: >"$work/noop.ms"
: >"$work/scan.ms"
for ((r = 0; r < runs; r++)); do
    elapsed_ms "$work/noop.exe" >>"$work/noop.ms"
    elapsed_ms "$work/corvel.exe" scan >>"$work/scan.ms"
done

noop_median="$(median <"$work/noop.ms")"
scan_median="$(median <"$work/scan.ms")"
echo
echo "candidate subfolders:      $((jdks + plain)) ($jdks JDKs with release files)"
echo "do-nothing program median: ${noop_median} ms"
echo "corvel scan median:        ${scan_median} ms"
awk -v s="$scan_median" -v n="$noop_median" \
    'BEGIN { if (n > 0) printf "ratio scan / do-nothing:   %.2f\n", s / n }'
