#!/usr/bin/env bash
# Counts the instructions corvel's own code spends on one command, with callgrind, against the
# in-memory platform laid out like benchmarks/run.sh (300 JDK folders, 1,000 aliases, a
# 6,000-character user Path). Windows' own costs are not in it; run.sh measures those.
#
# Usage:  benchmarks/profile.sh [list|scan|use|export-shell|version|add] [REGISTERED]
#         (default: list; REGISTERED, the number of aliases in config.json, 1,000 by default)
# Prints the total and the most expensive functions (inclusive); the full profile is left in
# build/profile/callgrind.<command> for callgrind_annotate or kcachegrind. Installs valgrind and
# the build's packages when they are missing.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
command="${1:-list}"
registered="${2:-1000}"

cd "$root"
source scripts/common.sh
corvel_packages+=(valgrind)
install_missing_packages >&2
build_preset profile --target corvel_profile >/dev/null

out="build/profile/callgrind.$command"
[ "$registered" = 1000 ] || out="$out.$registered"
baseline="build/profile/callgrind.setup"
# The laid-out platform costs instructions too; `version` does little else, so it is the base.
valgrind --tool=callgrind --callgrind-out-file="$baseline" \
    build/profile/benchmarks/corvel_profile version "$registered" 2>/dev/null
valgrind --tool=callgrind --callgrind-out-file="$out" \
    build/profile/benchmarks/corvel_profile "$command" "$registered" 2>/dev/null

total_of() { callgrind_annotate "$1" 2>/dev/null | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1 }'; }
total="$(total_of "$out")"
base="$(total_of "$baseline")"
echo "$command: $total instructions; $((total - base)) more than --version on the same layout"
echo
callgrind_annotate --inclusive=yes "$out" 2>/dev/null |
    grep -E '^ *[0-9,]+ .*(core|cli)/src/.*\[' | grep -v '=>' | head -20 | cut -c1-160
