#!/usr/bin/env bash
# The tray icon keeps answering while a dialog is up: with Settings open from
# the window, and with the about box open from the icon's own menu, a
# right-click opens the menu and its Exit ends the program at once, the open
# dialog included, writing no settings.
set -u
. "$(dirname "$0")/e2e_lib.sh"
enter_private_network "$@"
enter_private_display "$@"
PROGRAM=$1

make_settings 0
settings_before=$(cat "$(settings_file)")

# The program's visible windows besides the main window and the icon.
other_windows() {
    xdotool search --onlyvisible --class tessel-ftp 2>/dev/null | grep -vx -e "$window" -e "$icon"
}

dialog_up() {
    local id
    for id in $(other_windows); do
        [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$1" ] && return 0
    done
    return 1
}

# The menu is one more window besides the dialog.
menu_up() {
    [ "$(other_windows | wc -l)" -ge "$1" ]
}

open_tray_menu() {
    xdotool mousemove --window "$icon" 8 8 click 3
    wait_until 5 menu_up "$1" || fail "$2"
}

open_settings_from_window() {
    # The Settings button is the third of five across the top of the window.
    local width
    width=$(xwininfo -id "$window" | awk '/^  Width/ {print $2}')
    xdotool mousemove --window "$window" $((width * 115 / 231)) 10 click 1
}

open_about_from_tray() {
    open_tray_menu 1 "the icon's menu did not open"
    xdotool key Down Return
}

# exit_with_dialog OPENER CAPTION
exit_with_dialog() {
    start_program "$PROGRAM" xcb
    window=$(find_main_window)
    [ -n "$window" ] || { cat "$WORK/program.log"; fail "the main window did not appear"; }
    icon=""
    find_icon() { icon=$(find_tray_icon); [ -n "$icon" ]; }
    wait_until 10 find_icon || fail "no tray icon in jwm's notification area"

    "$1"
    wait_until 5 dialog_up "$2" || fail "the dialog \"$2\" did not open"
    open_tray_menu 2 "the icon's menu did not open while \"$2\" was up"
    # Exit is the last entry, reached by wrapping up from the first.
    xdotool key Up Return
    wait_until 10 program_ended || fail "Exit from the tray did not end the program while \"$2\" was up"
    wait "$APP"
    local status=$?
    APP=""
    [ "$status" -eq 0 ] || { cat "$WORK/program.log"; fail "the program ended with status $status"; }
    [ "$(cat "$(settings_file)")" = "$settings_before" ] || fail "Exit from the tray wrote the settings"
}

exit_with_dialog open_settings_from_window "設定"
exit_with_dialog open_about_from_tray "關於"
kill "$WM" 2>/dev/null
echo "PASS"
