#!/usr/bin/env bash
# The public window on a real X server: a virtual screen of 3840 x 1080 split
# into two monitors, the public one on the right. Checks that the window
# follows a public monitor switched on late, then takes the pictures in docs/.
# Usage: scripts/schermo2-screenshots.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
display=:${TQ3_SHOTS_DISPLAY:-57}
export DISPLAY=$display QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$(mktemp -d)
xvfb=

cmake --build "$build" --target tst_loschermo2

start_server() {
    # -noreset: the monitors set with xrandr would vanish when xrandr disconnects.
    Xvfb "$display" -screen 0 3840x1080x24 -noreset >/dev/null 2>&1 &
    xvfb=$!
    for _ in $(seq 50); do xrandr >/dev/null 2>&1 && return; sleep 0.1; done
    echo "Xvfb did not start on $display" >&2
    exit 1
}
stop_server() {
    if [ -n "$xvfb" ]; then kill "$xvfb"; wait "$xvfb" 2>/dev/null || true; xvfb=; fi
}
trap 'stop_server; rm -rf "$XDG_RUNTIME_DIR"' EXIT

start_server
TQ3_SCHERMO2_XRANDR=1 "$build/bin/tst_loschermo2" followsAMonitorSwitchedOnLater
stop_server

start_server
xrandr --setmonitor DESK 1920/508x1080/286+0+0 screen >/dev/null
xrandr --setmonitor PUBLIC 1920/508x1080/286+1920+0 none >/dev/null
TQ3_SCHERMO2_SHOTS="$PWD/docs" "$build/bin/tst_loschermo2" screenshotsOnTwoMonitors
