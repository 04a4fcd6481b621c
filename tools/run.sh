#!/usr/bin/env bash
# Starts the program; without a display it runs headless.
set -eu
program=$1
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: running headless (QT_QPA_PLATFORM=offscreen); stop it with Ctrl+C."
    export QT_QPA_PLATFORM=offscreen
fi
if [ "$(id -u)" -ne 0 ] && ! getcap "$program" 2>/dev/null | grep -q cap_net_bind_service; then
    echo "Port 21 needs root or CAP_NET_BIND_SERVICE: Start will log that it cannot open the port (see README.md)."
fi
exec "$program"
