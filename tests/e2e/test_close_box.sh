#!/usr/bin/env bash
# Closing the main window through the window manager (Alt+F4) stops the
# server, ending a connected client's session, writes all seven settings
# and ends the program.
set -u
. "$(dirname "$0")/e2e_lib.sh"
enter_private_network "$@"
enter_private_display "$@"
PROGRAM=$1

make_settings 1
# A value the settings dialog never produces must come back unchanged.
echo "AllowUpload=2" >>"$(settings_file)"
start_program "$PROGRAM" xcb
window=$(find_main_window)
[ -n "$window" ] || { cat "$WORK/program.log"; fail "the main window did not appear"; }
wait_until 10 listening_on_21 || fail "AutoStart did not start the server"

exec 3<>/dev/tcp/127.0.0.1/21 || fail "cannot connect to port 21"
read -r -t 5 greeting <&3 || fail "no greeting"

xdotool windowactivate --sync "$window" key alt+F4
wait_until 15 program_ended || fail "Alt+F4 did not end the program"
wait "$APP"
status=$?
APP=""
[ "$status" -eq 0 ] || { cat "$WORK/program.log"; fail "the program ended with status $status"; }
# The session was ended by Stop: the client reads the end of the connection
# (read returns 1), not a time-out (above 128).
for _ in 1 2 3 4 5; do
    read -r -t 5 line <&3
    rc=$?
    [ "$rc" -ne 0 ] && break
done
[ "$rc" -eq 1 ] || fail "the client's connection did not end (read status $rc)"
exec 3<&-

for line in "HomeDirectory=$HOME_DIR" AllowCreateDir=0 AllowDelete=0 AllowDownload=1 AllowRename=0 \
    AllowUpload=2 AutoStart=1; do
    grep -qxF "$line" "$(settings_file)" || { cat "$(settings_file)"; fail "settings file lacks '$line'"; }
done
kill "$WM" 2>/dev/null
echo "PASS"
