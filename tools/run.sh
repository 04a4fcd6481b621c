#!/usr/bin/env bash
# Starts the program; without a display it runs headless.
set -eu
program=$1
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display found: running headless (QT_QPA_PLATFORM=offscreen); stop it with Ctrl+C."
    export QT_QPA_PLATFORM=offscreen
fi
exec "$program"
