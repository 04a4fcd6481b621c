#!/usr/bin/env bash
# Clients that vanish mid-session (no FIN, no RST: their packets stop, as when
# a laptop's lid closes) and visitors who fetch one file together. Always: one
# client vanishes in the middle of a download, and meanwhile curl, aria2c with
# four segments and lftp's pget with four fetch the same file, byte for byte,
# with no segment refused. In the soak run it then waits, as long as the
# program's timeouts allow and a little more, for the vanished download's
# session and a vanished idle session to end, and for a client that stopped
# reading to get its 426 on a control connection that stays usable.
set -u
. "$(dirname "$0")/e2e_lib.sh"
enter_private_network "$@"
for tool in nft curl aria2c lftp; do
    command -v "$tool" >/dev/null || fail "$tool is missing (tools/install-deps.sh installs it)"
done
CLIENT=$(cd "$(dirname "$0")" && pwd)/vanishing_client.py

serve_everything "$1"
# Larger than what the sockets between a client and the server hold, so a
# client that stops reading leaves its download under way.
random_file "$HOME_DIR/big.bin" $((64 << 20))

wait_until 5 test -d "/proc/$APP/task" || fail "the program is gone"
sleep 1
threads_before=$(program_threads)

# start_client NAME ARGS...: a vanishing_client.py in the background whose
# output goes to $WORK/NAME.out; waits for its ports and sets PORTS_<NAME>.
start_client() {
    local name=$1
    shift
    python3 "$CLIENT" "$@" >"$WORK/$name.out" 2>&1 &
    eval "PID_$name=$!"
    wait_until 20 grep -q '^ports' "$WORK/$name.out" || { cat "$WORK/$name.out" >&2; fail "$name did not get going"; }
    eval "PORTS_$name=\"$(sed -n 's/^ports //p' "$WORK/$name.out")\""
}

# vanish PORTS...: from now on nothing reaches or leaves those client ports;
# the client is then killed, and its kernel's FIN or RST is dropped as well.
nft add table inet vanish && nft add chain inet vanish input '{ type filter hook input priority 0; }' ||
    fail "cannot set up the packet filter"
vanish() {
    local port
    for port in "$@"; do
        nft add rule inet vanish input tcp sport "$port" drop &&
            nft add rule inet vanish input tcp dport "$port" drop || fail "cannot cut off port $port"
    done
}

start_client download download big.bin
vanish $PORTS_download
kill -9 "$PID_download" && wait "$PID_download" 2>/dev/null

cd "$WORK" || fail "no work folder"
run_client curl 60 curl -sS --fail -o curl.bin ftp://127.0.0.1/big.bin
same_file "$HOME_DIR/big.bin" curl.bin
run_client aria2c 120 aria2c -x4 -s4 --min-split-size=1M --max-tries=1 --retry-wait=0 \
    --console-log-level=notice --summary-interval=0 -d "$WORK" -o aria2c.bin ftp://127.0.0.1/big.bin
grep -q 'Download aborted' "$WORK/aria2c.log" && { cat "$WORK/aria2c.log" >&2; fail "aria2c had a segment refused"; }
same_file "$HOME_DIR/big.bin" aria2c.bin
run_client lftp 120 lftp -c "set net:max-retries 1; open ftp://127.0.0.1; pget -n 4 big.bin -o $WORK/lftp.bin"
same_file "$HOME_DIR/big.bin" lftp.bin
echo "three visitors fetched big.bin while a vanished client held it"

if [ -z "${TESSEL_SOAK:-}" ]; then
    echo "PASS (the wait for the vanished sessions runs in make soak)"
    exit 0
fi

start_client idle idle
vanish $PORTS_idle
kill -9 "$PID_idle" && wait "$PID_idle" 2>/dev/null
start_client stall stall big.bin
started=$SECONDS

# held PORTS...: the server still holds an open connection to one of them.
held() {
    local port
    for port in "$@"; do
        [ -n "$(ss -Htn state established "( dport = :$port )")" ] && return 0
    done
    return 1
}
vanished_let_go() {
    ! held $PORTS_download $PORTS_idle
}
# The program lets a silent control connection go after three minutes and a
# stalled data connection after five; eight is the most a user should wait.
limit=480
if ! wait_until $limit vanished_let_go; then
    ss -tno state established >&2
    fail "a vanished client's connection was still held after $limit s (ports $PORTS_download $PORTS_idle)"
fi
echo "vanished sessions let go after $((SECONDS - started)) s"
# Each session had a thread; only the client that stopped reading keeps one.
wait_until 30 test "$(program_threads)" -le $((threads_before + 1)) ||
    fail "$(program_threads) threads, expected at most $((threads_before + 1))"

wait_until $((limit - (SECONDS - started) + 10)) grep -q '^alive' "$WORK/stall.out" ||
    { cat "$WORK/stall.out" >&2; fail "the client that stopped reading got no final reply in time"; }
grep -q '^final .* 426 ' "$WORK/stall.out" || { cat "$WORK/stall.out" >&2; fail "the stalled download did not end with 426"; }
sed -n 's/^final/stalled download ended after/p' "$WORK/stall.out"
wait "$PID_stall" || fail "the stalled client failed"
program_alive || fail "the program ended"
echo "PASS"
