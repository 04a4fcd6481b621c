# Shared steps of the end-to-end tests: the real program in a private network
# namespace (so that port 21 is free and nothing outside can reach it), with
# its settings in a temporary folder. Source it; every wait is bounded.

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Re-runs the calling script inside a new network namespace with loopback up.
enter_private_network() {
    if [ "${TESSEL_E2E_NETNS:-}" != 1 ]; then
        command -v unshare >/dev/null || fail "unshare is missing (util-linux)"
        exec unshare -n env TESSEL_E2E_NETNS=1 bash "$0" "$@"
    fi
    ip link set lo up || fail "cannot bring loopback up in the namespace"
}

# make_settings AUTOSTART: a temporary config home with the program's
# settings file; sets WORK, HOME_DIR and XDG_CONFIG_HOME.
make_settings() {
    WORK=$(mktemp -d)
    HOME_DIR="$WORK/ftp-root"
    mkdir -p "$WORK/config/Quorvane, Inc." "$HOME_DIR"
    printf '[TesselFTPSettings]\nHomeDirectory=%s\nAllowDownload=1\nAutoStart=%s\n' \
        "$HOME_DIR" "$1" >"$WORK/config/Quorvane, Inc./tessel-ftp.conf"
    export XDG_CONFIG_HOME="$WORK/config"
    trap cleanup EXIT
}

settings_file() {
    echo "$WORK/config/Quorvane, Inc./tessel-ftp.conf"
}

# start_program PATH [platform]: starts it in the background as APP.
start_program() {
    [ -x "$1" ] || fail "program '$1' not found"
    LSAN_OPTIONS="suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}" \
        QT_QPA_PLATFORM=${2:-offscreen} "$1" >"$WORK/program.log" 2>&1 &
    APP=$!
}

cleanup() {
    if [ -n "${APP:-}" ] && kill -0 "$APP" 2>/dev/null; then
        kill "$APP" 2>/dev/null
        wait "$APP" 2>/dev/null
    fi
    [ -n "${WORK:-}" ] && rm -rf "$WORK"
}

# grant_all_rights: turns on every right besides download in the settings
# file that make_settings wrote.
grant_all_rights() {
    printf 'AllowUpload=1\nAllowDelete=1\nAllowCreateDir=1\nAllowRename=1\n' >>"$(settings_file)"
}

# serve_everything PATH: the program started by itself with every right,
# listening on port 21 of the private network; its root is $HOME_DIR.
serve_everything() {
    make_settings 1
    grant_all_rights
    start_program "$1"
    wait_until 10 listening_on_21 || { cat "$WORK/program.log" >&2; fail "nothing listens on port 21 after 10 s"; }
}

# run_client NAME SECONDS COMMAND...: one client command under a deadline,
# its output kept in $WORK/NAME.log and shown when it fails or overruns.
run_client() {
    local name=$1 seconds=$2 status=0
    shift 2
    timeout -k 2 "$seconds" "$@" >"$WORK/$name.log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$WORK/$name.log" >&2
        [ "$status" -eq 124 ] && fail "$name overran its $seconds s"
        fail "$name ended with status $status"
    fi
}

# random_file PATH BYTES
random_file() {
    head -c "$2" /dev/urandom >"$1" || fail "cannot write $1"
}

# make_sample_tree DIR: a tree of Big5-representable Chinese names (許, 功
# and 蓋 end in the byte of a backslash in Big5), mixed-case names, a blank
# inside names, an empty file, an empty folder, and sizes around the
# 4096-byte transfer block, and a folder whose listing spans several blocks.
make_sample_tree() {
    mkdir -p "$1/資料夾" "$1/許功蓋" "$1/Docs" "$1/Mixed/Inner Dir" "$1/空目錄" || fail "cannot make $1"
    printf '報告內容\r\n第二行\n' >"$1/資料夾/報告.txt"
    : >"$1/資料夾/空.txt"
    random_file "$1/許功蓋.bin" 70001
    random_file "$1/許功蓋/功.txt" 4097
    random_file "$1/Docs/ReadMe.TXT" 4096
    random_file "$1/Docs/Data.BIN" 1048576
    printf 'Camel\n' >"$1/Mixed/Inner Dir/CamelCase.Txt"
    # Enough entries for a listing of several transfer blocks.
    mkdir "$1/Many"
    local i
    for ((i = 1; i <= 100; i++)); do
        printf '%d\n' "$i" >"$1/Many/檔案 第$i號.txt"
    done
}

