#!/usr/bin/env bash
# Starts the wizard (tabrix) on the sample folder: builds it, writes the sample DBF tables
# into out/wizard-demo/dbf and opens the wizard with that folder and a script path filled in
# (script mode). The demo keeps its settings in out/wizard-demo/config, away from yours.
# Without a display it runs under Xvfb and says so.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh tabrix tabrix-cli

demo=out/wizard-demo
rm -rf "$demo"
mkdir -p "$demo"
export XDG_CONFIG_HOME="$PWD/$demo/config"
build/bin/tabrix-cli sample "$demo/dbf"
# The settings of a first conversion become the wizard's starting point.
build/bin/tabrix-cli convert --no-stored-settings --source "$demo/dbf" \
    --script "$demo/sample.sql" --no-progress --save-settings >/dev/null
if [[ -n ${DISPLAY:-}${WAYLAND_DISPLAY:-} ]]; then
    exec build/bin/tabrix
fi
echo "No display: running the wizard under Xvfb (nothing to see; use a desktop to click through)."
exec xvfb-run -a build/bin/tabrix
