#!/usr/bin/env bash
# Benchmarks our server against four peer FTP servers (vsftpd, pure-ftpd, proftpd, pyftpdlib)
# on loopback, each anonymous with uploads allowed, each on its own port, all with the same
# files on one tmpfs, inside a private network and mount namespace; every run measures all
# five in turn, and one table of medians shows each and ours against the best peer.
# The other benchmark programs of the build (bench_*) run once each and add their figures.
#   bench/run.sh BUILD_DIR        (root; BENCH_RUNS=3 by default; peers from
#                                tools/install-bench-peers.sh BUILD_DIR)
#   BENCH_ONLY="list small"      measures only these client modes (and no ceilings or
#                                other benchmark programs), for a quick look at a few figures
set -euo pipefail

build=$(realpath "${1:-build}")
runs=${BENCH_RUNS:-3}
session_millis=${BENCH_SESSION_MILLIS:-2000}
# No further run starts after this many seconds, so that the whole stays within 15 minutes.
budget_seconds=${BENCH_BUDGET_SECONDS:-600}
ours_port=21
gib=$((1 << 30))
mib20=$((20 << 20))

if [ -z "${TESSEL_BENCH_INSIDE:-}" ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "bench/run.sh needs root for its network and mount namespace" >&2
        exit 1
    fi
    exec env TESSEL_BENCH_INSIDE=1 unshare --net --mount --propagation private "$0" "$build"
fi

client=$build/bench/ftp_bench
ceiling=$build/bench/loopback_ceiling
report=$build/bench/bench_report
program=$build/tessel-ftp
peers=$build/peers/root

note() { echo "[bench $(date +%H:%M:%S)] $*" >&2; }

ip link set lo up
# Thousands of short sessions a second must not run out of ports or trip over TIME_WAIT.
sysctl -q -w net.ipv4.ip_local_port_range="10000 65000" net.ipv4.tcp_tw_reuse=1

work=$(mktemp -d /tmp/tessel-bench.XXXXXX)
mount -t tmpfs -o size=6g,mode=0755 tessel-bench "$work"
server_pid=""
cleanup() {
    stop_server
    umount "$work" 2>/dev/null || true
    rmdir "$work" 2>/dev/null || true
}
trap cleanup EXIT

root=$work/root
results=$build/bench-results.txt
: >"$results"

make_tree() {
    mkdir -p "$root"/list "$root"/list100k "$root"/small "$root"/par "$root"/upload "$work"/empty "$work"/xdg
    chmod 0777 "$root"/upload
    "$client" make-files --dir "$root" --prefix big --count 1 --size $gib
    "$client" make-files --dir "$root"/list --prefix f --count 10000 --size 0
    "$client" make-files --dir "$root"/list100k --prefix f --count 100000 --size 0
    "$client" make-files --dir "$root"/small --prefix s --count 1000 --size 4096
    "$client" make-files --dir "$root"/par --prefix p --count 50 --size $mib20
}

write_vsftpd_conf() {
    cat >"$work"/vsftpd.conf <<CONF
listen=YES
listen_ipv6=NO
background=NO
listen_address=127.0.0.1
listen_port=$1
anonymous_enable=YES
local_enable=NO
anon_root=$root
write_enable=YES
anon_upload_enable=YES
anon_mkdir_write_enable=YES
anon_other_write_enable=YES
anon_umask=022
anon_world_readable_only=NO
async_abor_enable=YES
pasv_enable=YES
pasv_address=127.0.0.1
connect_from_port_20=NO
dirmessage_enable=NO
xferlog_enable=NO
max_clients=0
max_per_ip=0
secure_chroot_dir=$work/empty
CONF
}

write_proftpd_conf() {
    cat >"$work"/proftpd.conf <<CONF
ServerType standalone
ServerName "bench"
Port $1
DefaultAddress 127.0.0.1
SocketBindTight on
UseIPv6 off
User nobody
Group nogroup
ModulePath $peers/usr/lib/proftpd
ScoreboardFile $work/proftpd.scoreboard
PidFile $work/proftpd.pid
DelayTable none
WtmpLog off
TransferLog none
MaxInstances 2000
UseReverseDNS off
UseSendfile on
AllowOverwrite on
<Anonymous $root>
  User ftp
  Group nogroup
  UserAlias anonymous ftp
  RequireValidShell off
  MaxClients none
  <Limit WRITE>
    AllowAll
  </Limit>
</Anonymous>
CONF
}

write_ours_conf() {
    mkdir -p "$work/xdg/Quorvane, Inc."
    cat >"$work/xdg/Quorvane, Inc./tessel-ftp.conf" <<CONF
[TesselFTPSettings]
HomeDirectory=$root
AllowDownload=1
AllowUpload=1
AllowDelete=1
AllowRename=1
AllowCreateDir=1
AutoStart=1
CONF
}

port_open() { timeout 1 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1" 2>/dev/null; }

# Starts a server and waits (at most 10 s) until it answers on its port.
start_server() {
    local name=$1 port=$2
    shift 2
    "$@" >"$work/$name.log" 2>&1 &
    server_pid=$!
    for _ in $(seq 100); do
        if ! kill -0 "$server_pid" 2>/dev/null; then
            note "$name exited at start: $(tail -3 "$work/$name.log")"
            server_pid=""
            return 1
        fi
        port_open "$port" && return 0
        sleep 0.1
    done
    note "$name does not answer on port $port"
    stop_server
    return 1
}

# Alive and not yet a zombie waiting for this shell to collect it.
running() { [ -r "/proc/$1/stat" ] && ! grep -q ') Z ' "/proc/$1/stat" 2>/dev/null; }

# Ends the server and the session processes it forked, by their ids.
stop_server() {
    [ -n "$server_pid" ] || return 0
    local children
    children=$(pgrep -P "$server_pid" || true)
    kill "$server_pid" $children 2>/dev/null || true
    for _ in $(seq 50); do
        running "$server_pid" || break
        sleep 0.1
    done
    kill -KILL "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=""
}

# Runs one measurement; its "metric value" lines are recorded under the server's name.
measure() {
    local server=$1 port=$2 mode=$3
    shift 3
    local output
    if [ -n "${BENCH_ONLY:-}" ] && [[ " $BENCH_ONLY " != *" $mode "* ]]; then
        return 0
    fi
    if output=$(timeout 300 "$client" "$mode" --port "$port" "$@"); then
        echo "$output" | sed "s/^/$server /" >>"$results"
    else
        note "$server: $mode $* failed"
    fi
}

measure_server() {
    local server=$1 port=$2
    measure "$server" "$port" idle --name idle_kib --sessions 200 --pid "$server_pid"
    measure "$server" "$port" list --name list_10k --dir /list --expect 10000
    measure "$server" "$port" list --name list_100k --dir /list100k --expect 100000
    measure "$server" "$port" small --name files_4k --dir /small --count 1000 --size 4096
    measure "$server" "$port" small --name files_4k_delayed_ack --dir /small --count 100 --size 4096 --quickack 0
    measure "$server" "$port" retr --name retr_1g --file /big0.bin --size $gib --pid "$server_pid"
    measure "$server" "$port" stor --name stor_1g --file /upload/stor.bin --size $gib --pid "$server_pid"
    rm -f "$root"/upload/stor.bin
    measure "$server" "$port" abort --name abort_retr_ms --direction retr --file /big0.bin
    measure "$server" "$port" abort --name abort_stor_ms --direction stor --file /upload/abort.bin
    rm -f "$root"/upload/abort.bin
    measure "$server" "$port" parallel --name par50 --dir /par --clients 50 --size $mib20
    measure "$server" "$port" parallel --name par50one --file /par/p0.bin --clients 50 --size $mib20
    measure "$server" "$port" burst --name burst_50 --clients 50 --millis 3000
    measure "$server" "$port" sessions --name sessions_1 --clients 1 --millis "$session_millis"
    measure "$server" "$port" sessions --name sessions_8 --clients 8 --millis "$session_millis"
}

# Each server in turn: its name, its port, and the command that runs it in the foreground.
server_command() {
    case $1 in
        ours) echo env QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/xdg" "$program" ;;
        vsftpd) echo /usr/sbin/vsftpd "$work/vsftpd.conf" ;;
        # Anonymous users get the home folder of the system user ftp; it is the shared folder
        # here by a bind mount that only this namespace sees.
        pure-ftpd) echo "$peers/usr/sbin/pure-ftpd" -4 -S 127.0.0.1,2122 -e -M -H -A -c 1000 -C 1000 -m 1000 -k 100 -L 1000000:10 ;;
        proftpd) echo "$peers/usr/sbin/proftpd" -n -q -c "$work/proftpd.conf" ;;
        pyftpdlib) echo /usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p 2124 -w -d "$root" ;;
    esac
}
declare -A server_port=([ours]=$ours_port [vsftpd]=2121 [pure-ftpd]=2122 [proftpd]=2123 [pyftpdlib]=2124)
servers=(ours vsftpd pure-ftpd proftpd pyftpdlib)

