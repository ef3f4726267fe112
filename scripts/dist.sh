#!/usr/bin/env bash
# The release: dist/kavo-<version>.zip from the built program files, with its
# checksums printed. The same sources give the same zip, byte for byte, wherever
# and whenever it is made: the program files are reproducible, every file in
# the zip carries the time of the last commit, and zip keeps no other time, no
# owner and no order of its own.
#   scripts/dist.sh WIN32_BUILD WIN64_BUILD
set -euo pipefail
win32=$(realpath "$1") win64=$(realpath "$2")
cd "$(dirname "$0")/.."

version=$(sed -n 's/^FILEVERSION *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\) *\r*$/\1.\2.\3.\4/p' \
    src/resources/kavo.rc)
[ -n "$version" ] || { echo "no FILEVERSION line in src/resources/kavo.rc" >&2; exit 1; }
# SOURCE_DATE_EPOCH where the sources are not a git checkout.
epoch=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2> /dev/null || true)}
[ -n "$epoch" ] || { echo "not a git checkout: set SOURCE_DATE_EPOCH to the sources' time" >&2; exit 1; }

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "$win32/kavo.exe" "$stage/kavo.exe"
cp "$win64/kavo.exe" "$stage/kavo64.exe"
# README.txt: in each language, Japanese first, its README and then the pages
# an administrator needs, each page under a line that names it (the READMEs
# link to them by that name); the pictures left out. Notepad reads UTF-8 with a
# byte order mark as UTF-8 whatever the system's code page, and every Notepad
# breaks lines at CRLF.
readme_text() {
    local lang page readme
    for lang in ja en; do
        readme=$([ $lang = ja ] && echo README.md || echo README.$lang.md)
        [ $lang = ja ] || printf '\n======== %s ========\n\n' "$readme"
        sed -e '/^!\[/{N;d}' "$readme"
        for page in user-guide operations troubleshooting security; do
            printf '\n======== docs/%s/%s.md ========\n\n' "$lang" "$page"
            sed -e '/^!\[/{N;d}' "docs/$lang/$page.md"
        done
    done
}
{ printf '\357\273\277'; readme_text | sed -e 's/\r*$/\r/'; } > "$stage/README.txt"
sed -e 's/\r*$/\r/' LICENSE > "$stage/LICENSE.txt"
(cd "$stage" && sha256sum kavo.exe kavo64.exe README.txt LICENSE.txt > SHA256SUMS)
chmod 644 "$stage"/*
# zip keeps local times: the same clock everywhere.
export TZ=UTC
touch -d "@$epoch" "$stage"/*

zip=dist/kavo-$version.zip
mkdir -p dist
rm -f "$zip"
root=$PWD
(cd "$stage" && ls | LC_ALL=C sort | zip -X -q "$root/$zip" -@)
echo "$zip:"
cat "$stage/SHA256SUMS"
sha256sum "$zip"
