#!/usr/bin/env bash
# Fails unless the program imports only DLLs that every Windows installation has.
# Usage: check-imports.sh PROGRAM.exe
set -euo pipefail
program="${1:?usage: check-imports.sh PROGRAM.exe}"
objdump="${OBJDUMP:-x86_64-w64-mingw32-objdump}"

dump="$("$objdump" -p "$program")"
mapfile -t dlls < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump")
if [ "${#dlls[@]}" -eq 0 ]; then
    echo "no import table found in $program"
    exit 1
fi
status=0
for dll in "${dlls[@]}"; do
    case "${dll,,}" in
    kernel32.dll | advapi32.dll | user32.dll | shell32.dll | ole32.dll | msvcrt.dll | api-ms-win-*.dll)
        echo "allowed: $dll"
        ;;
    *)
        echo "not allowed: $dll"
        status=1
        ;;
    esac
done
exit "$status"
