#!/usr/bin/env bash
# The many-desks benchmark (bench/bench_desks.cpp) on SQLite and on a private
# PostgreSQL server with its default, durable settings, started for the run and
# stopped after it. Builds a Release first. Prints the Markdown table of
# docs/performance.md.
#   bench-desks.sh [bench_desks options, e.g. --calls 300 --warmup 30]
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh > /dev/null
build=${TQ3_BUILD_DIR:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release > /dev/null
cmake --build "$build" --parallel "$(nproc)" --target bench_desks > /dev/null

conninfo=$(bash scripts/postgres.sh start)
folder=${conninfo#host=}
trap 'bash scripts/postgres.sh stop "${folder%% *}"' EXIT
"$build/bin/bench_desks" --postgres "$conninfo" "$@"
