#!/usr/bin/env bash
# Takes the picture of the automatic console with its call history and its
# "Servizio" menu (where "Richiama" sits) open, after three calls, on a
# virtual X server: docs/console-automatico.png.
# Usage: scripts/console-automatico-screenshot.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

cmake --build "$build" --target tst_form11

runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
XDG_RUNTIME_DIR=$runtime QT_QPA_PLATFORM=xcb TQ3_FORM11_SHOT="$PWD/docs/console-automatico.png" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/tst_form11" screenshotWithTheHistoryOpen
