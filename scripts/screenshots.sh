#!/usr/bin/env bash
# Takes the pictures of every wizard page and dialog into docs/screenshots, on a virtual X
# display of a fixed size, from the real windows the tests drive.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v xvfb-run >/dev/null || apt-get install -y -o DPkg::Lock::Timeout=600 xvfb
cmake --build build --target gui_tests
mkdir -p docs/screenshots
TABRIX_SCREENSHOTS="$PWD/docs/screenshots" QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24" \
    build/bin/gui_tests --gtest_filter=WizardScreens.*
ls docs/screenshots
