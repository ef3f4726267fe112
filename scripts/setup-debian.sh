#!/usr/bin/env bash
# Installs what building and testing kavo needs on Debian 12, and nothing that is
# already there. Needs root, or sudo.
set -eu

packages=(
    make cmake g++ clang libclang-rt-14-dev llvm-14 googletest
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine32:i386 wine64 xvfb xauth x11-apps x11-utils imagemagick
    locales fonts-ipafont-gothic fonts-wine
    zip
)

sudo_if_needed() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_if_needed dpkg --add-architecture i386
    sudo_if_needed apt-get update -qq
fi

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2> /dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    sudo_if_needed apt-get update -qq
    sudo_if_needed env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Wine takes its Unix file-name charset from the locale: without a real
# ja_JP.UTF-8 locale, Japanese file names are mangled on disk.
if ! locale -a 2> /dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    sudo_if_needed localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
