#!/usr/bin/env bash
# The Windows window, driven from outside as a user would: AutoStart starts
# the server and logs its start row; a client's connect and disconnect show
# in the log and the caption; Enter and iconify do not end the window, the
# tray icon brings it back and opens its menu; the about and address
# dialogs open and close; the settings dialog shows the registry's values
# and takes changes; Stop stops; the close box writes all seven values to
# the registry. A second run ends by the tray's Exit after changing the
# settings: the registry stays as it was. Screenshots of the window, the tray
# menu and the settings dialog go to $TESSEL_SCREENSHOTS.
set -u
. "$(dirname "$0")/../e2e_lib.sh"
enter_private_network "$@"
PROGRAM=$1
SHOTS=${TESSEL_SCREENSHOTS:-$(dirname "$PROGRAM")/screenshots}
mkdir -p "$SHOTS"

big5_check() {
    # The probe prints UTF-8; the window shows what the Big5 texts say.
    grep -qF -- "$2" <<<"$1" || { echo "$1" >&2; fail "expected '$2'"; }
}

settings_value() {
    wine reg query "$SETTINGS_KEY" /v "$1" 2>/dev/null | tr -d '\r' | awk -v name="$1" '$1 == name {print $3}'
}

item_state() {
    probe items | awk -F'\t' -v id="$1" '$1 == id {print $2}'
}

dialog_item() {
    probe dialog "$1" | awk -F'\t' -v id="$2" '$1 == id {print $'"$3"'}'
}

start_again() {
    wine "$1" >"$WORK/program.log" 2>&1 &
    APP=$!
    probe wait-window 20 || { cat "$WORK/program.log" >&2; fail "the main window did not appear"; }
}

open_settings() {
    probe click 1023
    wait_until 10 bash -c "wine '$TESSEL_WINDOW_PROBE' dialog 設定 >/dev/null 2>&1" || fail "the settings dialog did not open"
}

confirm_settings() {
    probe dialog-click 設定 1
    wait_until 5 bash -c "! wine '$TESSEL_WINDOW_PROBE' dialog 設定 >/dev/null 2>&1" || fail "OK did not close the dialog"
}

make_settings 1
printf '"AllowUpload"=dword:00000002\n' >>"$(settings_file)"
start_program "$PROGRAM"
probe wait-window 20 || { cat "$WORK/program.log" >&2; fail "the main window did not appear"; }
wait_until 10 listening_on_21 || fail "AutoStart did not start the server"

wait_until 5 bash -c "wine '$TESSEL_WINDOW_PROBE' log | grep -q ." || fail "no log row"
big5_check "$(probe log | head -1)" "Tessel FTP Server 啟動，通訊埠： 21."
[ "$(item_state 1021)" = 0 ] && [ "$(item_state 1022)" = 1 ] || fail "Start should be disabled and Stop enabled"
big5_check "$(probe status | head -1)" "Tessel FTP Server 連線"
[ -z "$(probe status | sed -n 2p)" ] || fail "the right pane of the status bar should be empty"

# One client in: the caption counts it and the log names it.
python3 - <<'PY' &
import ftplib, time
ftp = ftplib.FTP(encoding="latin-1", timeout=10)
ftp.connect("127.0.0.1", 21)
ftp.login("anonymous", "probe@")
time.sleep(3)
ftp.quit()
PY
client=$!
wait_until 5 bash -c "wine '$TESSEL_WINDOW_PROBE' caption | grep -qF '[連線數： 1 ]'" ||
    fail "the caption did not count the client: $(probe caption)"
big5_check "$(probe log)" "用戶端： 127.0.0.1 連線"
import -window root "$SHOTS/main-window.png" || fail "no screenshot"
wait "$client"
wait_until 5 bash -c "wine '$TESSEL_WINDOW_PROBE' caption | grep -qF '[連線數：0 ]'" ||
    fail "the caption did not drop the client: $(probe caption)"
big5_check "$(probe log)" "用戶端 127.0.0.1 離線"

