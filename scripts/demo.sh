#!/usr/bin/env bash
# The demo: builds the desk client, makes a demo archive served by the stand-in
# server module, draws a few kiosk tickets and starts the client in a working
# folder of its own.
#   With a display: the client runs until you close it.
#   Without one: it runs under Xvfb, a screenshot goes to demo-run/screenshot.png
#   and everything stops after TQ3_DEMO_SECONDS (default 10).
# TQ3_DEMO_MODE=1 gives an automatic desk, 2 (default) a selective one;
# TQ3_DEMO_PORT sets the server module's UDP port (default 4001).
# TQ3_DEMO_DB=postgres puts the queue database on a private PostgreSQL server
# started for the demo (and stopped with it) instead of the file TQ3MAX.mdb.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh

build=$root/build-demo
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DTQ3_BUILD_BENCH=OFF
cmake --build "$build" --parallel "$(nproc)" --target tq3max-client tq3-standin
bin=$build/bin

mode=${TQ3_DEMO_MODE:-2}
port=${TQ3_DEMO_PORT:-4001}
seconds=${TQ3_DEMO_SECONDS:-10}
database=${TQ3_DEMO_DB:-sqlite}
run=$root/demo-run
archive=$run/archive
desk=$run/desk
rm -rf "$run"
mkdir -p "$desk"

postgres_dir=
stop_postgres() {
    [ -n "$postgres_dir" ] && bash "$root/scripts/postgres.sh" stop "$postgres_dir" || true
    postgres_dir=
}
trap stop_postgres EXIT
create_options=()
if [ "$database" = postgres ]; then
    conninfo=$(bash scripts/postgres.sh start)
    postgres_dir=${conninfo#host=}
    postgres_dir=${postgres_dir%% *}
    create_options=(--postgres "$conninfo")
    echo "Queue database on the private PostgreSQL server: $conninfo"
fi
"$bin/tq3-standin" create "$archive" --mode "$mode" --port "$port" "${create_options[@]}"
# Archive folder, desk name, server address, no second screen; one line of
# quoted fields ending in CR LF. 127.0.0.1 is never this PC's own IpLocale.
printf '"%s","Sportello 1","127.0.0.1","N"\r\n' "$archive" > "$desk/PercorsiClient.txt"

standin_pid=
xvfb_pid=
client_pid=
stop_all() {
    [ -n "$client_pid" ] && kill "$client_pid" 2>/dev/null || true
    [ -n "$client_pid" ] && wait "$client_pid" 2>/dev/null || true
    # SIGTERM lets the stand-in write "False" into UConnDP.txt before leaving.
    [ -n "$standin_pid" ] && kill "$standin_pid" 2>/dev/null || true
    [ -n "$standin_pid" ] && wait "$standin_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && wait "$xvfb_pid" 2>/dev/null || true
    client_pid= standin_pid= xvfb_pid=
    stop_postgres
}
trap stop_all EXIT

"$bin/tq3-standin" serve "$archive" > "$run/standin.log" 2>&1 &
standin_pid=$!
for _ in $(seq 1 100); do
    grep -q True "$archive/UConnDP.txt" 2>/dev/null && break
    sleep 0.1
done
grep -q True "$archive/UConnDP.txt" || { echo "the stand-in server did not start:"; cat "$run/standin.log"; exit 1; }

# Customers draw tickets at the kiosk: Anagrafe, Ufficio Tributi, Attività Produttive.
"$bin/tq3-standin" draw "$archive" 1 3
"$bin/tq3-standin" draw "$archive" 2 2
"$bin/tq3-standin" draw "$archive" 6 2

cd "$desk"
if [ -n "${DISPLAY:-}" ]; then
    echo "Starting the client; the stand-in's log of calls is $run/standin.log"
    "$bin/tq3max-client" &
    client_pid=$!
    wait "$client_pid" || true
    client_pid=
    echo "Calls received by the stand-in server:"
    cat "$run/standin.log"
    exit 0
fi

display=
for n in $(seq 99 199); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=:$n; break; fi
done
[ -n "$display" ] || { echo "no free X display number"; exit 1; }
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp > "$run/xvfb.log" 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X${display#:}" ] && break
    sleep 0.1
done

"$bin/tq3max-client" > "$run/client.log" 2>&1 &
client_pid=$!
version=$("$bin/tq3max-client" --version | cut -d' ' -f2)
title="TQ3 MAX - Modulo Client versione $version"
if window=$(timeout 30 xdotool search --sync --onlyvisible --name "^${title}\$" 2>/dev/null | head -n 1) \
        && [ -n "$window" ]; then
    sleep 2
    import -window root "$run/screenshot.png"
    echo "Screenshot of the launcher: $run/screenshot.png"
else
    echo "The client window did not appear; its output:"
    cat "$run/client.log"
    exit 1
fi

# Then, as an operator would: "Ok" opens the console, "Avanti" calls the first
# number (client coordinates of the buttons: twips / 15 at 96 dpi).
if [ "$mode" = 2 ]; then
    console_title="^TQ3MAX - ${version//./\\.} - Modulo Client Selettivo\$"; avanti_x=277; avanti_y=44
else
    console_title="^${version//./\\.} Client \$"; avanti_x=36; avanti_y=28
fi
xdotool mousemove --window "$window" 348 370 click 1 || true
if console=$(timeout 15 xdotool search --sync --onlyvisible --name "$console_title" 2>/dev/null | head -n 1) \
        && [ -n "$console" ]; then
    sleep 1
    xdotool mousemove --window "$console" "$avanti_x" "$avanti_y" click 1 || true
    sleep 2
    import -window root "$run/screenshot-console.png"
    echo "Screenshot of the console after one call: $run/screenshot-console.png"
fi

sleep "$seconds"
stop_all
echo "Demo finished. The stand-in server's log:"
cat "$run/standin.log"