measure_ceilings() {
    local pair value
    for pair in sendfile sendfile-4k read-send-4k recv-write-4k recv-write-256k splice-write client-send; do
        case $pair in
            sendfile | sendfile-4k | read-send-4k) value=$("$ceiling" "$pair" "$root/big0.bin") || value="" ;;
            recv-write-* | splice-write) value=$("$ceiling" "$pair" "$work/ceiling.out" $gib) || value="" ;;
            client-send) value=$("$ceiling" "$pair" /dev/null $gib) || value="" ;;
        esac
        [ -n "$value" ] && echo "ceiling ceiling_${pair//-/_} $value" >>"$results"
    done
}

# The other benchmark programs of the build, once each; their figures join the table.
run_other_benches() {
    local program name output
    for program in "$build"/bench/bench_*; do
        name=$(basename "$program")
        [ -f "$program" ] && [ -x "$program" ] && [ "$name" != bench_report ] || continue
        note "$name"
        if output=$(cd "$work" && TMPDIR="$work" QT_QPA_PLATFORM=offscreen timeout 300 "$program" 2>&1); then
            echo "$output" >"$build/$name.txt"
            echo "$output" | sed -n -E \
                -e 's/^log rows: .*: ([0-9.]+) rows\/s.*/ours log_rows_per_s \1/p' \
                -e 's/^longest stall.*: ([0-9.]+) ms.*/ours log_longest_stall_ms \1/p' \
                -e 's/^one more row .*: ([0-9.]+) us each.*/ours log_row_paint_us \1/p' \
                -e 's/^RETR .*: ([0-9.]+) MiB\/s.*/ours engine_retr_mibps \1/p' \
                -e 's/^STOR .*: ([0-9.]+) MiB\/s.*/ours engine_stor_mibps \1/p' \
                -e 's/^Stop returned after: ([0-9.]+) ms.*/ours stop_200_ms \1/p' \
                -e 's/^Stop during RETR[^:]*: ([0-9.]+) ms.*/ours stop_retr_ms \1/p' \
                -e 's/^Stop during STOR[^:]*: ([0-9.]+) ms.*/ours stop_stor_ms \1/p' \
                -e 's/^log row bytes at .*: ([0-9.]+) bytes per row allocated.*/ours log_row_bytes \1/p' \
                -e 's/^log opened at its last row: ([0-9.]+) ms.*/ours log_open_last_ms \1/p' >>"$results"
        else
            note "$name failed: $(echo "$output" | tail -2)"
        fi
    done
}

