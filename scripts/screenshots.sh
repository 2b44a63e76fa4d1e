#!/usr/bin/env bash
# Every picture in docs/, taken on virtual X servers: the launcher and the
# folder chooser from the client itself, the other windows from
# tq3-screenshots, which opens them with sample data.
# Usage: scripts/screenshots.sh [build folder]
# To add a window the client shows at start: lay out a desk (an archive
# from tq3-standin create and a settings file), then call shoot_window with the window's exact title
# and the picture's name; shoot_window starts the client in that desk's
# working folder, waits for the window and keeps the picture of that window
# alone. Any other window: add a picture set to tools/screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath "${1:-build}")

cmake --build "$build" --target tq3max-client tq3-standin tq3-screenshots

shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
chmod 700 "$shots"

# shoot_window <working folder> <exact window title> <picture in docs/>
shoot_window() {
    local work=$1 title=$2 picture=$3
    mkdir -p "$shots/tmp-$picture"
    (
        cd "$work"
        XDG_RUNTIME_DIR=$shots TMPDIR=$shots/tmp-$picture QT_QPA_PLATFORM=xcb \
            xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
                "$0" &
                client=$!
                window=$(timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1)
                sleep 1
                [ -n "$window" ] && import -window "$window" "$2"
                kill "$client"
                [ -n "$window" ]' "$build/bin/tq3max-client" "$title" "$root/docs/$picture"
    )
    echo "docs/$picture"
}

# The launcher of a selective desk, with its archive found; a fixed folder,
# so that the picture shows the same path on every run.
archive=/tmp/tq3-screenshots/archivio
rm -rf /tmp/tq3-screenshots
trap 'rm -rf "$shots" /tmp/tq3-screenshots' EXIT
"$build/bin/tq3-standin" create "$archive" --mode 2 --port 4001 > /dev/null
mkdir -p "$shots/desk"
printf '"%s","Sportello 1","127.0.0.1","N"\r\n' "$archive" > "$shots/desk/PercorsiClient.txt"
version=$("$build/bin/tq3max-client" --version | cut -d' ' -f2)
shoot_window "$shots/desk" "TQ3 MAX - Modulo Client versione $version" launcher.png

# The folder chooser, in Italian on a system that speaks English: a desk
# without a settings file is sent to the archive folder window at start, whose
# first button opens the chooser (client coordinates at 96 dpi). A fixed
# working folder, so that the chooser shows the same path on every run.
chooser_desk=/tmp/tq3-screenshots/Postazione
mkdir -p "$chooser_desk/Archivio TQ3" "$shots/tmp-chooser"
touch -d "2026-12-05 09:00" "$chooser_desk/Archivio TQ3"
(
    cd "$chooser_desk"
    LANG=C.UTF-8 LC_ALL=C.UTF-8 LANGUAGE=en XDG_RUNTIME_DIR=$shots TMPDIR=$shots/tmp-chooser QT_QPA_PLATFORM=xcb \
        xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
            "$0" &
            client=$!
            find() { timeout 30 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1; }
            box=$(find TQ3MAX-Messaggio)
            sleep 1
            xdotool windowfocus --sync "$box" key Return
            path=$(find "Imposta Percorso Server 1")
            sleep 1
            xdotool mousemove --window "$path" 132 227 click 1
            chooser=$(find "Selezionare la cartella")
            sleep 1
            [ -n "$chooser" ] && import -window "$chooser" "$1"
            kill "$client"  # closes the chooser and every window as their close boxes would
            wait "$client"
            [ -n "$chooser" ]' "$build/bin/tq3max-client" "$root/docs/cartella-italiano.png"
)
echo "docs/cartella-italiano.png"

# pictures <screen> <set>: one picture set of tq3-screenshots.
pictures() {
    XDG_RUNTIME_DIR=$shots QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 $1x24 -noreset" \
        "$build/bin/tq3-screenshots" "$root/docs" "$2"
}
pictures 1280x1024 msgform
echo "docs/msgform.png"
# Both consoles with their history and their "Servizio" menu (where
# "Richiama" sits) open.
pictures 1280x1024 consoles
echo "docs/console-selettivo.png docs/console-automatico.png"
pictures 1280x1024 settings
echo "docs/impostazioni.png docs/percorso.png docs/servizi.png"
# One screen as wide as two monitors, split by the picture set with xrandr
# once the public window is open (-noreset keeps the monitors set).
pictures 3840x1080 schermo2
echo "docs/schermo2-fuori-servizio.png docs/schermo2-chiamata.png"
