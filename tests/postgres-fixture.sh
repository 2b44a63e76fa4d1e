#!/usr/bin/env bash
# CTest's fixture for the tests that run on PostgreSQL: one private server for
# the run. The file holds its connection string, or "unavailable: <why>", and
# the tests then end as skipped. TQ3_REQUIRE_POSTGRES=1 (the test command)
# makes a server that cannot start a failure instead.
#   postgres-fixture.sh start|stop <file>
set -uo pipefail
scripts=$(dirname "$0")/../scripts
file=$2

if [ "$1" = stop ]; then
    server=$(cat "$file" 2> /dev/null) || exit 0
    rm -f "$file"
    case "$server" in host=*) server=${server#host=}; bash "$scripts/postgres.sh" stop "${server%% *}" ;; esac
    exit 0
fi

server=$(bash "$scripts/postgres.sh" start --fast)
code=$?
if [ $code = 0 ]; then
    echo "$server" > "$file"
    echo "PostgreSQL for this run: $server"
    exit 0
fi
echo "unavailable: the server could not be started (postgres.sh exit code $code)" > "$file"
cat "$file"
[ "${TQ3_REQUIRE_POSTGRES:-0}" = 1 ] && exit 1
[ $code = 3 ] || exit 1
exit 0
