#!/usr/bin/env bash
# The long soak: 8 desks (4 selective, 4 automatic) and a kiosk on one archive,
# desks killed at random moments and at chosen points of their calls. Its row,
# with the machine it ran on, replaces the table in docs/reliability.md.
#   TQ3_SOAK_TICKETS (2400), TQ3_SOAK_KILLS (120), TQ3_SOAK_POINT_KILLS (48)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${TQ3_BUILD_DIR:-build-tests}
if [ ! -x "$build/bin/tst_calldesks" ]; then
    bash scripts/install-deps.sh
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTQ3_WERROR=ON
fi
cmake --build "$build" --parallel "$(nproc)" --target tst_calldesks

row=$(mktemp)
trap 'rm -f "$row"' EXIT
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
QT_QPA_PLATFORM=offscreen TQ3_BIN_DIR="$PWD/$build/bin" TQ3_SOAK_TABLE="$row" \
    TQ3_SOAK_TICKETS=${TQ3_SOAK_TICKETS:-2400} TQ3_SOAK_KILLS=${TQ3_SOAK_KILLS:-120} \
    TQ3_SOAK_POINT_KILLS=${TQ3_SOAK_POINT_KILLS:-48} \
    "$build/bin/tst_calldesks" \
    "eightDesksLoseNoCustomer:desks killed at random and at chosen points of their calls while a kiosk draws" \
    && verdict=passed || verdict=FAILED
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

table=$(cat <<TABLE
| desks | calls | random kills | chosen-point kills | duplicates | lost | datagrams | time |
|---|---|---|---|---|---|---|---|
$(cat "$row")

Run of $(date -u +%Y-%m-%d) ($verdict): $(nproc) cores of $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs),
$(free -g | awk '/Mem:/ {print $2}') GB, $(df -T "$(dirname "$(mktemp -u)")" | awk 'NR==2 {print $2}') file system, $(. /etc/os-release && echo "$PRETTY_NAME");
load average $load_before before the run, $load_after after (the machine is shared).
TABLE
)
python3 - "$table" <<'PY'
import re, sys
path = 'docs/reliability.md'
text = open(path, encoding='utf-8').read()
text = re.sub(r'(<!-- soak -->\n).*?(\n<!-- /soak -->)', lambda m: m.group(1) + sys.argv[1] + m.group(2), text, flags=re.S)
open(path, 'w', encoding='utf-8').write(text)
PY
echo "docs/reliability.md: soak $verdict"
[ "$verdict" = passed ]
