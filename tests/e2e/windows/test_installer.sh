#!/usr/bin/env bash
# The installer built beside the program installs silently: the program
# under Program Files (and it runs from there), a Start-menu entry, an
# uninstaller with its Apps & features entry. The silent uninstaller then
# takes all of it away again.
set -u
. "$(dirname "$0")/../e2e_lib.sh"
enter_private_network "$@"
PROGRAM=$1
setup=$(ls "$(dirname "$PROGRAM")"/tessel-ftp-*-setup.exe 2>/dev/null | head -1)
[ -n "$setup" ] || fail "no installer beside $PROGRAM"

drive_c="$WINEPREFIX/drive_c"
installed="$drive_c/Program Files/Tessel FTP Server"
shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Tessel FTP Server/Tessel FTP Server.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\TesselFTPServer'

make_settings 0
wine "$setup" /S >"$WORK/setup.log" 2>&1 || fail "the installer failed: $(cat "$WORK/setup.log")"
wait_until 30 test -f "$installed/uninstall.exe" || fail "nothing was installed under Program Files"
[ -f "$installed/tessel-ftp.exe" ] || fail "the program was not installed"
[ -f "$shortcut" ] || fail "no Start-menu entry"
wine reg query "$uninstall_key" /v UninstallString >"$WORK/key.log" 2>&1 || fail "no Apps & features entry"
grep -q 'uninstall.exe' "$WORK/key.log" || fail "the entry names no uninstaller: $(cat "$WORK/key.log")"

# The installed program starts and shows its window.
start_program "$installed/tessel-ftp.exe"
probe wait-window 20 || fail "the installed program showed no window"
probe close
wait_until 15 program_ended || fail "the installed program did not end"

wine "$installed/uninstall.exe" /S >"$WORK/uninstall.log" 2>&1 || fail "the uninstaller failed"
# It runs on from a copy of itself and returns before the files are gone.
wait_until 30 test ! -e "$installed" || fail "left behind: $(ls -R "$installed")"
[ ! -e "$(dirname "$shortcut")" ] || fail "the Start-menu entry was left behind"
! wine reg query "$uninstall_key" >/dev/null 2>&1 || fail "the Apps & features entry was left behind"
! wine reg query "$SETTINGS_KEY" >/dev/null 2>&1 || fail "the settings were left behind"
echo "PASS"
