#!/usr/bin/env bash
# Installs what is missing, builds Telvorn and runs it in a working directory of its own.
#   ./run.sh                  working directory ~/telvorn
#   ./run.sh DIR              working directory DIR
#   ./run.sh --no-build [DIR] runs what is built already: installs, builds and registers nothing
# The programs are taken from build/ (or from $TELVORN_BUILD_DIR).
# The default INI files are copied there once; files the operator already has are never overwritten.
# With a display (DISPLAY or WAYLAND_DISPLAY) it runs the window, telvorn; without one the service,
# telvorn-headless, with the same INI files in the same directory. Once the HTTP endpoint listens,
# the web console's address is printed. Ctrl+C or SIGTERM stops the program it started.
set -euo pipefail
cd "$(dirname "$0")"
source_dir=$(pwd)
build=yes
if [ "${1:-}" = --no-build ]; then
  build=no
  shift
fi
build_dir="${TELVORN_BUILD_DIR:-$source_dir/build}"
if [ "$build" = yes ]; then
  scripts/install-deps.sh
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build_dir" -j "$(nproc)"
  # Puts the RTUDB driver in the library directory, registers it with unixODBC, and installs
  # telvorn, telvorn-headless and telvorn-admin in /usr/local/bin.
  if [ "$(id -u)" -eq 0 ]; then cmake --install "$build_dir" >/dev/null; else sudo cmake --install "$build_dir" >/dev/null; fi
fi

work_dir="${1:-$HOME/telvorn}"
mkdir -p "$work_dir"
for ini in "$source_dir"/resources/ini/*.ini; do
  cp -n "$ini" "$work_dir/"
done
cd "$work_dir"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "== telvorn in $work_dir"
  command=("$build_dir/ui/telvorn")
else
  echo "== No display: running telvorn-headless, the service without a window, in $work_dir (Ctrl+C stops it)"
  command=("$build_dir/tools/telvorn-headless")
fi

# Passes the program's output on and, after its line "HTTP endpoint on URL", says where the console is.
# It ignores Ctrl+C, so that the program's last lines still pass once it has stopped. mawk (Debian's
# awk) reads a pipe a line at a time only when interactive.
announce_console() {
  trap '' INT
  mawk -W interactive '{ print; fflush() }
                       /^HTTP endpoint on / { print "== web console: " $4 "/ (read-only; see the README to open it from another machine)"; fflush() }'
}

"${command[@]}" > >(announce_console) &
program_pid=$!
trap 'kill -TERM "$program_pid" 2>/dev/null || true' INT TERM
# A trapped signal interrupts wait; wait again until the program has stopped.
status=0
while :; do
  wait "$program_pid" && status=0 || status=$?
  kill -0 "$program_pid" 2>/dev/null || break
done
exit "$status"
