#!/usr/bin/env bash
# The crowd: our program started with the descriptor limits a desktop session
# gives (soft 1024, the hard limit as it is), 9,000 clients log in and stay
# idle, a fresh client logs in meanwhile, then they all QUIT. Prints "ours
# metric value" lines. Run by bench/run.sh inside its private network, where
# port 21 is free at that moment.
#   bench/crowd.sh PROGRAM XDG_CONFIG_HOME
set -uo pipefail

program=$1
export XDG_CONFIG_HOME=$2
sessions=${BENCH_CROWD_SESSIONS:-9000}
crowd=$(dirname "$0")/../tests/e2e/crowd.py

(ulimit -S -n 1024 && exec env QT_QPA_PLATFORM=offscreen "$program") >/dev/null 2>&1 &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null' EXIT
for _ in $(seq 100); do
    timeout 1 bash -c 'exec 3<>/dev/tcp/127.0.0.1/21' 2>/dev/null && break
    sleep 0.1
done
# Three seconds to settle after the crowd leaves: memory given back at a quiet moment counts.
timeout 600 python3 "$crowd" --pid "$pid" --sessions "$sessions" --settle 3 | awk '
    $1 == "sessions_held" { print "ours crowd_sessions_held", $2 }
    $1 == "idle_session_kib" { print "ours crowd_idle_kib", $2 }
    $1 == "fresh_login_noop_ms" { print "ours crowd_fresh_noop_ms", $2 }
    $1 == "end_ms" { print "ours crowd_quit_ms", $2 }
    $1 == "rss_start_kib" { print "ours crowd_rss_start_mib", $2 / 1024 }
    $1 == "rss_growth_kib" { print "ours crowd_rss_growth_mib", $2 / 1024 }'
