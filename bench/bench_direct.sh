#!/usr/bin/env bash
# Loads the generated benchmark table into a server (direct mode), three ways:
#
#   bench/bench_direct.sh [RECORDS] [WAYS]   (default 100,000 records; WAYS default
#                                             "bulk statements single")
#
#   bulk        bulk copy through the driver, committed every 1,000 records (the default)
#   statements  --no-fast-load: INSERT statements of up to 1,000 rows each
#   single      --no-fast-load --batch-size 1: one INSERT statement per record
#
# The table comes from bench/gen_bench_table.py (every 50th record carries the deleted mark
# and is converted too). The server is the test server (scripts/test-server.sh, started and
# stopped here), or a real SQL Server given as TABRIX_MSSQL_HOST, TABRIX_MSSQL_PORT (1433),
# TABRIX_MSSQL_LOGIN (sa) and TABRIX_MSSQL_PASSWORD. Printed: records per second of wall time,
# Tabrix's CPU time (user + system of tabrix-cli) per record, its peak memory, and, for the
# test server, the
# server's own CPU time per record: the test server is a Python program much slower than SQL
# Server, so the wall time says more about it than about Tabrix.
set -euo pipefail
cd "$(dirname "$0")/.."

records=${1:-100000}
ways=${2:-bulk statements single}
work=${TABRIX_BENCH_DIR:-out/bench-direct}
mkdir -p "$work"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTABRIX_WERROR=ON >/dev/null
cmake --build build --target tabrix-cli >/dev/null
if [[ ! -f "$work/$records/bench.dbf" ]]; then
    mkdir -p "$work/$records"
    python3 bench/gen_bench_table.py "$work/$records" "$records"
fi

# shellcheck source=bench/server_env.sh
source bench/server_env.sh "$work"
export TABRIX_PASSWORD=$password

# Clock ticks of user and system time a process has used so far.
cpu_ticks() {
    awk '{ print $14 + $15 }' "/proc/$1/stat"
}

for way in $ways; do
    case $way in
    bulk) options=() ;;
    statements) options=(--no-fast-load) ;;
    single) options=(--no-fast-load --batch-size 1) ;;
    *) echo "unknown way: $way" >&2; exit 64 ;;
    esac
    echo "== $way"
    database="bench_${way}_$(date +%s)"
    before=0
    [[ -n $server_pid ]] && before=$(cpu_ticks "$server_pid")
    /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" \
        build/bin/tabrix-cli convert --no-stored-settings --no-progress -s "$work/$records" \
        -S "$host,$port" -U "$login" -d "$database" -m 0 "${options[@]}" >"$work/summary.txt"
    grep 'records written' "$work/summary.txt"
    read -r wall user system peak <"$work/time.txt"
    awk -v n="$records" -v wall="$wall" -v user="$user" -v sys="$system" -v peak="$peak" 'BEGIN {
        printf "wall time:          %.2f s (%.0f records/s, server included)\n", wall, n / wall
        printf "Tabrix CPU time:    %.2f s (%.2f us per record)\n", user + sys, (user + sys) * 1e6 / n
        printf "Tabrix peak memory: %.1f MB\n", peak / 1024
    }'
    if [[ -n $server_pid ]]; then
        after=$(cpu_ticks "$server_pid")
        awk -v n="$records" -v t=$((after - before)) -v hz="$(getconf CLK_TCK)" 'BEGIN {
            printf "test server CPU:    %.2f s (%.1f us per record)\n", t / hz, t / hz * 1e6 / n
        }'
    fi
done
