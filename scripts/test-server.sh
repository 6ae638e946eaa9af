#!/usr/bin/env bash
# Starts, stops and reads the SQL Server stand-in that the direct-mode tests use (TDS 7.4 on a
# free port of 127.0.0.1; tests/sqlserver/tds_server.py).
#
#   scripts/test-server.sh start [--banner 2019|2022|2017|2008R2|azure]
#       prints one line: PORT=... LOGIN=sa PASSWORD=... PID=... once the server accepts connections
#   scripts/test-server.sh stop
#   scripts/test-server.sh dump DATABASE TABLE      the table's rows as JSON lines, from the store
#   scripts/test-server.sh fault '{"fail_statement": {"n": 2}}' | fault clear
#   scripts/test-server.sh log                      the statement log (JSON lines)
#
# The server keeps its databases, log and fault file in $TABRIX_TEST_SERVER_DIR (by default
# /tmp/tabrix-test-server-$UID); give each concurrent test run its own.
set -euo pipefail

here="$(cd "$(dirname "$0")/.." && pwd)"
server="$here/tests/sqlserver/tds_server.py"
dir="${TABRIX_TEST_SERVER_DIR:-/tmp/tabrix-test-server-$(id -u)}"

usage() {
    sed -n '5,11s/^# \{0,1\}//p' "$0" >&2
    exit 64
}

# server.json is one line: {"port": N, "pid": N, "password": "..."}
json_number() {
    sed -n "s/.*\"$1\": \([0-9]*\).*/\1/p" "$dir/server.json"
}

running_pid() {
    [[ -f "$dir/server.json" ]] || return 1
    local pid
    pid="$(json_number pid)"
    kill -0 "$pid" 2>/dev/null || return 1
    echo "$pid"
}

start() {
    local banner=2019
    while (($#)); do
        case "$1" in
            --banner) banner="${2:?--banner needs a value}"; shift 2 ;;
            --banner=*) banner="${1#--banner=}"; shift ;;
            *) usage ;;
        esac
    done
    local pid
    if pid="$(running_pid)"; then
        echo "test-server: a server already runs from $dir (PID $pid); stop it first" >&2
        exit 1
    fi
    mkdir -p "$dir"
    rm -f "$dir/server.json"
    local password
    password="Tbx-$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')"
    setsid python3 -S "$server" serve --state-dir "$dir" --banner "$banner" --password "$password" \
        >"$dir/server.log" 2>&1 </dev/null &
    pid=$!
    # The server writes server.json once it listens; python starts in a few tens of milliseconds.
    for _ in $(seq 1 500); do
        if [[ -f "$dir/server.json" ]]; then
            echo "PORT=$(json_number port) LOGIN=sa PASSWORD=$password PID=$pid"
            return 0
        fi
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "test-server: the server did not start:" >&2
            cat "$dir/server.log" >&2
            exit 1
        fi
        sleep 0.01
    done
    kill "$pid" 2>/dev/null || true
    echo "test-server: the server did not listen within 5 seconds" >&2
    exit 1
}

stop() {
    local pid
    if ! pid="$(running_pid)"; then
        echo "test-server: no server runs from $dir" >&2
        rm -f "$dir/server.json"
        return 0
    fi
    kill "$pid"
    for _ in $(seq 1 200); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.01
    done
    kill -0 "$pid" 2>/dev/null && kill -9 "$pid"
    rm -f "$dir/server.json"
}

case "${1:-}" in
    start) shift; start "$@" ;;
    stop) stop ;;
    dump)
        (($# == 3)) || usage
        exec python3 "$server" dump --state-dir "$dir" "$2" "$3" ;;
    fault)
        (($# == 2)) || usage
        if [[ "$2" == clear ]]; then
            rm -f "$dir/faults.json"
        else
            python3 -c 'import json,sys; json.loads(sys.argv[1])' "$2"
            printf '%s\n' "$2" >"$dir/faults.json.tmp"
            mv "$dir/faults.json.tmp" "$dir/faults.json"
        fi ;;
    log) cat "$dir/statements.jsonl" 2>/dev/null || true ;;
    *) usage ;;
esac
