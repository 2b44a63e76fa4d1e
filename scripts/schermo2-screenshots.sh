#!/usr/bin/env bash
# Takes the pictures of the public window in docs/ on a virtual X server whose
# one wide screen is split into two monitors, the public one on the right.
# Usage: scripts/schermo2-screenshots.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
display=:${TQ3_SHOTS_DISPLAY:-57}

cmake --build "$build" --target tst_loschermo2

# -noreset: the monitors set below would vanish when xrandr disconnects.
Xvfb "$display" -screen 0 3840x1080x24 -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb"' EXIT
for _ in $(seq 50); do DISPLAY=$display xrandr >/dev/null 2>&1 && break; sleep 0.1; done

export DISPLAY=$display
xrandr --setmonitor DESK 1920/508x1080/286+0+0 screen >/dev/null
xrandr --setmonitor PUBLIC 1920/508x1080/286+1920+0 none >/dev/null

runtime=$(mktemp -d)
XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=xcb TQ3_SCHERMO2_SHOTS="$PWD/docs" \
    "$build/bin/tst_loschermo2" screenshotsOnTwoMonitors
rm -rf "$runtime"
