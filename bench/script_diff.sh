#!/usr/bin/env bash
# Converts every folder of DBF tables under the shared fixtures, and the generated sample, with
# two builds of tabrix-cli and compares the scripts byte for byte. Used to show that a change
# meant to leave the output alone did so.
#
#   bench/script_diff.sh OLD_TABRIX_CLI NEW_TABRIX_CLI [FIXTURES_DIR]
#
# Prints one line per folder (same / DIFFERENT) and exits 1 when any script differs or one
# binary fails where the other does not.
set -uo pipefail
old=$(realpath "$1")
new=$(realpath "$2")
fixtures=${3:-$(dirname "$0")/../../shared/fixtures}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$new" sample "$work/sample" >/dev/null
folders=("$work/sample")
if [[ -d $fixtures ]]; then
    while IFS= read -r dir; do folders+=("$dir"); done < <(
        find "$fixtures" -type f -iname '*.dbf' -printf '%h\n' | sort -u)
else
    echo "fixtures not found at $fixtures: comparing the sample only" >&2
fi

status=0
n=0
for dir in "${folders[@]}"; do
    n=$((n + 1))
    for side in old new; do
        bin=${!side}
        # The script's header names its own path: both sides write to the same one.
        out="$work/script.sql"
        "$bin" convert --no-stored-settings --no-progress --source "$dir" --script "$out" \
            --comments --create-table </dev/null >"$work/$side-$n.out" 2>&1
        echo $? >"$work/$side-$n.rc"
        [[ -f $out ]] && mv "$out" "$work/$side-$n.sql"
    done
    name=${dir#"$fixtures"/}
    [[ $dir == "$work/sample" ]] && name="(generated sample)"
    if ! cmp -s "$work/old-$n.rc" "$work/new-$n.rc"; then
        echo "DIFFERENT exit status  $name ($(cat "$work/old-$n.rc") -> $(cat "$work/new-$n.rc"))"
        status=1
    elif [[ -f $work/old-$n.sql || -f $work/new-$n.sql ]] &&
        ! cmp -s "$work/old-$n.sql" "$work/new-$n.sql"; then
        echo "DIFFERENT script       $name"
        status=1
    else
        echo "same                   $name"
    fi
done
exit $status
