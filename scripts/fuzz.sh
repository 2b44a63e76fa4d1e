#!/usr/bin/env bash
# Fuzzes the readers of outside bytes (tests/fuzz) with libFuzzer, under
# AddressSanitizer and UndefinedBehaviorSanitizer, each for a bounded time
# from its seed corpus:
#
#   bash scripts/fuzz.sh [seconds per fuzzer, default 60] [fuzzer ...]
#
# Built with clang in build-fuzz/ (TQ3_FUZZ_BUILD_DIR). The corpus grows in
# build-fuzz/corpus/<fuzzer>/; a crash, hang or failed check is kept in
# build-fuzz/findings/<fuzzer>/ and makes the script fail: make it a row of
# the normal tests, then fix it.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-${TQ3_FUZZ_SECONDS:-60}}
shift $(($# > 0 ? 1 : 0))
fuzzers=("$@")
[ ${#fuzzers[@]} -gt 0 ] || fuzzers=(fuzz_record fuzz_settingsfile fuzz_callfiles fuzz_text1252)
build=${TQ3_FUZZ_BUILD_DIR:-build-fuzz}

bash scripts/install-deps.sh
if ! command -v clang++ >/dev/null || ! dpkg-query -W -f='${Status}' libclang-rt-14-dev 2>/dev/null | grep -q "ok installed"; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "fuzz.sh: clang and libclang-rt-14-dev (libFuzzer) are missing; install them as root" >&2
        exit 1
    fi
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends clang libclang-rt-14-dev
fi

flags="-g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
    -DTQ3_BUILD_FUZZERS=ON -DBUILD_TESTING=OFF -DTQ3_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target "${fuzzers[@]}"

failed=()
summary=()
for name in "${fuzzers[@]}"; do
    seeds=tests/fuzz/corpus/${name#fuzz_}
    corpus=$build/corpus/$name
    findings=$build/findings/$name
    mkdir -p "$corpus" "$findings"
    log=$build/$name.log
    start=$(date +%s)
    status=0
    UBSAN_OPTIONS=print_stacktrace=1 "$build/bin/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "$seeds" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    summary+=("$name: ${runs:-?} runs in $(($(date +%s) - start)) s, corpus $(ls "$corpus" | wc -l) files, exit $status")
    if [ "$status" -ne 0 ] || [ -n "$(ls -A "$findings")" ]; then
        failed+=("$name")
        tail -40 "$log" >&2
    fi
done

printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "findings in: ${failed[*]} (see $build/findings/)" >&2
    exit 1
fi
echo "no findings"
