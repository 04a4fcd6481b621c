#!/usr/bin/env bash
# make-screenshots.sh [PROGRAM]: takes the README's pictures of the real
# program: its main window with a few clients in the log, and its settings
# dialog. Runs it on a private X server with jwm, in a private network (port
# 21) and a private mount of /srv, so that the shared folder reads /srv/分享 as
# in the README. Needs root, Xvfb, jwm, xdotool and ImageMagick 6
# (tools/install-deps.sh). Writes docs/screenshots/{main-window,settings}.png;
# the output is committed, so run it again after a change to the window.
set -u
root_dir=$(cd "$(dirname "$0")/.." && pwd)
. "$root_dir/tests/e2e/e2e_lib.sh"
PROGRAM=$(realpath "${1:-$root_dir/build/tessel-ftp}")
OUT=$root_dir/docs/screenshots

if [ "${TESSEL_SCREENSHOT_NS:-}" != 1 ]; then
    [ "$(id -u)" -eq 0 ] || fail "run as root: the program needs a private network and /srv"
    exec unshare -n -m env TESSEL_SCREENSHOT_NS=1 bash "$0" "$PROGRAM"
fi
enter_private_display "$PROGRAM"
ip link set lo up || fail "cannot bring loopback up in the namespace"
mount -t tmpfs tmpfs /srv || fail "cannot mount a private /srv"

make_settings 1
grant_all_rights
share=/srv/分享
mkdir -p "$share/文件" "$share/相片"
printf '會議記錄\r\n' >"$share/文件/會議記錄.txt"
random_file "$share/相片/旅行.jpg" 245760
random_file "$share/安裝程式.zip" 1048576
sed -i "s|^HomeDirectory=.*|HomeDirectory=$share|" "$(settings_file)"

start_program "$PROGRAM" xcb
window=$(find_main_window)
[ -n "$window" ] || { cat "$WORK/program.log"; fail "the main window did not appear"; }
wait_until 10 listening_on_21 || fail "AutoStart did not start the server"

# Three clients: a listing and a download, a mirror of a folder, an upload.
run_client curl 30 curl -sS --fail -o /dev/null "ftp://127.0.0.1/$(big5_url 安裝程式.zip)"
run_client lftp 30 lftp -e 'set ftp:charset big5; set file:charset utf-8; ls; mirror 相片 '"$WORK"'/相片; quit' 127.0.0.1
printf '新的報告\n' >"$WORK/報告.txt"
run_client upload 30 curl -sS --fail -T "$WORK/報告.txt" "ftp://127.0.0.1/$(big5_url 文件/報告.txt)"
# One client stays logged in, so the caption counts a connection.
exec 3<>/dev/tcp/127.0.0.1/21 || fail "cannot connect to port 21"
printf 'USER anonymous\r\nPASS guest@\r\nPWD\r\n' >&3
sleep 1

# Scroll the log to its end, where the later clients are.
width=$(xwininfo -id "$window" | awk '/^  Width/ {print $2}')
height=$(xwininfo -id "$window" | awk '/^  Height/ {print $2}')
xdotool mousemove --window "$window" $((width / 2)) $((height / 2)) click --repeat 60 --delay 10 5
mkdir -p "$OUT"
# shoot WINDOW NAME: the window with its frame and title, small enough to commit.
shoot() {
    xdotool windowactivate --sync "$1" 2>/dev/null
    sleep 0.5
    import -silent -frame -window "$1" -strip +dither -colors 256 PNG8:"$OUT/$2.png" \
        || fail "cannot take $2.png"
}
shoot "$window" main-window

# The settings button is the third of the five across the top of the window.
xdotool mousemove --window "$window" $((width / 2)) 12 click 1
settings=$(timeout 10 xdotool search --sync --onlyvisible --name '^設定$' | head -1)
[ -n "$settings" ] || fail "the settings dialog did not open"
shoot "$settings" settings
xdotool key Escape

exec 3<&-
kill "$WM" 2>/dev/null
echo "Wrote $OUT/main-window.png and $OUT/settings.png"
