#!/usr/bin/env bash
# tools/wine-prefix.sh PREFIX: makes a fresh Wine prefix for running the
# Windows build here: the dialog fonts mapped to the installed Ming face (or
# Chinese texts show as boxes), windows unmanaged (there may be no window
# manager), and no menu builder writing into $HOME. Source tools/wine-env.sh
# before calling wine on it.
set -euo pipefail
prefix=$1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tools/wine-env.sh
source "$here/wine-env.sh" "$prefix"

rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
wineboot -i >"$prefix.boot.log" 2>&1 || { cat "$prefix.boot.log" >&2; exit 1; }
wineserver -w

face="AR PL UMing TW"
settings=$(mktemp --suffix=.reg)
{
    printf 'Windows Registry Editor Version 5.00\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
    for name in PMingLiU 新細明體 MingLiU 細明體 Tahoma "Microsoft JhengHei UI"; do
        printf '"%s"="%s"\r\n' "$name" "$face"
    done
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n"Managed"="N"\r\n'
} | iconv -f UTF-8 -t UTF-16 >"$settings"
wine regedit /S "$(winepath -w "$settings")" >/dev/null 2>&1
wineserver -w
rm -f "$settings"
