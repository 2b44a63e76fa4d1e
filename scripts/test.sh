#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test, headless.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${TQ3_BUILD_DIR:-build-tests}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTQ3_WERROR=ON
cmake --build "$build" --parallel "$(nproc)"

export QT_QPA_PLATFORM=offscreen
# The tests on PostgreSQL start a private server; here it must start (the
# packages are installed above), not be skipped.
export TQ3_REQUIRE_POSTGRES=1
ctest --test-dir "$build" --output-on-failure --timeout 900

# The platform layer again, built for Windows and run under Wine.
bash scripts/windows-tests.sh
