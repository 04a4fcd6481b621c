# The Windows program under Wine: what differs from the Linux program in the
# shared steps of e2e_lib.sh, which sources this file when the program is an
# .exe. The runner (tools/test-windows.sh) has made the private network, the
# display and the Wine prefix, whose server must live in that network (Wine's
# sockets belong to it), so the steps neither unshare nor start a display.
# The settings live in the registry; HOME_DIR is served as its Z: path.

enter_private_network() {
    [ "${TESSEL_WINE_RUNNER:-}" = 1 ] || fail "run the Windows tests through make test-windows"
}

enter_private_display() {
    WM=
}

SETTINGS_KEY='HKEY_CURRENT_USER\Software\Quorvane, Inc.\tessel-ftp\TesselFTPSettings'

# The registry text of make_settings, imported when the program starts: the
# old section goes, the new one holds what the test wrote.
make_settings() {
    WORK=$(mktemp -d)
    HOME_DIR="$WORK/ftp-root"
    mkdir -p "$HOME_DIR"
    local windows_home="Z:${HOME_DIR//\//\\\\}"
    {
        printf 'Windows Registry Editor Version 5.00\n\n[-%s]\n\n[%s]\n' "$SETTINGS_KEY" "$SETTINGS_KEY"
        printf '"HomeDirectory"="%s"\n"AllowDownload"=dword:00000001\n"AutoStart"=dword:%08x\n' "$windows_home" "$1"
    } >"$WORK/settings.reg"
    trap cleanup EXIT
}

settings_file() {
    echo "$WORK/settings.reg"
}

grant_all_rights() {
    local right
    for right in AllowUpload AllowDelete AllowCreateDir AllowRename; do
        printf '"%s"=dword:00000001\n' "$right" >>"$(settings_file)"
    done
}

import_settings() {
    local reg="$WORK/settings-utf16.reg"
    iconv -f UTF-8 -t UTF-16 "$(settings_file)" >"$reg"
    wine regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1 || fail "cannot import the settings"
}

# start_program PATH: the process is the program itself (Wine starts it in
# place), so APP is its process id.
start_program() {
    [ -f "$1" ] || fail "program '$1' not found"
    import_settings
    wine "$1" >"$WORK/program.log" 2>&1 &
    APP=$!
}

program_threads() {
    ls /proc/"$APP"/task | wc -l
}

# The window probe (a Windows program) reads and drives the window.
probe() {
    wine "$TESSEL_WINDOW_PROBE" "$@"
}

find_main_window() {
    probe wait-window 10 >/dev/null && echo main
}

# Windows has no per-process limit of sockets to start from: the program
# gets the most this machine allows, as do Wine's server and clients.
set_descriptor_limits() {
    ulimit -S -n "$(ulimit -H -n)"
}

stop_button_command() {
    echo "wine '$TESSEL_WINDOW_PROBE' click 1022"
}