# Enter does not close the window; iconify hides it; the tray brings it back.
probe key 13
sleep 0.5
program_alive && [ "$(probe visible)" = 1 ] || fail "Enter closed the window"
probe minimize
wait_until 5 test "$(probe visible)" = 0 || fail "iconify did not hide the window"
probe tray
wait_until 5 test "$(probe visible)" = 1 || fail "the tray icon did not bring the window back"
# The tray icon's menu opens on the right button's release; Escape closes it.
probe tray 517
sleep 1
import -window root "$SHOTS/tray-menu.png" || fail "no screenshot"
xdotool key Escape
sleep 0.5
program_alive && [ "$(probe visible)" = 1 ] || fail "the tray menu ended the program"

# The about box and the address dialog, each closed by its OK button.
probe click 1024
wait_until 10 bash -c "wine '$TESSEL_WINDOW_PROBE' dialog 關於 >/dev/null 2>&1" || fail "the about box did not open"
big5_check "$(probe dialog 關於)" "tessel FTP Server Version 1.0"
big5_check "$(probe dialog 關於)" "技術支援："
import -window root "$SHOTS/about-dialog.png" || fail "no screenshot"
probe dialog-click 關於 1
wait_until 5 bash -c "! wine '$TESSEL_WINDOW_PROBE' dialog 關於 >/dev/null 2>&1" || fail "OK did not close the about box"
probe click 1025
wait_until 10 bash -c "wine '$TESSEL_WINDOW_PROBE' dialog 本機IP位置 >/dev/null 2>&1" || fail "the address dialog did not open"
[[ "$(dialog_item 本機IP位置 1017 4)" =~ ^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
    fail "the address dialog shows no address: $(dialog_item 本機IP位置 1017 4)"
probe dialog-click 本機IP位置 1
wait_until 5 bash -c "! wine '$TESSEL_WINDOW_PROBE' dialog 本機IP位置 >/dev/null 2>&1" || fail "OK did not close the address dialog"

probe click 1022
wait_until 10 bash -c "! ss -Hltn 'sport = :21' | grep -q LISTEN" || fail "Stop left the port open"
big5_check "$(probe log)" "FTP Server 停止"
big5_check "$(probe status | head -1)" "Tessel FTP Server 離線"
[ "$(item_state 1021)" = 1 ] && [ "$(item_state 1022)" = 0 ] || fail "Start should be enabled and Stop disabled"

# The close box writes all seven values; a stored 2 goes back as 2.
probe close
wait_until 15 program_ended || fail "the close box did not end the program"
[ "$(settings_value AllowUpload)" = 0x2 ] || fail "a stored 2 should be written back as 2: $(settings_value AllowUpload)"
for name in AllowCreateDir AllowDelete AllowDownload AllowRename AutoStart; do
    [ -n "$(settings_value "$name")" ] || fail "$name was not written"
done

# The settings dialog shows the stored values and takes a new folder and
# the delete right, which the close box then writes.
start_again "$PROGRAM"
open_settings
big5_check "$(dialog_item 設定 1007 4)" 'ftp-root'
[ "$(dialog_item 設定 1009 3)" = 1 ] && [ "$(dialog_item 設定 1011 3)" = 0 ] || fail "the check boxes do not show the settings"
import -window root "$SHOTS/settings-dialog.png" || fail "no screenshot"
probe dialog-set 設定 1007 'C:\新資料夾'
probe dialog-check 設定 1011 1
confirm_settings
probe close
wait_until 15 program_ended || fail "the close box did not end the program"
[ "$(settings_value AllowDelete)" = 0x1 ] || fail "AllowDelete not written: $(settings_value AllowDelete)"
start_again "$PROGRAM"
open_settings
big5_check "$(dialog_item 設定 1007 4)" 'C:\新資料夾'
probe dialog-click 設定 2

# The tray's Exit after a change in the settings dialog writes nothing.
before=$(wine reg query "$SETTINGS_KEY")
open_settings
probe dialog-check 設定 1009 0
confirm_settings
probe command 57665
wait_until 15 program_ended || fail "the tray's Exit did not end the program"
[ "$(wine reg query "$SETTINGS_KEY")" = "$before" ] || fail "the tray's Exit wrote the settings"
echo "PASS"
