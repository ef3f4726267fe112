#!/usr/bin/env bash
# Installs what building and testing kavo needs on Debian 12, and nothing that is
# already there. Needs root, or sudo.
#
# A mirror may be in the middle of a sync: one suite's index then fails to
# download ("File has unexpected size ... Mirror sync in progress?"). The index
# update is tried a few times and then goes on with the indexes it has. With
# one architecture's index of a suite missing, apt cannot pair the i386
# libraries with that suite's newer amd64 ones and refuses the install; it is
# then tried once more with that suite left out.
set -eu

packages=(
    make cmake g++ clang libclang-rt-14-dev llvm-14 googletest
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine32:i386 wine64 xvfb xauth x11-apps x11-utils imagemagick
    locales fonts-ipafont-gothic fonts-wine
    zip
)
# The tries of the index update, and the pause between them (a sync takes a while).
update_tries=3
update_pause=${KAVO_APT_RETRY_PAUSE:-20}
apt_etc=${KAVO_APT_ETC:-/etc/apt}

sudo_if_needed() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed_suites=()

# Updates the indexes; the suites whose index failed go to failed_suites.
update_indexes() {
    local try
    for ((try = 1; try <= update_tries; try++)); do
        if sudo_if_needed apt-get update -qq 2> "$work/update.err"; then
            failed_suites=()
            return 0
        fi
        cat "$work/update.err" >&2
        mapfile -t failed_suites < <(sed -n 's#^[EW]: Failed to fetch [^ ]*/dists/\([^/ ]*\)/.*#\1#p' \
            "$work/update.err" | sort -u)
        if [ $try -lt $update_tries ]; then
            echo "setup: apt-get update failed (try $try of $update_tries); trying again in $update_pause s"
            sleep "$update_pause"
        fi
    done
    echo "setup: apt-get update failed $update_tries times; going on with the indexes it has" \
        "(failed: ${failed_suites[*]:-no suite named})"
}

# Copies the package sources into $work/etc, without the suites given.
sources_without() {
    mkdir -p "$work/etc/sources.list.d"
    : > "$work/etc/sources.list"
    local file suites=" $* "
    for file in "$apt_etc"/sources.list "$apt_etc"/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        # One-line form: deb [options] URI SUITE COMPONENTS...
        awk -v suites="$suites" '{
            n = split($0, f, " "); i = 2
            if (f[2] ~ /^\[/) while (i <= n && f[i] !~ /\]$/) i++
            if (f[1] ~ /^deb/ && index(suites, " " f[i + 2] " ")) next
            print }' "$file" > "$work/etc/sources.list.d/$(basename "$file")"
    done
    for file in "$apt_etc"/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        # deb822 form: the suite is taken out of its Suites: line, and a stanza
        # left with none is turned off.
        awk -v suites="$suites" '{
            if ($1 == "Suites:") {
                line = "Suites:"
                for (i = 2; i <= NF; i++) if (!index(suites, " " $i " ")) line = line " " $i
                if (line == "Suites:") print "Enabled: no\n" $0
                else print line
            } else print }' "$file" > "$work/etc/sources.list.d/$(basename "$file")"
    done
}

install_packages() {  # [apt options...]
    sudo_if_needed env DEBIAN_FRONTEND=noninteractive apt-get "$@" install -y -qq --no-install-recommends \
        "${missing[@]}"
}

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_if_needed dpkg --add-architecture i386
    missing+=(wine32:i386)
fi
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2> /dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | awk 'NF && !seen[$0]++')
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    update_indexes
    if ! install_packages; then
        installed=0
        if [ ${#failed_suites[@]} -gt 0 ]; then
            echo "setup: the install failed; trying once more without ${failed_suites[*]}, whose index failed"
            sources_without "${failed_suites[@]}"
            install_packages -o Dir::Etc::SourceList="$work/etc/sources.list" \
                -o Dir::Etc::SourceParts="$work/etc/sources.list.d" && installed=1
        fi
        if [ $installed = 0 ]; then
            echo "setup: FAILED: apt-get could not install: ${missing[*]}" >&2
            exit 1
        fi
    fi
fi

# Wine takes its Unix file-name charset from the locale: without a real
# locale, file names in Japanese (or any other script) are mangled on disk. The
# bench runs under ja_JP (code page 932) and, for the rows under other code
# pages, en_US (1252), zh_CN (936) and hi_IN (65001).
for name in ja_JP en_US zh_CN hi_IN; do
    if ! locale -a 2> /dev/null | grep -qi "^$name\.utf-\?8$"; then
        sudo_if_needed localedef -i "$name" -f UTF-8 "$name.UTF-8"
    fi
done
