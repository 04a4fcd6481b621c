#!/usr/bin/env bash
# Benchmarks our server against vsftpd on loopback, each with the same files on a tmpfs,
# inside a private network and mount namespace, and prints one table of medians.
# The other benchmark programs of the build (bench_*) run once each and add their figures.
#   bench/run.sh BUILD_DIR        (root; BENCH_RUNS=5 by default)
#   BENCH_ONLY="list small"      measures only these client modes (and no ceilings or
#                                other benchmark programs), for a quick look at a few figures
set -euo pipefail

build=$(realpath "${1:-build}")
runs=${BENCH_RUNS:-5}
session_millis=${BENCH_SESSION_MILLIS:-2000}
# No further run starts after this many seconds, so that the whole stays within 15 minutes.
budget_seconds=${BENCH_BUDGET_SECONDS:-420}
ours_port=21
vsftpd_port=2121
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
    mkdir -p "$root"/list "$root"/small "$root"/par "$root"/upload "$work"/empty "$work"/xdg
    chmod 0777 "$root"/upload
    "$client" make-files --dir "$root" --prefix big --count 1 --size $gib
    "$client" make-files --dir "$root"/list --prefix f --count 10000 --size 0
    "$client" make-files --dir "$root"/small --prefix s --count 1000 --size 4096
    "$client" make-files --dir "$root"/par --prefix p --count 50 --size $mib20
}

write_vsftpd_conf() {
    cat >"$work"/vsftpd.conf <<CONF
listen=YES
listen_ipv6=NO
background=NO
listen_address=127.0.0.1
listen_port=$vsftpd_port
anonymous_enable=YES
local_enable=NO
anon_root=$root
write_enable=YES
anon_upload_enable=YES
anon_mkdir_write_enable=YES
anon_other_write_enable=YES
anon_umask=022
anon_world_readable_only=NO
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
    measure "$server" "$port" small --name files_4k --dir /small --count 1000 --size 4096
    measure "$server" "$port" small --name files_4k_delayed_ack --dir /small --count 100 --size 4096 --quickack 0
    measure "$server" "$port" retr --name retr_1g --file /big0.bin --size $gib
    measure "$server" "$port" stor --name stor_1g --file /upload/stor.bin --size $gib
    rm -f "$root"/upload/stor.bin
    measure "$server" "$port" parallel --name par50 --dir /par --clients 50 --size $mib20
    measure "$server" "$port" burst --name burst_50 --clients 50 --millis 3000
    measure "$server" "$port" sessions --name sessions_1 --clients 1 --millis "$session_millis"
    measure "$server" "$port" sessions --name sessions_8 --clients 8 --millis "$session_millis"
}

measure_ceilings() {
    local pair value
    for pair in sendfile sendfile-4k read-send-4k recv-write-4k client-send; do
        case $pair in
            sendfile | sendfile-4k | read-send-4k) value=$("$ceiling" "$pair" "$root/big0.bin") || value="" ;;
            recv-write-4k) value=$("$ceiling" "$pair" "$work/ceiling.out" $gib) || value="" ;;
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
                -e 's/^Stop returned after: ([0-9.]+) ms.*/ours stop_200_ms \1/p' >>"$results"
        else
            note "$name failed: $(echo "$output" | tail -2)"
        fi
    done
}

note "making files on tmpfs $work"
make_tree
write_vsftpd_conf
write_ours_conf
[ -x "$program" ] || note "our program $program is missing: only vsftpd is measured"

[ -n "${BENCH_ONLY:-}" ] || run_other_benches

for run in $(seq "$runs"); do
    if [ "$run" -gt 1 ] && [ "$SECONDS" -gt "$budget_seconds" ]; then
        note "time budget of $budget_seconds s spent: stopping after $((run - 1)) runs"
        break
    fi
    if [ -z "${BENCH_ONLY:-}" ]; then
        note "run $run of $runs: ceilings"
        measure_ceilings
    fi
    if [ -x "$program" ]; then
        note "run $run of $runs: ours"
        if start_server ours $ours_port env QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$work/xdg" "$program"; then
            measure_server ours $ours_port
            stop_server
        fi
    fi
    note "run $run of $runs: vsftpd"
    if start_server vsftpd $vsftpd_port /usr/sbin/vsftpd "$work/vsftpd.conf"; then
        measure_server vsftpd $vsftpd_port
        stop_server
    fi
done

echo
"$report" "$results"
echo "(MB = 10^6 bytes; every figure is the median of the runs with its min-max and run count; raw figures in $results)"
