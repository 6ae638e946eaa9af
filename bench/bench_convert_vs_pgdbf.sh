#!/usr/bin/env bash
# Compares `tabrix-cli convert` with pgdbf (Debian package) on one generated table:
#
#   bench/bench_convert_vs_pgdbf.sh [RECORDS]        (default 1,000,000)
#
# Both programs read the same FoxPro table with its memo file (bench/gen_bench_table.py),
# convert its text from Windows Latin 1 to UTF-8 and write their script to a file in the same
# folder; deleted records are left out by both. Each runs under /usr/bin/time -v, one after
# the other with the files in the page cache; the wall times and peak memories are printed
# with their ratios. Goal: at least 3x the speed of pgdbf, peak memory under 64 MB.
# The CPU time (user + system) is printed too: on a busy machine it varies less than the wall
# time.
set -euo pipefail
cd "$(dirname "$0")/.."

records=${1:-1000000}
work=${TABRIX_BENCH_DIR:-out/bench}

missing=()
command -v pgdbf >/dev/null || missing+=(pgdbf)
[[ -x /usr/bin/time ]] || missing+=(time)
command -v python3 >/dev/null || missing+=(python3)
if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTABRIX_WERROR=ON >/dev/null
cmake --build build --target tabrix-cli >/dev/null

rm -rf "$work"
mkdir -p "$work/dbf"
echo "Generating a table of $records records with memo ..."
python3 bench/gen_bench_table.py "$work/dbf" "$records"
ls -l "$work/dbf"
cat "$work/dbf"/* >/dev/null

/usr/bin/time -v -o "$work/tabrix.time" build/bin/tabrix-cli convert --no-stored-settings \
    --no-progress --source "$work/dbf" --script "$work/tabrix.sql" --skip-deleted
/usr/bin/time -v -o "$work/pgdbf.time" pgdbf -P -s cp1252 -m "$work/dbf/bench.fpt" \
    "$work/dbf/bench.dbf" >"$work/pgdbf.sql"

# "Elapsed (wall clock) time (h:mm:ss or m:ss): 0:03.21" in seconds; peak memory in kB.
wall() {
    awk -F': ' '/Elapsed \(wall clock\)/ {
        n = split($2, p, ":"); s = 0
        for (i = 1; i <= n; i++) s = s * 60 + p[i]
        print s }' "$1"
}
peak() { awk -F': ' '/Maximum resident set size/ { print $2 }' "$1"; }
cpu() { awk -F': ' '/(User|System) time/ { s += $2 } END { print s }' "$1"; }

tabrix_wall=$(wall "$work/tabrix.time")
pgdbf_wall=$(wall "$work/pgdbf.time")
tabrix_peak=$(peak "$work/tabrix.time")
pgdbf_peak=$(peak "$work/pgdbf.time")
tabrix_cpu=$(cpu "$work/tabrix.time")
pgdbf_cpu=$(cpu "$work/pgdbf.time")

echo
printf '%-8s %10s %10s %12s %14s\n' program "wall (s)" "cpu (s)" "peak (MB)" "output (MB)"
for p in tabrix pgdbf; do
    w=${p}_wall c=${p}_cpu k=${p}_peak
    awk -v name="$p" -v w="${!w}" -v c="${!c}" -v k="${!k}" -v out="$(stat -c %s "$work/$p.sql")" \
        'BEGIN { printf "%-8s %10.2f %10.2f %12.1f %14.1f\n", name, w, c, k / 1024, out / 1048576 }'
done
echo
awk -v tw="$tabrix_wall" -v pw="$pgdbf_wall" -v tp="$tabrix_peak" -v pp="$pgdbf_peak" \
    -v tc="$tabrix_cpu" -v pc="$pgdbf_cpu" 'BEGIN {
    printf "speed:       tabrix is %.2fx the speed of pgdbf (goal: at least 3x)\n", pw / tw
    printf "cpu time:    tabrix needs %.2fx the CPU time of pgdbf\n", tc / pc
    printf "peak memory: tabrix uses %.2fx the memory of pgdbf; %.1f MB (goal: under 64 MB)\n",
           tp / pp, tp / 1024 }'
