#!/usr/bin/env bash
# Attacks on the server measured with telvorn-headless and rtusim, this build against BEFORE (a build
# without the defence, if given):
#   freeze   100 RTUs at one frame a second (every fifth a time request, whose reply they wait
#            10 s for before they reconnect); the server frozen (SIGSTOP) for 20 s, 10 s in:
#            readings sent and lost, connections the server refused.
#
#   tools/bench/measure-attacks.sh [BUILD_DIR] [BEFORE_BUILD_DIR]     (default: build, none)
#
# PARTS=freeze (the default: all) picks the tables. Each run has a scratch directory of its own
# (ODBC files, INI files, the SQLite database); /etc is never touched.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="$(realpath "${1:-build}")"
before="${2:+$(realpath "$2")}"
rtusim="$build/tools/rtusim/rtusim"
scratch=""
server_pid=""
engine=sqlite
source tools/soak/scratch-server.sh
source tools/soak/database.sh

cleanup() {
  [ -n "$server_pid" ] && kill -CONT "$server_pid" 2>/dev/null && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  server_pid=""
  [ -n "$scratch" ] && rm -rf "$scratch"
  scratch=""
}
trap cleanup EXIT

json() { "$python" -c "import json, sys; d = json.load(sys.stdin); print($1)"; }
stored() { sqlite3 "$scratch/home/rtu/RTU.db" "SELECT COUNT(*) FROM FULLRCDS;"; }
http_port() { sed -n 's/^LISTEN=127.0.0.1:\([0-9]*\).*/\1/p' "$scratch/work/data_rtu.ini" | tail -1; }
metric() { curl -s "http://127.0.0.1:$(http_port)/metrics" | awk -v m="$1" '$1 == m {print $2}'; }
# Waits until FULLRCDS holds $1 rows, or has not grown for 5 s (a build that loses readings).
settle() {
  local last=-1 same=0 rows
  while [ "$same" -lt 100 ]; do
    rows=$(stored)
    [ "$rows" -ge "$1" ] && return 0
    if [ "$rows" = "$last" ]; then same=$((same + 1)); else same=0; last="$rows"; fi
    sleep 0.05
  done
}

# A fresh scratch directory with units 1..$2 registered and the headless program of build $1 started.
start() {
  scratch="$(mktemp -d "${TMPDIR:-/tmp}/telvorn-attack-XXXXXX")"
  port=$(free_port)
  prepare_scratch "$port"
  server_out=/dev/null start_in_scratch "$build/tools/telvorn-headless"
  wait_listening "$port"
  kill "$server_pid" && wait "$server_pid" 2>/dev/null || true
  seed_units "$2"
  server_out=/dev/null start_in_scratch "$1/tools/telvorn-headless"
  wait_listening "$port"
}

freeze_run() {
  local readings rows
  "$rtusim" --port "$port" --units 1-100 --connections 100 --rate 1 --frames 10:4,83 --reply-timeout 10000 \
    --duration 60 > "$scratch/rtus.json" &
  local rtus=$!
  sleep 10
  kill -STOP "$server_pid"
  sleep 20
  kill -CONT "$server_pid"
  wait "$rtus" || true
  readings=$(json "d['readings']" < "$scratch/rtus.json")
  settle "$readings"
  rows=$(stored)
  printf '%s | %s | %s | %s |' "$readings" "$((readings - rows))" "$(metric telvorn_connections_refused_total)" \
    "$(json "'%d / %d' % (d['dropped'], d['refused'])" < "$scratch/rtus.json")"
}

echo "Run: $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
parts=",${PARTS:-freeze},"
if [[ $parts == *,freeze,* ]]; then
  echo
  echo "| build | readings sent | lost | connections refused by the server | rtusim's dropped / refused |"
  echo "|---|---|---|---|---|"
  for which in ${before:+before} after; do
    dir="$build"; [ "$which" = before ] && dir="$before"
    start "$dir" 100
    echo "| $which | $(freeze_run)"
    cleanup
  done
fi
