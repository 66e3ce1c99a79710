#!/usr/bin/env bash
# Attacks on the server measured with telvorn-headless and rtusim, this build against BEFORE (a build
# without the defence, if given):
#   freeze   100 RTUs at one frame a second (every fifth a time request, whose reply they wait
#            10 s for before they reconnect); the server frozen (SIGSTOP) for 20 s, 10 s in:
#            readings sent and lost, connections the server refused.
#   history  50 RTUs sending frames and register reads (5 a second each) while the web console
#            runs ten date-range queries, one after another, on a channel table of HISTORY_ROWS
#            (3,000,000) rows: the replies' latency, the queries' times, readings spooled.
#   monitoring  /healthz asked once a second beside 70 connections that send their head a byte
#            every 5 s, and beside 200 event-stream readers (tools/bench/http-attack.py); every
#            client on 127.0.0.1. Then, over HTTPS, which TLS versions and suites openssl's client
#            gets a handshake with.
#
#   tools/bench/measure-attacks.sh [BUILD_DIR] [BEFORE_BUILD_DIR]     (default: build, none)
#
# PARTS=freeze,history,monitoring (the default: all) picks the tables. Each run has a scratch directory of its own
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

# Unit 1's AIN0 gets $1 rows over the year 2025, RTIME in the dashed form, oldest first.
fill_channel() {
  sqlite3 "$scratch/home/rtu/RTU.db" "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < $1)
    INSERT INTO \"1_AIN0\"(RID, RVALUE, RTIME, LTIME, RTYPE)
    SELECT x, x % 1000, strftime('%Y-%m-%d %H:%M:%S', 1735689600 + x * (31536000 / $1), 'unixepoch'),
      strftime('%Y-%m-%d %H:%M:%S', 1735689600 + x * (31536000 / $1), 'unixepoch'), 0 FROM n;"
}

history_run() {
  local rtus queries="" t0 t1 day
  "$rtusim" --port "$port" --units 1-50 --connections 50 --rate 5 --frames 10:4 --modbus 03 --reply-timeout 30000 \
    --duration 50 > "$scratch/rtus.json" &
  rtus=$!
  sleep 5
  for day in 01 03 05 07 09 11 13 15 17 19; do
    t0=$(date +%s.%N)
    curl -s -o /dev/null "http://127.0.0.1:$(http_port)/api/history?uid=1&channel=AIN0&range=1&from=2025-03-$day&to=2025-03-$(printf %02d $((10#$day + 7)))"
    t1=$(date +%s.%N)
    queries="$queries $(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.1f", b - a}')"
  done
  wait "$rtus" || true
  printf '%s | %s | %s | %s |' \
    "$(json "'%.1f / %.0f / %.0f ms' % (d['latency_ms']['p50'], d['latency_ms']['p99'], d['latency_ms']['max'])" < "$scratch/rtus.json")" \
    "$(json "'%d / %d' % (d['missing_replies'], d['expected_replies'])" < "$scratch/rtus.json")" \
    "$(echo $queries | tr ' ' '/') s" "$(grep -c 'Database not answering' "$scratch/work/Log.txt" || true)"
}

# Which of openssl's client's offers the endpoint completes a handshake with.
tls_run() {
  local accepted="" offer
  for offer in "-tls1" "-tls1_1" "-tls1_2 -cipher AES128-SHA:@SECLEVEL=0" \
    "-tls1_2 -cipher ECDHE-RSA-AES256-SHA:@SECLEVEL=0" "-tls1_2" "-tls1_3"; do
    case "$offer" in *-cipher*) ;; *) offer="$offer -cipher ALL:@SECLEVEL=0" ;; esac
    if openssl s_client -connect "127.0.0.1:$(http_port)" $offer < /dev/null > /dev/null 2>&1; then
      accepted="$accepted, ${offer%% -cipher ALL*}"
    fi
  done
  echo "${accepted#, }"
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
parts=",${PARTS:-freeze,history,monitoring},"
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
if [[ $parts == *,history,* ]]; then
  rows=${HISTORY_ROWS:-3000000}
  echo
  echo "| build | reply latency p50 / p99 / max | missing replies | each query's time ($rows rows) | spooling started |"
  echo "|---|---|---|---|---|"
  for which in ${before:+before} after; do
    dir="$build"; [ "$which" = before ] && dir="$before"
    start "$dir" 50
    kill "$server_pid" && wait "$server_pid" 2>/dev/null || true
    fill_channel "$rows"
    server_out=/dev/null start_in_scratch "$dir/tools/telvorn-headless"
    wait_listening "$port"
    echo "| $which | $(history_run)"
    cleanup
  done
fi
if [[ $parts == *,monitoring,* ]]; then
  echo
  echo "| build | 70 slow heads: /healthz | 200 event-stream readers: streams; /healthz | TLS handshakes completed |"
  echo "|---|---|---|---|"
  for which in ${before:+before} after; do
    dir="$build"; [ "$which" = before ] && dir="$before"
    start "$dir" 1
    slow=$("$python" tools/bench/http-attack.py "$(http_port)" slow)
    streams=$("$python" tools/bench/http-attack.py "$(http_port)" streams)
    kill "$server_pid" && wait "$server_pid" 2>/dev/null || true
    (cd "$scratch/work" && openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost \
      -keyout key.pem -out cert.pem > /dev/null 2>&1)
    printf 'CERT=cert.pem\nKEY=key.pem\n' >> "$scratch/work/data_rtu.ini"
    server_out=/dev/null start_in_scratch "$dir/tools/telvorn-headless"
    wait_listening "$port"
    wait_listening "$(http_port)"
    echo "| $which | $slow | $streams | $(tls_run) |"
    cleanup
  done
fi