note "making files on tmpfs $work"
make_tree
write_vsftpd_conf "${server_port[vsftpd]}"
write_proftpd_conf "${server_port[proftpd]}"
write_ours_conf
if ftp_home=$(getent passwd ftp | cut -d: -f6) && [ -d "$ftp_home" ]; then
    mount --bind "$root" "$ftp_home"
else
    note "no system user ftp with a home folder: pure-ftpd and proftpd cannot serve anonymously"
fi
[ -x "$program" ] || note "our program $program is missing: only the peers are measured"

[ -n "${BENCH_ONLY:-}" ] || run_other_benches
if [ -z "${BENCH_ONLY:-}" ] && [ -x "$program" ]; then
    note "crowd of 9,000 idle sessions"
    "$(dirname "$0")/crowd.sh" "$program" "$work/xdg" >>"$results" || note "crowd failed"
fi

for run in $(seq "$runs"); do
    if [ "$run" -gt 1 ] && [ "$SECONDS" -gt "$budget_seconds" ]; then
        note "time budget of $budget_seconds s spent: stopping after $((run - 1)) runs"
        break
    fi
    if [ -z "${BENCH_ONLY:-}" ]; then
        note "run $run of $runs: ceilings"
        measure_ceilings
    fi
    for server in "${servers[@]}"; do
        [ "$server" != ours ] || [ -x "$program" ] || continue
        note "run $run of $runs: $server"
        # shellcheck disable=SC2046 # the command is words without spaces of their own
        if start_server "$server" "${server_port[$server]}" $(server_command "$server"); then
            measure_server "$server" "${server_port[$server]}"
            stop_server
        fi
    done
done

echo
"$report" "$results"
echo "(MB = 10^6 bytes; every figure is the median of the runs; ours also with min-max and run count;"
echo " ours/best = ours against the best peer on that figure; raw figures in $results; load: $(cut -d' ' -f1-3 /proc/loadavg))"
