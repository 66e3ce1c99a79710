#!/usr/bin/env bash
# Installs what is missing, builds Telvorn and starts the window in a working directory of its own.
#   ./run.sh            working directory ~/telvorn
#   ./run.sh DIR        working directory DIR
# The default INI files are copied there once; files the operator already has are never overwritten.
# Without a display (no DISPLAY or WAYLAND_DISPLAY) the window runs on a virtual X server (xvfb-run):
# nothing is shown, but the server listens on the configured port. Once the HTTP endpoint listens,
# the web console's address is printed.
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

# The value of KEY in section [HTTP] of data_rtu.ini ("absent" when the key is not there).
http_setting() {
  awk -v key="$1" '
    /^[ \t]*\[/ { section = tolower($0); gsub(/[][ \t\r]/, "", section); next }
    section == "http" && index($0, "=") {
      name = substr($0, 1, index($0, "=") - 1); gsub(/[ \t]/, "", name)
      if (toupper(name) == key) { value = substr($0, index($0, "=") + 1); sub(/[ \t]*;.*/, "", value)
        gsub(/^[ \t]+|[ \t\r]+$/, "", value); print value; found = 1; exit } }
    END { if (!found) print "absent" }' data_rtu.ini 2>/dev/null || echo absent
}

# Prints the web console's address once the endpoint listens.
announce_console() {
  local listen cert scheme host port
  listen=$(http_setting LISTEN)
  [ "$listen" = absent ] && listen=127.0.0.1:5080
  [ -z "$listen" ] && return 0
  cert=$(http_setting CERT)
  scheme=http
  [ -n "$cert" ] && [ "$cert" != absent ] && scheme=https
  host=${listen%:*}
  port=${listen##*:}
  case "$host" in \[*\]) ;; *:*) host="[$host]" ;; esac
  for _ in $(seq 600); do
    if (exec 3<>"/dev/tcp/${host//[\[\]]/}/$port") 2>/dev/null; then
      echo "== web console: $scheme://$host:$port/ (read-only; see the README to open it from another machine)"
      return 0
    fi
    sleep 0.1
  done
}

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  command=("$source_dir/build/ui/telvorn")
else
  echo "No display: running telvorn under xvfb-run (invisible window; stop it with Ctrl+C)."
  command=(xvfb-run -a "$source_dir/build/ui/telvorn")
fi
"${command[@]}" &
telvorn_pid=$!
trap 'kill -TERM "$telvorn_pid" 2>/dev/null' INT TERM
announce_console &
announcer_pid=$!
status=0
wait "$telvorn_pid" || status=$?
kill "$announcer_pid" 2>/dev/null || true
exit "$status"
