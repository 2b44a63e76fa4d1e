#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer (the
# `sanitize` preset) and runs every test on that build, headless; any report
# fails the test that caused it. Leaks inside system libraries, not the
# client's, are suppressed in tests/lsan.supp, each with its reason.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

build=${TQ3_SANITIZE_BUILD_DIR:-build-sanitize}
cmake --preset sanitize -B "$build"
cmake --build "$build" --parallel "$(nproc)"
# The PostgreSQL rows run here too: the server must start, not be skipped.
export TQ3_REQUIRE_POSTGRES=1
ctest --preset sanitize --test-dir "$build"
