#!/usr/bin/env bash
# Checks a built kavo.exe as Windows will load it: PE32 for i386 with GUI
# subsystem 4.0 and at most 64 KiB, or PE32+ for x86-64 with GUI subsystem 5.2
# (the lowest 64-bit Windows accepts), and an import table naming only system DLLs.
#   check_exe.sh FILE i386|x86-64
set -u
exe=$1
arch=${2:-i386}
# The x86-64 objdump reads both formats.
headers=$(LC_ALL=C x86_64-w64-mingw32-objdump -p "$exe") || exit 1
fail=0
expect() {
    if ! grep -Eq "$1" <<< "$headers"; then
        echo "FAILED: $2"
        fail=1
    fi
}
if [ "$arch" = x86-64 ]; then
    expect 'file format pei-x86-64' 'PE32+ for x86-64'
    expect '^Magic[[:space:]]+020b' 'PE32+ optional header'
    expect '^MajorSubsystemVersion[[:space:]]+5$' 'subsystem version 5.x'
    expect '^MinorSubsystemVersion[[:space:]]+2$' 'subsystem version x.2'
else
    expect 'file format pei-i386' 'PE32 for i386'
    expect '^Magic[[:space:]]+010b' 'PE32 optional header (not PE32+)'
    expect '^MajorSubsystemVersion[[:space:]]+4$' 'subsystem version 4.x'
    expect '^MinorSubsystemVersion[[:space:]]+0$' 'subsystem version x.0'
    size=$(stat -c %s "$exe")
    if [ "$size" -gt 65536 ]; then
        echo "FAILED: $size bytes, more than 64 KiB"
        fail=1
    fi
fi
expect '^Subsystem[[:space:]]+00000002' 'GUI subsystem'
# shell32 and comdlg32 are loaded by the dialog when it opens: never imported.
allowed='^(KERNEL32|ADVAPI32|USER32|MSVCRT)\.DLL$'
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<< "$headers")
[ -n "$imports" ] || { echo "FAILED: no import table found"; fail=1; }
while read -r dll; do
    [ -z "$dll" ] && continue
    if ! grep -Eq "$allowed" <<< "${dll^^}"; then
        echo "FAILED: imports $dll, not a system DLL of the allowed set"
        fail=1
    fi
done <<< "$imports"
echo "$arch imports: $(tr '\n' ' ' <<< "$imports")"
exit $fail
