#!/usr/bin/env bash
# Installs what is missing, builds Telvorn and starts the window in a working directory of its own.
#   ./run.sh            working directory ~/telvorn
#   ./run.sh DIR        working directory DIR
# The default INI files are copied there once; files the operator already has are never overwritten.
# Without a display (no DISPLAY or WAYLAND_DISPLAY) the window runs on a virtual X server (xvfb-run):
# nothing is shown, but the server listens on the configured port.
set -euo pipefail
cd "$(dirname "$0")"
source_dir=$(pwd)
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"

# Puts the RTUDB driver in the library directory and registers it with unixODBC.
if [ "$(id -u)" -eq 0 ]; then cmake --install build >/dev/null; else sudo cmake --install build >/dev/null; fi

work_dir="${1:-$HOME/telvorn}"
mkdir -p "$work_dir"
for ini in "$source_dir"/resources/ini/*.ini; do
  cp -n "$ini" "$work_dir/"
done
cd "$work_dir"
echo "== telvorn in $work_dir"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$source_dir/build/ui/telvorn"
fi
echo "No display: running telvorn under xvfb-run (invisible window; stop it with Ctrl+C)."
exec xvfb-run -a "$source_dir/build/ui/telvorn"
