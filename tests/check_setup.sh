#!/usr/bin/env bash
# scripts/setup-debian.sh on a day when the mirror is mid-sync, with stand-ins
# for apt-get, dpkg and the locale tools on PATH: nothing is installed for real.
#   check_setup.sh SOURCES
set -u
script="$1/scripts/setup-debian.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
mkdir -p "$work/bin" "$work/etc/sources.list.d"
cat > "$work/etc/sources.list.d/debian.sources" << 'EOF'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main

Types: deb
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
EOF
echo 'deb [arch=amd64] http://deb.debian.org/debian-security bookworm-security main' \
    > "$work/etc/sources.list.d/extra.list"

# apt-get as a mirror mid-sync: "update" fails UPDATE_FAILS times naming the
# security suite's i386 index; "install" fails while that suite is among the
# sources after a failed update, or always with INSTALL=never.
cat > "$work/bin/apt-get" << 'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >> "$FAKE/calls"
case " $* " in
*" update "*)
    n=$(($(cat "$FAKE/updates" 2> /dev/null || echo 0) + 1))
    echo $n > "$FAKE/updates"
    if [ $n -le "$UPDATE_FAILS" ]; then
        echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 203.0.113.80 80]" >&2
        echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
        exit 100
    fi ;;
*" install "*)
    parts=$(printf '%s\n' "$@" | sed -n 's/^Dir::Etc::SourceParts=//p')
    stale=$([ "$(cat "$FAKE/updates")" -le "$UPDATE_FAILS" ] && echo 1)
    if [ "$INSTALL" = never ] || { [ -n "$stale" ] && [ -z "$parts" ]; } ||
        grep -h -v '^#' "$parts"/* | awk '/^Enabled: no/ { off = 1 } /^$/ { off = 0 } !off' | grep -q 'bookworm-security'; then
        echo "E: Unable to correct problems, you have held broken packages." >&2
        exit 100
    fi ;;
esac
EOF
cat > "$work/bin/dpkg" << 'EOF'
#!/usr/bin/env bash
echo i386
EOF
cat > "$work/bin/dpkg-query" << 'EOF'
#!/usr/bin/env bash
[ "$MISSING" = wine32:i386 ] && [ "$3" = wine32:i386 ] && exit 1
echo -n "install ok installed"
EOF
printf '#!/bin/sh\nprintf "%%s.utf8\\n" ja_JP en_US zh_CN hi_IN\n' > "$work/bin/locale"
printf '#!/bin/sh\necho "localedef $*" >> "$FAKE/calls"\n' > "$work/bin/localedef"
printf '#!/bin/sh\necho 0\n' > "$work/bin/id"
chmod +x "$work/bin"/*

# One case: the stand-ins' behaviour, the exit code wanted, and texts the
# output must hold ("!" before a text: must not hold).
check() {  # NAME UPDATE_FAILS INSTALL MISSING WANTED_CODE TEXT...
    local name=$1 wanted=$5 code text
    export FAKE="$work/case" UPDATE_FAILS=$2 INSTALL=$3 MISSING=$4
    shift 5
    rm -rf "$FAKE"
    mkdir -p "$FAKE"
    PATH="$work/bin:$PATH" KAVO_APT_ETC="$work/etc" KAVO_APT_RETRY_PAUSE=0 "$script" > "$FAKE/out" 2>&1
    code=$?
    if [ "$code" != "$wanted" ]; then
        echo "FAILED: $name: exit code $code, not $wanted"
        fail=1
    fi
    for text in "$@"; do
        if [ "${text#!}" != "$text" ]; then
            cat "$FAKE/out" "$FAKE/calls" 2> /dev/null | grep -qF -- "${text#!}" || continue
            echo "FAILED: $name: \"${text#!}\" should not appear:"
        else
            grep -qF -- "$text" "$FAKE/out" && continue
            echo "FAILED: $name: the output should hold \"$text\":"
        fi
        sed 's/^/    /' "$FAKE/out"
        fail=1
    done
}

check "nothing missing" 9 never none 0 "!apt-get" "!localedef"
check "a sync that ends" 1 ok wine32:i386 0 "try 1 of 3" "!without"
check "a sync that outlasts the tries" 9 ok wine32:i386 0 \
    "failed 3 times; going on with the indexes it has (failed: bookworm-security)" \
    "trying once more without bookworm-security"
check "an install that fails whatever is left out" 9 never wine32:i386 1 \
    "FAILED: apt-get could not install: wine32:i386"
[ $fail = 0 ] && echo "setup: every case of a mirror mid-sync ends as it should"
exit $fail
