#!/usr/bin/env bash
# On a desktop with a notification area: the tray icon shows, iconifying the
# window hides it, a double-click on the icon brings it back, and the menu's
# Exit ends the program at once, with a client connected, writing no settings.
set -u
. "$(dirname "$0")/e2e_lib.sh"
enter_private_network "$@"
enter_private_display "$@"
PROGRAM=$1

make_settings 1
settings_before=$(cat "$(settings_file)")
start_program "$PROGRAM" xcb
window=$(find_main_window)
[ -n "$window" ] || { cat "$WORK/program.log"; fail "the main window did not appear"; }
wait_until 10 listening_on_21 || fail "AutoStart did not start the server"

icon=""
find_icon() { icon=$(find_tray_icon); [ -n "$icon" ]; }
wait_until 10 find_icon || fail "no tray icon in jwm's notification area"
is_viewable "$window" || fail "the main window is not shown at start"

xdotool windowminimize "$window"
wait_until 5 is_unmapped "$window" || fail "iconifying did not hide the window (map state $(map_state "$window"))"
program_alive || { cat "$WORK/program.log"; fail "hiding the window ended the program"; }
find_icon || fail "the tray icon went away with the window"

xdotool mousemove --window "$icon" 8 8 click --repeat 2 --delay 80 1
wait_until 5 is_viewable "$window" || fail "a double-click on the icon did not bring the window back"

# A client stays connected while Exit is chosen from the icon's menu: the
# last entry, reached by wrapping up from the first.
exec 3<>/dev/tcp/127.0.0.1/21 || fail "cannot connect to port 21"
read -r -t 5 greeting <&3 || fail "no greeting"
xdotool mousemove --window "$icon" 8 8 click 3
menu_open() { xdotool search --onlyvisible --class tessel-ftp 2>/dev/null | grep -vx -e "$window" -e "$icon" | grep -q .; }
wait_until 5 menu_open || fail "the icon's menu did not open"
xdotool key Up Return
wait_until 10 program_ended || fail "Exit from the tray menu did not end the program"
wait "$APP"
status=$?
APP=""
[ "$status" -eq 0 ] || { cat "$WORK/program.log"; fail "the program ended with status $status after Exit"; }
[ "$(cat "$(settings_file)")" = "$settings_before" ] || fail "Exit from the tray wrote the settings"
exec 3<&-
kill "$WM" 2>/dev/null
echo "PASS"
