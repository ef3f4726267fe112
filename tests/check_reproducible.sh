#!/usr/bin/env bash
# Builds kavo.exe again from a copy of the sources in another folder, later,
# and compares it with the built file byte for byte: the release's program
# files must not depend on where or when they were built.
#   check_reproducible.sh SOURCES WORK BUILD_TYPE TOOLCHAIN=EXE...
set -u
sources=$1 work=$2 type=$3
shift 3
rm -rf "$work"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sources"
# What the Windows build reads, and nothing of the build trees.
for entry in CMakeLists.txt cmake src tests; do
    cp -r "$sources/$entry" "$work/sources/" || exit 1
done
fail=0
for pair in "$@"; do
    toolchain=$(basename "${pair%%=*}") built=${pair#*=}
    again="$work/${toolchain%.cmake}"
    if ! { cmake -S "$work/sources" -B "$again" -DCMAKE_BUILD_TYPE="$type" \
               -DCMAKE_TOOLCHAIN_FILE="$work/sources/cmake/$toolchain" &&
           cmake --build "$again" --target kavo -j 2; } > "$work/build.log" 2>&1; then
        cat "$work/build.log"
        echo "FAILED: kavo.exe could not be built again with $toolchain"
        fail=1
        continue
    fi
    first=$(sha256sum < "$built") second=$(sha256sum < "$again/kavo.exe")
    echo "${first%% *}  $built"
    echo "${second%% *}  built again with $toolchain in $again"
    if [ "$first" != "$second" ]; then
        echo "FAILED: the two builds differ at (offset, byte values in octal):"
        cmp -l "$built" "$again/kavo.exe" | head -n 20
        fail=1
    fi
done
exit $fail
