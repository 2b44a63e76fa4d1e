#!/usr/bin/env bash
# The desk client as an office installs it. Builds the Debian packages with
# CPack, checks them (lintian, desktop-file-validate, appstreamcli), installs
# them on this machine with apt-get, starts the client through its desktop
# entry on a virtual X server as a user who never ran it, sees the launcher,
# finds the settings file and the log in that user's working folder, and
# removes the packages again, which leaves that folder alone.
# Runs as root (as CI does); refuses to run where the packages are installed.
# Usage: scripts/package-test.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

for p in tq3max-client tq3-standin; do
    if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        echo "$p is installed on this machine: not touching it"; exit 1
    fi
done
[ ! -e /etc/tq3max-client ] || { echo "/etc/tq3max-client exists on this machine: not touching it"; exit 1; }

build=$PWD/build-release
cmake --preset release >/dev/null
cmake --build --preset release
(cd "$build" && cpack -G DEB >/dev/null)
version=$("$build/bin/tq3max-client" --version | cut -d' ' -f2)
arch=$(dpkg --print-architecture)
client_deb=$build/tq3max-client_${version}_${arch}.deb
standin_deb=$build/tq3-standin_${version}_${arch}.deb
app=it.tq3max.ModuloClient

tmp=$(mktemp -d)
xvfb_pid=
installed=
cleanup() {
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    if [ -n "$installed" ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y tq3max-client tq3-standin >>"$tmp/apt.log" 2>&1 || true
    fi
    rm -rf /etc/tq3max-client "$tmp"
}
trap cleanup EXIT

passed=0
failed=0
output=
# check <what> <command...>: runs the command, tells ok or FAILED with its output.
check() {
    local what=$1; shift
    output=$tmp/check-$((passed + failed)).log
    if "$@" >"$output" 2>&1; then
        echo "ok: $what"; passed=$((passed + 1))
    else
        echo "FAILED: $what"; failed=$((failed + 1))
        tail -n 40 "$output"
    fi
}

check "lintian finds no error in the packages" lintian --fail-on error "$client_deb" "$standin_deb"
sed 's/^/    /' "$output"

export DEBIAN_FRONTEND=noninteractive
apt-get update >"$tmp/apt.log" 2>&1 || true
installed=yes
check "apt-get installs both packages" apt-get install -y "$client_deb" "$standin_deb"
check "the desktop entry is valid" desktop-file-validate "/usr/share/applications/$app.desktop"
check "the AppStream metainfo is valid" appstreamcli validate --no-net "/usr/share/metainfo/$app.metainfo.xml"
check "the installed client tells its version" \
    bash -c "[ \"\$(tq3max-client --version)\" = 'tq3max-client $version' ]"

# An archive folder served by nobody, and the office's prepared settings file,
# which the launcher copies into a working folder that has none.
tq3-standin create "$tmp/archive" --port 4999 >/dev/null
mkdir -p /etc/tq3max-client
printf '"%s","Sportello 1","127.0.0.1","N"\r\n' "$tmp/archive" >/etc/tq3max-client/PercorsiClient.txt

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 1 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$tmp/display")

# A user who never ran the client: a home of its own, no working folder yet.
home=$tmp/home
workdir=$home/.local/share/tq3max-client
mkdir -p "$home" "$tmp/run" "$tmp/tmp"
chmod 700 "$tmp/run"
(cd / && env -u XDG_DATA_HOME -u TQ3MAX_WORKDIR HOME="$home" XDG_RUNTIME_DIR="$tmp/run" TMPDIR="$tmp/tmp" \
    gio launch "/usr/share/applications/$app.desktop" >"$tmp/client.log" 2>&1)
window=$(timeout 30 xdotool search --sync --onlyvisible --name "^TQ3 MAX - Modulo Client versione $version\$" \
         2>/dev/null | head -n 1) || true
check "the launcher window appears" test -n "$window"
pid=$( [ -z "$window" ] || xdotool getwindowpid "$window")
check "the client runs in the per-user working folder" \
    bash -c "[ \"\$(readlink /proc/$pid/cwd)\" = '$workdir' ]"
check "the settings file is in the working folder" test -s "$workdir/PercorsiClient.txt"
check "the log file in the working folder tells the start" \
    grep -q "tq3.app: tq3max-client $version started in $workdir" "$workdir/tq3max-client.log"
check "nothing was written beside the program" \
    bash -c "[ \"\$(ls /usr/libexec/tq3max-client)\" = tq3max-client ]"
if [ -n "$pid" ]; then
    kill "$pid"
    for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
fi

check "apt-get removes both packages" apt-get purge -y tq3max-client tq3-standin
installed=
check "the working folder is left alone" test -s "$workdir/PercorsiClient.txt"

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
