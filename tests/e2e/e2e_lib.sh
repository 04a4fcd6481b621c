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
