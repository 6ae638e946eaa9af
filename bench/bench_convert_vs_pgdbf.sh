#!/usr/bin/env bash
# Compares `tabrix-cli convert` with pgdbf (Debian package) and with a plain copy of the input
# bytes on the generated tables of both layouts:
#
#   bench/bench_convert_vs_pgdbf.sh [RECORDS] [RUNS]     (defaults 1,000,000 and 5)
#
# Each layout (FoxPro .dbf + .fpt, dBASE III .dbf + .dbt; bench/gen_bench_table.py) is read by
# every program from the page cache; the text is converted from Windows Latin 1 to UTF-8 and
# written to a file in the same folder, deleted records left out. Per layout and run, in turn:
#   copy     cat of the table and its memo file into a file: the limit for any converter;
#   pgdbf    pgdbf -P into a file;
#   tabrix   tabrix-cli convert into a script in the default format;
#   fast     tabrix-cli convert into a script that loads fast (--rows-per-insert 1000
#            --rows-per-batch 1000).
# With TABRIX_CLI_BEFORE naming another build of tabrix-cli (an earlier commit), that build is
# measured in the same runs, in the default format ("before"), for a comparison that the load
# of a shared machine disturbs alike.
# Every output file is removed before its run, so that no program pays for freeing the file
# of its previous run (replacing a script of some hundred megabytes costs a run about half a
# second of system time, a cost that depends on how far the kernel has written it out), and
# the disk is synced, so that none pays for writing out another's output. tabrix-cli syncs its
# own script before giving it its name (a full disk shows only then on some file systems); the
# others leave theirs to the kernel, so on a slow disk tabrix's time includes its output's
# way to the disk and theirs does not.
# The medians of the runs are printed with their ratios, the system time and peak memory, and
# the bytes per record and the batches (GO) per 1,000 records of both script formats.
# Goals: tabrix at least 3x the speed of pgdbf and within 1.5x of the copy; peak memory under
# 64 MB.
set -euo pipefail
cd "$(dirname "$0")/.."

records=${1:-1000000}
runs=${2:-5}
work=${TABRIX_BENCH_DIR:-out/bench}
cli=${TABRIX_CLI:-build/bin/tabrix-cli}

missing=()
command -v pgdbf >/dev/null || missing+=(pgdbf)
[[ -x /usr/bin/time ]] || missing+=(time)
command -v python3 >/dev/null || missing+=(python3)
if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q -o DPkg::Lock::Timeout=600 --no-install-recommends "${missing[@]}"
fi

if [[ -z ${TABRIX_CLI:-} ]]; then
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTABRIX_WERROR=ON >/dev/null
    cmake --build build --target tabrix-cli >/dev/null
fi

layouts=(foxpro dbase3)
declare -A memo=([foxpro]=fpt [dbase3]=dbt)
mkdir -p "$work"
for layout in "${layouts[@]}"; do
    dir=$work/$layout
    # The tables are kept between runs of this script: same generator, same count, same bytes.
    if [[ ! -f $dir/bench.dbf || $(cat "$dir/records" 2>/dev/null) != "$records" ]]; then
        rm -rf "$dir"
        mkdir -p "$dir/dbf"
        echo "Generating the $layout table of $records records with memo ..."
        python3 bench/gen_bench_table.py "$dir/dbf" "$records" "$layout"
        mv "$dir/dbf/bench.dbf" "$dir/dbf/bench.${memo[$layout]}" "$dir/"
        rmdir "$dir/dbf"
        echo "$records" >"$dir/records"
    fi
done

# One timed run: wall, user, system (s) and peak memory (kB) appended to $work/NAME.times.
timed() {
    local name=$1 out=$2
    shift 2
    rm -f "$out"
    # Every program starts with nothing of the others' left to write out: the script of a
    # run before would otherwise still be on its way to the disk and slow the next writer.
    sync
    /usr/bin/time -f '%e %U %S %M' -o "$work/last.time" "$@"
    cat "$work/last.time" >>"$work/$name.times"
}

