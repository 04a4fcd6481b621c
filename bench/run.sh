#!/usr/bin/env bash
# Runs every benchmark program of the build, one after the other, headless.
set -eu
build=${1:-build}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
status=0
for program in "$build"/bench/bench_*; do
    [ -f "$program" ] && [ -x "$program" ] || continue
    echo "== $(basename "$program")"
    timeout 300 "$program" || { echo "$(basename "$program") failed" >&2; status=1; }
done
exit $status
