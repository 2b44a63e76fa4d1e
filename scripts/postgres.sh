#!/usr/bin/env bash
# A private PostgreSQL server for one run of the tests, the demo or the
# benchmark: a new temporary folder holds its data and its Unix socket, no TCP
# port is opened, and only this user (and root) can reach the socket. As root
# the server runs as the "postgres" user, since PostgreSQL refuses root.
#   postgres.sh start [--fast]   starts one and prints its connection string,
#                                "host=<folder> user=tq3 dbname=tq3" (an empty
#                                database tq3, any schema to be made in it);
#                                --fast: never waits for the disk (tests only)
#   postgres.sh stop <folder>    stops it and removes the folder
# Exit code 3: PostgreSQL is not installed.
set -euo pipefail

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
as_server() {
    if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

case "${1:-}" in
start)
    [ -n "$bindir" ] && [ -x "$bindir/initdb" ] || { echo "PostgreSQL is not installed (no initdb)" >&2; exit 3; }
    dir=$(mktemp -d /tmp/tq3pg.XXXXXX)
    if [ "$(id -u)" = 0 ]; then chown postgres "$dir"; fi
    options="-k $dir -c listen_addresses='' -c unix_socket_permissions=0700 -c max_connections=200"
    if [ "${2:-}" = --fast ]; then
        options="$options -c fsync=off -c synchronous_commit=off -c full_page_writes=off"
    fi
    if as_server "$bindir/initdb" -D "$dir/data" -A trust -U tq3 -E UTF8 --locale=C -N > "$dir/initdb.log" 2>&1 \
            && as_server "$bindir/pg_ctl" -D "$dir/data" -o "$options" -l "$dir/server.log" -w -t 120 start \
                > /dev/null \
            && as_server "$bindir/psql" -h "$dir" -U tq3 -d postgres -qAt -c 'CREATE DATABASE tq3' > /dev/null; then
        echo "host=$dir user=tq3 dbname=tq3"
        exit 0
    fi
    echo "The PostgreSQL server did not start:" >&2
    cat "$dir/initdb.log" "$dir/server.log" >&2 2> /dev/null || true
    as_server "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop > /dev/null 2>&1 || true
    rm -rf "$dir"
    exit 1
    ;;
stop)
    dir=${2:?folder}
    case "$dir" in /tmp/tq3pg.*) ;; *) echo "not a private server folder: $dir" >&2; exit 2 ;; esac
    as_server "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop > /dev/null || true
    rm -rf "$dir"
    ;;
*)
    echo "usage: $0 start [--fast] | stop <folder>" >&2
    exit 2
    ;;
esac
