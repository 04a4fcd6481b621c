#!/usr/bin/env bash
# tools/test-windows.sh BUILD: the Windows build's tests under Wine, in a
# private network namespace (port 21 is free there and nothing outside can
# reach it) with a private X display. The prefix's Wine server is started
# inside the namespace: Wine's sockets belong to it, so one started outside
# would listen outside. One fresh prefix serves the whole run.
set -euo pipefail
build=$(realpath "$1")
shift
root=$(cd "$(dirname "$0")/.." && pwd)

if [ "${TESSEL_WINE_RUNNER:-}" != 1 ]; then
    exec unshare -n env TESSEL_WINE_RUNNER=1 bash "$0" "$build" "$@"
fi
ip link set lo up

work=$(mktemp -d /tmp/tessel-wine.XXXXXX)
# Wine's server holds a descriptor for every socket and thread of the
# program; a crowd of sessions needs more than the usual soft limit.
ulimit -S -n "$(ulimit -H -n)"

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { cat "$work/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -1 "$work/display")"

finish() {
    wineserver -k 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap finish EXIT

"$root/tools/wine-prefix.sh" "$work/prefix"
# shellcheck source=tools/wine-env.sh
source "$root/tools/wine-env.sh" "$work/prefix"
# The server stays up between the tests' programs instead of starting again
# for each of them.
wineserver -p
# The prefix's services start with the first program and outlive it. Started
# now, they hold no descriptor of ctest's: a test program that started them
# would hand them its output pipe, and ctest would wait for its end until the
# test's timeout.
wine cmd /c exit >/dev/null 2>&1 </dev/null

export TESSEL_SCREENSHOTS="$build/screenshots"
export TESSEL_CROWD_SESSIONS=500
ctest --test-dir "$build" --output-on-failure "$@"
