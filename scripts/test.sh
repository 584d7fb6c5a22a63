#!/usr/bin/env bash
# The one test command. Installs what is missing (apt-get), then configures, builds and tests the
# three presets: native (unit tests), sanitize (unit tests with AddressSanitizer and
# UndefinedBehaviorSanitizer) and windows (corvel.exe with mingw-w64; unit and end-to-end tests
# under Wine, one at a time); then runs every fuzz target briefly. Exits 0 only when every build and every test passed; the last line
# sums up the tests of all three.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/common.sh

install_missing_packages || {
    echo "could not install the needed packages"
    exit 1
}

passed=0
failed=0
status=0
for preset in native sanitize windows; do
    if ! build_preset "$preset"; then
        echo "=== the $preset build failed"
        failed=$((failed + 1))
        status=1
        continue
    fi
    echo "=== testing the $preset preset"
    log="$(mktemp)"
    ctest --preset "$preset" --no-tests=error 2>&1 | tee "$log"
    if [ "${PIPESTATUS[0]}" -ne 0 ]; then
        status=1
    fi
    # "100% tests passed, 0 tests failed out of 6"
    summary="$(grep -Eo '[0-9]+ tests failed out of [0-9]+' "$log" | tail -1)"
    if [ -n "$summary" ]; then
        read -r preset_failed _ _ _ _ preset_total <<<"$summary"
        passed=$((passed + preset_total - preset_failed))
        failed=$((failed + preset_failed))
    else
        failed=$((failed + 1))
        status=1
    fi
    rm -f "$log"
done

# A short run of every fuzz target (ASan and UBSan); a long one is scripts/fuzz.sh SECONDS.
echo "=== fuzzing each target for 30 seconds"
log="$(mktemp)"
bash scripts/fuzz.sh 30 2>&1 | tee "$log"
fuzz_status="${PIPESTATUS[0]}"
# "fuzz targets: 7 passed, 0 failed"
fuzzed="$(grep -Eo '^fuzz targets: [0-9]+ passed' "$log" | grep -Eo '[0-9]+' | tail -1)"
rm -f "$log"
if [ "$fuzz_status" -eq 0 ] && [ -n "$fuzzed" ]; then
    passed=$((passed + fuzzed))
else
    echo "=== fuzzing found a problem or failed to build"
    failed=$((failed + 1))
    status=1
fi

echo
echo "Tests: $passed passed, $failed failed"
exit "$status"
