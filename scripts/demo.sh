#!/usr/bin/env bash
# The main job: builds Tabrix, writes a folder of sample DBF tables with the program's own DBF
# writer, converts the folder into one T-SQL script and shows where the script is and what it
# holds. No server is needed. Safe to run again; everything lands in out/demo.
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
