#!/bin/bash
# Each Windows program stands alone: it imports only DLLs that come with Windows itself (no
# C++ runtime, winpthread or audio library DLL beside it), as read from its import table.
# Usage: imports_test.sh OBJDUMP PROGRAM.exe...
set -euo pipefail
objdump=$1
shift
# Windows' own DLLs (lower case) that our programs and their static libraries may import.
system_list="kernel32.dll user32.dll gdi32.dll msvcrt.dll advapi32.dll shell32.dll ole32.dll
 oleaut32.dll comctl32.dll comdlg32.dll winmm.dll msimg32.dll setupapi.dll avrt.dll uuid.dll
 shlwapi.dll ws2_32.dll bcrypt.dll uxtheme.dll dwmapi.dll imm32.dll version.dll"
system=" $(tr -s '[:space:]' ' ' <<<"$system_list") "
failures=0
for exe in "$@"; do
    dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '[:upper:]' '[:lower:]')
    [ -n "$dlls" ] || {
        echo "FAIL: $(basename "$exe"): no import table read" >&2
        failures=$((failures + 1))
    }
    for dll in $dlls; do
        case $dll in api-ms-win-*) continue ;; esac
        [[ $system == *" $dll "* ]] || {
            echo "FAIL: $(basename "$exe") imports $dll, which Windows does not have" >&2
            failures=$((failures + 1))
        }
    done
    echo "$(basename "$exe"): $(tr '\n' ' ' <<<"$dlls")"
done
[ "$failures" -eq 0 ]
