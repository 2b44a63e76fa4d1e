#!/usr/bin/env bash
# Takes the pictures of the three settings windows in docs/ on a virtual X
# server, with sample settings and a sample archive (the settings windows'
# test, whose pictures() runs only when TQ3_SETTINGS_SHOTS names a folder).
# Usage: scripts/settings-screenshots.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

cmake --build "$build" --target tst_settings

runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=xcb TQ3_SETTINGS_SHOTS="$PWD/docs" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/tst_settings" pictures
