#!/usr/bin/env bash
# Builds the platform layer's tests for Windows with Debian's MinGW-w64 cross
# compiler and runs them under Wine, headless. Installs what it needs when
# missing (as root). Ends with "N passed, M failed".
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++-mingw-w64-x86-64 wine64 doctest-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ] || ! command -v apt-get > /dev/null; then
        echo "Windows tests skipped: ${missing[*]} missing, and only root can install them with apt-get."
        echo "0 passed, 0 failed"
        exit 0
    fi
    echo "Installing: ${missing[*]}"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

build=${TQ3_WINE_BUILD_DIR:-build-wine}
cmake -S tests/platform -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    --toolchain "$PWD/cmake/mingw-w64-x86_64.cmake"
if ! cmake --build "$build" --parallel "$(nproc)"; then
    echo "The Windows build of the platform tests failed."
    echo "0 passed, 1 failed"
    exit 1
fi

# A Wine of its own in a temporary folder: no window, no debug output, no
# offer to install Mono or Gecko.
prefix=$(mktemp -d)
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
    "$wineserver" -k 2> /dev/null || true
    rm -rf "$prefix"
}
trap cleanup EXIT

started=$SECONDS
"$wine" wineboot --init > /dev/null 2>&1
echo "Wine ready in $((SECONDS - started)) s"

log="$build/tst_platform.log"
status=0
"$wine" "$build/tst_platform.exe" 2>&1 | tee "$log" || status=$?
summary=$(grep -E '^\[doctest\] test cases:' "$log" | tail -n 1 || true)
passed=$(sed -nE 's/.*\| *([0-9]+) passed.*/\1/p' <<< "$summary")
failed=$(sed -nE 's/.*\| *([0-9]+) failed.*/\1/p' <<< "$summary")
if [ -z "$passed" ] || { [ "$status" -ne 0 ] && [ "${failed:-0}" -eq 0 ]; }; then
    echo "tst_platform.exe ended without its summary (exit status $status)"
    passed=${passed:-0}
    failed=$(( ${failed:-0} + 1 ))
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
