#!/usr/bin/env bash
# Builds the libFuzzer targets with clang-19 (ASan + UBSan) and runs each for a while.
#   scripts/fuzz.sh            # 30 seconds a target (the smoke run of the test command)
#   scripts/fuzz.sh 3600       # an hour a target
# New inputs that raise coverage are kept in build/fuzz/corpus/<target>; the seeds in
# fuzz/corpus stay as committed. A crash stops the run and leaves crash-* in build/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
targets=(config config_writer path_rewrite release_file version_banner where_output suggest_alias)

source scripts/common.sh
build_preset fuzz

for target in "${targets[@]}"; do
    work="build/fuzz/corpus/$target"
    mkdir -p "$work"
    echo "fuzzing $target for ${seconds}s"
    (cd build/fuzz && "./fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=8192 \
        -print_final_stats=0 "../../$work" "../../fuzz/corpus/$target" 2>&1 | tail -n 2)
done
echo "fuzz targets: ${#targets[@]} passed, 0 failed"
