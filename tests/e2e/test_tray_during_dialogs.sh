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

# The icon's menu: the program's visible window besides the main window and
# the icon that is not the dialog; sets MENU.
menu_up() {
    MENU=$(other_windows | while read -r id; do
        [ "$(xdotool getwindowname "$id" 2>/dev/null)" != "$1" ] && echo "$id"
    done | head -1)
    [ -n "$MENU" ]
}

# choose_from_tray ENTRY-Y DIALOG-CAPTION: opens the icon's menu with the
# dialog up (or none) and clicks the entry at that height; a negative height
# counts from the menu's bottom.
choose_from_tray() {
    xdotool mousemove --window "$icon" 8 8 click 3
    wait_until 5 menu_up "$2" || fail "the icon's menu did not open${2:+ while \"$2\" was up}"
    local y=$1 height
    height=$(xwininfo -id "$MENU" | awk '/^  Height/ {print $2}')
    [ "$y" -lt 0 ] && y=$((height + y))
    xdotool mousemove --window "$MENU" 20 "$y" click 1
}

open_settings_from_window() {
    # The Settings button is the third of five across the top of the window.
    local width
    width=$(xwininfo -id "$window" | awk '/^  Width/ {print $2}')
    xdotool mousemove --window "$window" $((width * 115 / 231)) 10 click 1
}

# About is the menu's first entry.
open_about_from_tray() {
    choose_from_tray 10 ""
}

# exit_with_dialog OPENER CAPTION
exit_with_dialog() {
    start_program "$PROGRAM" xcb
    window=$(find_main_window)
    [ -n "$window" ] || { cat "$WORK/program.log"; fail "the main window did not appear"; }
    icon=""
    find_icon() { icon=$(find_tray_icon); [ -n "$icon" ]; }
    wait_until 10 find_icon || fail "no tray icon in jwm's notification area"
    wait_until 5 is_viewable "$window" || fail "the main window is not shown"

    "$1"
    wait_until 5 dialog_up "$2" || fail "the dialog \"$2\" did not open"
    # Exit is the menu's last entry.
    choose_from_tray -10 "$2"
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
