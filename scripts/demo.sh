#!/usr/bin/env bash
# The main job: builds Tabrix, writes a folder of sample DBF tables with the program's own DBF
# writer, converts the folder into one T-SQL script and shows where the script is and what it
# holds, then loads the same folder into the repository's SQL Server test server (started here
# on 127.0.0.1 and stopped at the end). Safe to run again; everything lands in out/demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh tabrix-cli

cli=build/bin/tabrix-cli
demo=out/demo
rm -rf "$demo"
mkdir -p "$demo"

echo
echo "== 1. Sample DBF tables (memo fields, two code pages, dates, decimals, a deleted record)"
"$cli" sample "$demo/dbf"

echo
echo "== 2. What the folder holds (tabrix-cli inspect)"
"$cli" inspect "$demo/dbf" --table customers --limit 6

echo
echo "== 3. Converting the folder into a T-SQL script (tabrix-cli convert)"
"$cli" convert --no-stored-settings --source "$demo/dbf" --script "$demo/sample.sql" \
    --skip-deleted --no-progress --save-profile "$demo/sample.tbx"

script=$(realpath "$demo/sample.sql")
echo
echo "== 4. The script: $script"
echo "   $(wc -c <"$script") bytes, $(grep -c '^INSERT INTO' "$script") INSERT statements;" \
     "run it with: sqlcmd -f 65001 -x -i $script"
echo "   The settings of this run are saved in $(realpath "$demo/sample.tbx");" \
     "run it again with: $cli convert $demo/sample.tbx"
echo "---------------------------------------------------------------------------------------"
cat "$script"

echo "---------------------------------------------------------------------------------------"
echo
echo "== 5. The same folder straight into a server (tabrix-cli convert --direct), here the"
echo "      repository's own SQL Server test server on 127.0.0.1"
eval "$(scripts/test-server.sh start)"
trap 'scripts/test-server.sh stop >/dev/null' EXIT
TABRIX_PASSWORD=$PASSWORD "$cli" convert --no-stored-settings --no-progress --direct \
    --source "$demo/dbf" -S "127.0.0.1,$PORT" -U "$LOGIN" -d Sales --skip-deleted
echo
echo "   The rows of customers as the server holds them (scripts/test-server.sh dump Sales customers):"
scripts/test-server.sh dump Sales customers
