#!/usr/bin/env bash
# Installs everything the build and the tests need on a fresh Debian 12
# machine and prepares the Wine prefix. Safe to run again: each step checks
# first and does nothing when its work is already done.
set -euo pipefail

log() { printf '[setup] %s\n' "$*" >&2; }

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

PACKAGES=(
    cmake ninja-build g++ googletest
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    wine wine64 wine32:i386 xvfb xauth x11-utils imagemagick
    locales fonts-wqy-microhei
    # The fuzz stage: clang, and libFuzzer's runtime, which clang only
    # recommends and so is not pulled in without recommends.
    clang libclang-rt-14-dev
)

need_packages() {
    dpkg --print-foreign-architectures | grep -qx i386 || return 0
    local p
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || return 0
    done
    return 1
}

if need_packages; then
    log "installing packages"
    as_root dpkg --add-architecture i386
    as_root apt-get update -qq
    DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends "${PACKAGES[@]}" >/dev/null
fi

# The ANSI code page follows the glibc locale; zh_CN.UTF-8 gives 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
    log "generating zh_CN.UTF-8"
    as_root sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
    as_root locale-gen >/dev/null
fi

# shellcheck source=tools/wine-env.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
stamp="$WINEPREFIX/.corvane-ready"
if [ ! -f "$stamp" ]; then
    log "creating Wine prefix $WINEPREFIX"
    "$WINE" wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
    reg_file=$(mktemp --suffix=.reg)
    cat >"$reg_file" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Microsoft YaHei"="WenQuanYi Micro Hei"
"SimSun"="WenQuanYi Micro Hei"
REG
    "$WINE" regedit "$reg_file" >/dev/null 2>&1
    wineserver -w || true
    rm -f "$reg_file"
    touch "$stamp"
fi
log "ready"
