# Sourced by the scripts that run Windows programs: one Wine prefix, the
# 936 code page (through the zh_CN.UTF-8 locale, unless a test asks for
# another with CORVANE_WINE_LOCALE) and a quiet Wine.
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-corvane}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL="${CORVANE_WINE_LOCALE:-zh_CN.UTF-8}"
# Debian's /usr/bin/wine picks the 32-bit loader first; the program is 64-bit.
export WINE=/usr/lib/wine/wine64
