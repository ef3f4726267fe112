#!/usr/bin/env bash
# Checks the built kavo.exe as Windows will load it: PE32 for i386, GUI
# subsystem version 4.0, and an import table naming only system DLLs.
set -u
exe=$1
headers=$(LC_ALL=C i686-w64-mingw32-objdump -p "$exe") || exit 1
fail=0
expect() {
    if ! grep -Eq "$1" <<< "$headers"; then
        echo "FAILED: $2"
        fail=1
    fi
}
expect 'file format pei-i386' 'PE32 for i386'
expect '^Magic[[:space:]]+010b' 'PE32 optional header (not PE32+)'
expect '^Subsystem[[:space:]]+00000002' 'GUI subsystem'
expect '^MajorSubsystemVersion[[:space:]]+4$' 'subsystem version 4.x'
expect '^MinorSubsystemVersion[[:space:]]+0$' 'subsystem version x.0'
allowed='^(KERNEL32|ADVAPI32|USER32|SHELL32|COMDLG32|MSVCRT)\.DLL$'
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<< "$headers")
[ -n "$imports" ] || { echo "FAILED: no import table found"; fail=1; }
while read -r dll; do
    [ -z "$dll" ] && continue
    if ! grep -Eq "$allowed" <<< "${dll^^}"; then
        echo "FAILED: imports $dll, not a system DLL of the allowed set"
        fail=1
    fi
done <<< "$imports"
echo "imports: $(tr '\n' ' ' <<< "$imports")"
exit $fail
