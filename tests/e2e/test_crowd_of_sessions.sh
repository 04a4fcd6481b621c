#!/usr/bin/env bash
# A crowd of logged-in clients against a program started with a small soft
# limit of descriptors and a larger hard one, as desktops start programs: the
# program lifts its own limit and holds every session, a fresh client logs in
# and is answered while they are held, and Stop ends them all and gives back
# their threads and descriptors. The soak run holds 9,000 under the limits of
# a desktop session (soft 1024, hard 20,000).
set -u
. "$(dirname "$0")/e2e_lib.sh"
enter_private_network "$@"
enter_private_display "$@"
PROGRAM=$1

# Two descriptors a session (its connection and its thread's wake-up): far
# more than the soft limit allows.
if [ -n "${TESSEL_SOAK:-}" ]; then
    sessions=9000 soft=1024 hard=20000
else
    sessions=${TESSEL_CROWD_SESSIONS:-300} soft=256 hard=$(ulimit -H -n)
fi
[ "$hard" = unlimited ] || [ "$hard" -ge $((2 * sessions + 64)) ] ||
    fail "the hard limit of descriptors is $(ulimit -H -n); this test needs $((2 * sessions + 64))"
set_descriptor_limits "$soft" "$hard" || fail "cannot set the limits of descriptors"

make_settings 1
start_program "$PROGRAM" xcb
window=$(find_main_window)
[ -n "$window" ] || { cat "$WORK/program.log"; fail "the main window did not appear"; }
wait_until 10 listening_on_21 || fail "AutoStart did not start the server"

stop=$(stop_button_command "$window")

run_client crowd 300 python3 "$(dirname "$0")/crowd.py" --pid "$APP" --sessions "$sessions" --stop-command "$stop" --settle 3
cat "$WORK/crowd.log"
program_alive || fail "the program ended under the crowd"
kill "$WM" 2>/dev/null
echo "PASS"
