#!/usr/bin/env bash
# Fails when a source file includes a header of a layer above its own.
#
# The layers, lowest first; a folder may include its own headers and those of the folders
# listed for it:
#   tk → ole → udb → {dbf, odb} → mss → app → {app/cli, gui}
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
    [tk]="tk"
    [ole]="tk ole"
    [udb]="tk ole udb"
    [dbf]="tk ole udb dbf"
    [odb]="tk ole udb odb"
    [mss]="tk ole udb dbf odb mss"
    [app]="tk ole udb dbf odb mss app"
    [app/cli]="tk ole udb dbf odb mss app app/cli"
    [gui]="tk ole udb dbf odb mss app gui"
)

status=0
while IFS= read -r file; do
    dir=${file#src/}
    dir=${dir%/*}
    layer=$dir
    [[ $dir == app/cli* ]] && layer=app/cli
    [[ $dir == gui* ]] && layer=gui
    [[ -n ${allowed[$layer]+set} ]] || layer=${dir%%/*}
    if [[ -z ${allowed[$layer]+set} ]]; then
        echo "$file: src/$dir is not a known layer" >&2
        status=1
        continue
    fi
    while IFS= read -r line; do
        target=${line#*\"}
        target=${target%%\"*}
        case $target in
            app/cli/*) target_layer=app/cli ;;
            */*) target_layer=${target%%/*} ;;
            *) continue ;; # a header beside the file itself
        esac
        if [[ " ${allowed[$layer]} " != *" $target_layer "* ]]; then
            echo "$file: includes \"$target\" from above its layer ($layer)" >&2
            status=1
        fi
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
done < <(find src -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

if ((status == 0)); then
    echo "layers: every include points down"
fi
exit $status
