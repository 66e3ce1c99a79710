#!/usr/bin/env bash
# Installs what is missing, builds Telvorn and runs it.
# Until the window exists this decodes the bundled sample capture with telvorn-replay.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

# Puts the RTUDB driver in the library directory and registers it with unixODBC.
if [ "$(id -u)" -eq 0 ]; then cmake --install build >/dev/null; else sudo cmake --install build >/dev/null; fi

echo "== telvorn-replay on samples/"
build/tools/telvorn-replay --rtu 123:403 --rtu 5:402 --now "2014-04-11 12:30:00" \
  --counters "$(mktemp)" samples/*.bin