rm -f "$work"/*.times
# A build from before the fast-loading format is measured in the default format only.
# grep reads the whole help: with -q it would stop early and the pipe would fail the test.
fast=
"$cli" convert --help | grep -- --rows-per-insert >/dev/null && fast=1
formats=(tabrix)
[[ -n $fast ]] && formats+=(fast)
for layout in "${layouts[@]}"; do
    dir=$work/$layout
    cat "$dir"/bench.* >/dev/null
    echo "Measuring $layout: $runs runs of each program ..."
    for ((i = 1; i <= runs; i++)); do
        timed "$layout-copy" "$dir/copy.out" \
            sh -c 'cat "$1" "$2" >"$3"' sh "$dir/bench.dbf" "$dir/bench.${memo[$layout]}" \
            "$dir/copy.out"
        timed "$layout-pgdbf" "$dir/pgdbf.sql" \
            sh -c 'pgdbf -P -s cp1252 -m "$1" "$2" >"$3"' sh "$dir/bench.${memo[$layout]}" \
            "$dir/bench.dbf" "$dir/pgdbf.sql"
        timed "$layout-tabrix" "$dir/tabrix.sql" \
            "$cli" convert --no-stored-settings --no-progress --source "$dir/bench.dbf" \
            --script "$dir/tabrix.sql" --skip-deleted --comments --create-table >/dev/null
        [[ -n ${TABRIX_CLI_BEFORE:-} ]] && timed "$layout-before" "$dir/before.sql" \
            "$TABRIX_CLI_BEFORE" convert --no-stored-settings --no-progress \
            --source "$dir/bench.dbf" --script "$dir/before.sql" --skip-deleted --comments \
            --create-table >/dev/null
        [[ -n $fast ]] && timed "$layout-fast" "$dir/fast.sql" \
            "$cli" convert --no-stored-settings --no-progress --source "$dir/bench.dbf" \
            --script "$dir/fast.sql" --skip-deleted --comments --create-table \
            --rows-per-insert 1000 --rows-per-batch 1000 >/dev/null
    done
done

# The median of column COLUMN (1 wall, 2 user, 3 system, 4 peak kB, 5 user + system) of
# NAME's runs.
median() {
    awk '{ print $0, $2 + $3 }' "$work/$1.times" | sort -g -k"$2","$2" | awk -v c="$2" '
        { v[NR] = $c } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

echo
printf 'medians of %d runs, %d records\n' "$runs" "$records"
printf '%-8s %9s %9s %9s %9s %9s %10s %10s %12s %12s %12s\n' layout "input MB" "copy s" \
    "pgdbf s" "tabrix s" "fast s" "vs pgdbf" "vs copy" "cpu tab/pg" "sys tab/pg" "peak tab MB"
for layout in "${layouts[@]}"; do
    dir=$work/$layout
    input=$(cat "$dir/bench.dbf" "$dir/bench.${memo[$layout]}" | wc -c)
    awk -v l="$layout" -v in_mb="$input" -v c="$(median "$layout-copy" 1)" \
        -v p="$(median "$layout-pgdbf" 1)" -v t="$(median "$layout-tabrix" 1)" \
        -v f="$([[ -n $fast ]] && median "$layout-fast" 1 || echo 0)" -v ts="$(median "$layout-tabrix" 3)" \
        -v ps="$(median "$layout-pgdbf" 3)" -v tk="$(median "$layout-tabrix" 4)" \
        -v tc="$(median "$layout-tabrix" 5)" -v pc="$(median "$layout-pgdbf" 5)" 'BEGIN {
        printf "%-8s %9.0f %9.2f %9.2f %9.2f %9.2f %9.2fx %9.2fx %5.2f/%-5.2f %5.2f/%-5.2f %12.1f\n",
               l, in_mb / 1e6, c, p, t, f, p / t, t / c, tc, pc, ts, ps, tk / 1024 }'
done
echo "(vs pgdbf: pgdbf's time / tabrix's, goal at least 3x; vs copy: tabrix's time / the" \
    "copy's, goal at most 1.5x; cpu: user + system seconds, steadier than wall time on a" \
    "busy machine)"

if [[ -n ${TABRIX_CLI_BEFORE:-} ]]; then
    echo
    printf '%-8s %10s %10s %10s %14s %14s\n' layout "before s" "after s" speed-up \
        "before cpu s" "after cpu s"
    for layout in "${layouts[@]}"; do
        awk -v l="$layout" -v b="$(median "$layout-before" 1)" -v a="$(median "$layout-tabrix" 1)" \
            -v bc="$(median "$layout-before" 5)" -v ac="$(median "$layout-tabrix" 5)" 'BEGIN {
            printf "%-8s %10.2f %10.2f %9.2fx %14.2f %14.2f\n", l, b, a, b / a, bc, ac }'
    done
fi

echo
printf '%-8s %-8s %14s %16s %22s\n' layout format "script MB" "bytes/record" "batches/1000 records"
for layout in "${layouts[@]}"; do
    dir=$work/$layout
    rows=$(grep -c "^INSERT INTO" "$dir/tabrix.sql" || true)
    for format in "${formats[@]}"; do
        script=$dir/$format.sql
        size=$(stat -c %s "$script")
        # Batches of the data: the GO lines after the first INSERT.
        batches=$(awk '/^INSERT INTO/ { on = 1 } on && /^GO/ { n++ } END { print n + 0 }' "$script")
        awk -v l="$layout" -v f="$format" -v s="$size" -v r="$rows" -v b="$batches" 'BEGIN {
            printf "%-8s %-8s %14.1f %16.1f %22.1f\n", l, f, s / 1e6, s / r, b * 1000 / r }'
    done
done
