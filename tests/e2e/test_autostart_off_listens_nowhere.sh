#!/usr/bin/env bash
# With AutoStart 0 the window opens and nothing listens on port 21: a client
# is refused.
set -u
. "$(dirname "$0")/e2e_lib.sh"
enter_private_network "$@"
PROGRAM=$1

make_settings 0
start_program "$PROGRAM"
# Give the window time to come up and to post a start if it wrongly would.
if wait_until 3 listening_on_21; then
    fail "something listens on port 21 with AutoStart 0"
fi
program_alive || { cat "$WORK/program.log"; fail "the program did not stay up"; }

timeout 10 python3 - <<'PY' || fail "a connection to port 21 was not refused"
import socket, sys
try:
    socket.create_connection(("127.0.0.1", 21), timeout=3).close()
except ConnectionRefusedError:
    sys.exit(0)
sys.exit(1)
PY
echo "PASS"
