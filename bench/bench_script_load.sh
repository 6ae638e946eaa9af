#!/usr/bin/env bash
# Runs both script formats of the generated benchmark table on a server and checks that they
# leave the same table:
#
#   bench/bench_script_load.sh [RECORDS] [LAYOUT]     (defaults 100,000 and foxpro)
#
#   default  one INSERT statement and one batch (GO) per record
#   fast     --rows-per-insert 1000 --rows-per-batch 1000
#
# Each script creates its own database (mode 0 with CREATE DATABASE, named after the script)
# and is run by tsql, as a user would run it. The server is the test server
# (scripts/test-server.sh, started and stopped here), or a real SQL Server given as
# TABRIX_MSSQL_HOST, TABRIX_MSSQL_PORT (1433), TABRIX_MSSQL_LOGIN (sa) and
# TABRIX_MSSQL_PASSWORD. Printed per format: the script's size, bytes per record, batches per
# 1,000 records, the wall time tsql took and the server's error lines; then whether the two
# tables, read back through ODBC in the order of their ID column, are the same.
set -euo pipefail
cd "$(dirname "$0")/.."

records=${1:-100000}
layout=${2:-foxpro}
work=${TABRIX_BENCH_DIR:-out/bench-script-load}/$layout-$records
cli=${TABRIX_CLI:-build/bin/tabrix-cli}
query=build/bin/odbc_query

command -v tsql >/dev/null || { echo "tsql (freetds-bin) runs the scripts: not installed" >&2; exit 1; }
if [[ -z ${TABRIX_CLI:-} ]]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTABRIX_WERROR=ON >/dev/null
    cmake --build build --target tabrix-cli odbc_query >/dev/null
fi

mkdir -p "$work"
if [[ ! -f $work/bench.dbf ]]; then
    echo "Generating the $layout table of $records records with memo ..."
    python3 bench/gen_bench_table.py "$work" "$records" "$layout"
fi

# shellcheck source=bench/server_env.sh
source bench/server_env.sh "$work"

declare -A options=([default]="" [fast]="--rows-per-insert 1000 --rows-per-batch 1000")
for format in default fast; do
    # The database is named after the script.
    database="bench_${format}_$(date +%s)"
    script=$work/$database.sql
    # shellcheck disable=SC2086
    "$cli" convert --no-stored-settings --no-progress --source "$work/bench.dbf" --script "$script" \
        -m 0 --create-database --create-table --no-comments ${options[$format]} >/dev/null
    bytes=$(stat -c %s "$script")
    batches=$(grep -c -i -x -E '[[:space:]]*go[[:space:]]*' "$script" || true)
    start=$(date +%s.%N)
    (cat "$script"; printf '\nexit\n') |
        LANG=C.UTF-8 tsql -H "$host" -p "$port" -U "$login" -P "$password" -o q \
            >"$work/$format.out" 2>&1
    end=$(date +%s.%N)
    echo "== $format"
    awk -v n="$records" -v bytes="$bytes" -v go="$batches" -v t="$(echo "$end - $start" | bc)" \
        'BEGIN {
        printf "script:             %.1f MB, %.0f bytes per record, %.1f batches per 1,000 records\n",
               bytes / 1e6, bytes / n, go * 1000 / n
        printf "run by tsql:        %.1f s (%.0f records/s)\n", t, n / t
    }'
    errors=$(grep -c '^Msg ' "$work/$format.out" || true)
    echo "server errors:      $errors"
    ((errors == 0)) || grep -m 5 -A1 '^Msg ' "$work/$format.out"
    "$query" "DRIVER=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so;SERVER=$host;PORT=$port;UID=$login;PWD={$password};DATABASE=$database;TDS_Version=7.4;ClientCharset=UTF-8" \
        "SELECT * FROM [bench] ORDER BY [ID]" >"$work/$format.rows"
    echo "rows read back:     $(grep -c '^ROW' "$work/$format.rows" || true)"
done

if cmp -s "$work/default.rows" "$work/fast.rows"; then
    echo "tables: the same"
else
    echo "tables: DIFFERENT (see $work/default.rows and $work/fast.rows)"
    exit 1
fi