# big5_url TEXT: the text as code page 950 bytes, every one percent-encoded,
# for a URL path that reaches the server's Big5 names.
big5_url() {
    printf '%s' "$1" | iconv -f UTF-8 -t CP950 | od -An -v -tx1 | tr -d ' \n' | sed 's/../%&/g'
}

# same_file EXPECTED ACTUAL: fails naming the first differing byte.
same_file() {
    [ -f "$2" ] || fail "$2 is missing"
    cmp "$1" "$2" >&2 || fail "$2 differs from $1 ($(stat -c %s "$1") bytes expected, $(stat -c %s "$2") got)"
}

# same_tree EXPECTED ACTUAL: fails listing every difference of names or bytes.
same_tree() {
    diff -r "$1" "$2" >"$WORK/tree.diff" 2>&1 || { cat "$WORK/tree.diff" >&2; fail "tree $2 differs from $1"; }
}

listening_on_21() {
    ss -Hltn 'sport = :21' | grep -q LISTEN
}

# wait_until SECONDS COMMAND...: true once the command succeeds in time.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -ge "$deadline" ] && return 1
        sleep 0.1
    done
}

program_alive() {
    kill -0 "$APP" 2>/dev/null
}

# The program's threads, less the toolkit's pooled painting threads: those
# come and go on the toolkit's schedule (one idles for 30 s before it ends),
# so only the threads the program itself starts and ends are counted.
program_threads() {
    grep -vxc 'Thread (pooled)' /proc/"$APP"/task/*/comm
}

# Re-runs the calling script on a private X server (Xvfb) with jwm, whose
# notification area hosts the tray icon. Call after enter_private_network.
enter_private_display() {
    if [ "${TESSEL_E2E_DISPLAY:-}" != 1 ]; then
        if ! command -v xvfb-run >/dev/null; then
            echo "SKIP: xvfb-run is missing (tools/install-deps.sh installs it)"
            exit 0
        fi
        exec env TESSEL_E2E_DISPLAY=1 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
    fi
    for tool in jwm xdotool xwininfo xprop; do
        command -v "$tool" >/dev/null || fail "$tool is missing (tools/install-deps.sh installs it)"
    done
    jwm >/dev/null 2>&1 &
    WM=$!
    wait_until 10 window_manager_up || fail "jwm did not come up"
}

window_manager_up() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

# The program's main window, by its caption.
find_main_window() {
    timeout 10 xdotool search --sync --name 'Tessel FTP Server' 2>/dev/null | head -1
}

# The tray icon: a small top-level window of the program's class.
find_tray_icon() {
    local window
    for window in $(xdotool search --class tessel-ftp 2>/dev/null); do
        xwininfo -id "$window" 2>/dev/null | awk -v id="$window" '
            /^  Width/ {w = $2} /^  Height/ {h = $2}
            END {if (w > 8 && w <= 48 && h > 8 && h <= 48) print id}'
    done | head -1
}

map_state() {
    xwininfo -id "$1" 2>/dev/null | awk '/Map State/ {print $3}'
}

is_viewable() {
    [ "$(map_state "$1")" = IsViewable ]
}

is_unmapped() {
    [ "$(map_state "$1")" = IsUnMapped ]
}

program_ended() {
    ! kill -0 "$APP" 2>/dev/null
}

# set_descriptor_limits SOFT HARD: the limits of descriptors a desktop
# starts programs with.
set_descriptor_limits() {
    ulimit -H -n "$2" && ulimit -S -n "$1"
}

# stop_button_command WINDOW: a shell command that clicks Stop, the second
# of the five buttons that share the top of the window.
stop_button_command() {
    local width
    width=$(xdotool getwindowgeometry --shell "$1" | sed -n 's/^WIDTH=//p')
    echo "xdotool mousemove --window $1 $((width * 3 / 10)) 8 click 1"
}

# The Windows program runs under Wine; its steps replace some of those above.
if [[ "${1:-}" == *.exe ]]; then
    . "$(dirname "${BASH_SOURCE[0]}")/e2e_wine.sh"
fi
