#!/usr/bin/env bash
# Installs what building and testing Tabrix needs on Debian 12. Safe to run again.
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config git libicu-dev
          googletest libgtest-dev libgmock-dev libbenchmark-dev
          clang libclang-rt-dev clang-format
          # The wizard (Qt 6 Widgets) and the display its screenshots are taken on.
          qt6-base-dev xvfb xauth
          # The SQL Server test server (Python 3) and the client stack its tests drive:
          # unixODBC with the FreeTDS driver and its bulk-copy header (odbcss.h), tsql and isql.
          python3 unixodbc unixodbc-dev tdsodbc freetds-bin freetds-dev)
# Node.js runs the independent SQL parser check. A machine may carry a Node.js of its own
# (with its own npm) that Debian's npm package would conflict with: use it when present.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
    packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    # Other installs may hold the package lock for a while: wait for it rather than fail.
    apt-get -o DPkg::Lock::Timeout=600 update -q
    apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
fi
