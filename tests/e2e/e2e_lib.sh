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
