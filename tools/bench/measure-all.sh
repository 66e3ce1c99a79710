#!/usr/bin/env bash
# Measures every figure of docs/performance.md in one run on this machine and prints the table.
#   tools/bench/measure-all.sh [BUILD_DIR]      (default: build, a RelWithDebInfo build)
# Needs rtusim, telvorn-headless and the benchmarks built, and python3-pymodbus for the reference
# Modbus/TCP server. Everything runs on 127.0.0.1 in a scratch directory; /etc is never touched.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="$(realpath "${1:-build}")"
seconds="${SECONDS_PER_RUN:-10}"
rtusim="$build/tools/rtusim/rtusim"
headless="$build/tools/telvorn-headless"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/telvorn-measure-XXXXXX")"
server_pid=""
holder_pid=""

cleanup() {
  for pid in $holder_pid $server_pid; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; done
  rm -rf "$scratch"
}
trap cleanup EXIT
source tools/soak/scratch-server.sh

row() { printf '| %s | %s | %s |\n' "$1" "$2" "$3"; }

# Starts telvorn-headless with unit 123 on port $1; its trace and raw-data lines are discarded.
start_headless() {
  prepare_scratch "$1"
  server_out=/dev/null start_in_scratch "$headless" --rtu 123
  wait_listening "$1"
}

start_pymodbus() {
  "$python" tools/bench/modbus/pymodbus_server.py "$1" > /dev/null 2>&1 &
  server_pid=$!
  wait_listening "$1"
}

stop_server() {
  kill "$server_pid" && wait "$server_pid" 2>/dev/null || true
  server_pid=""
}

json() { "$python" -c "import json, sys; d = json.load(sys.stdin); print($1)"; }

# Latency at a steady 200 reads/s on one connection, then reads/s with 10 connections each
# sending the next read as soon as the reply is in.
modbus_rows() {
  local name="$1" port="$2" latency throughput
  latency=$("$rtusim" --port "$port" --units 123 --modbus 03 --rate 200 --duration "$seconds")
  throughput=$("$rtusim" --port "$port" --units 123 --modbus 03 --connections 10 --rate 10000 \
    --duration "$seconds")
  row "Modbus/TCP fn 0x03 round trip p50 / p99, 1 connection at 200 reads/s, $name" \
    "$(json "'%.3f / %.3f ms' % (d['latency_ms']['p50'], d['latency_ms']['p99'])" <<< "$latency")" \
    "rtusim --port P --units 123 --modbus 03 --rate 200 --duration $seconds"
  row "Modbus/TCP fn 0x03 reads per second, 10 connections back to back, $name" \
    "$(json "'%.0f reads/s (%d wrong or missing)' % (d['replies'] / d['elapsed_s'], d['wrong_replies'] + d['missing_replies'])" <<< "$throughput")" \
    "rtusim --port P --units 123 --modbus 03 --connections 10 --rate 10000 --duration $seconds"
  row "Modbus/TCP fn 0x03, 1,000 reads back to back on 1 connection: p50 / p99 / reads per second, $name" \
    "$("$python" tools/bench/modbus/modbus_client.py "$port" back-to-back 1000 |
      json "'%.3f / %.3f ms / %.0f reads/s' % (d['p50_ms'], d['p99_ms'], d['reads_per_s'])")" \
    "modbus_client.py P back-to-back 1000"
  row "Modbus/TCP connect, one fn 0x03 read, close, 200 times: per transaction p50 / max, $name" \
    "$("$python" tools/bench/modbus/modbus_client.py "$port" connect-per-read 200 |
      json "'%.3f / %.3f ms' % (d['p50_ms'], d['max_ms'])")" \
    "modbus_client.py P connect-per-read 200"
}

percent() { awk -v t="$1" -v hz="$2" -v s="$seconds" 'BEGIN {printf "%.1f %% of one core", 100 * t / hz / s}'; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }

# Idle CPU and resident memory of telvorn-headless with 100 open, silent connections.
idle_rows() {
  local port="$1" before with ticks0 ticks1 hz
  hz=$(getconf CLK_TCK)
  sleep 2
  before=$(rss_kib "$server_pid")
  ticks0=$(cpu_ticks "$server_pid")
  sleep "$seconds"
  ticks1=$(cpu_ticks "$server_pid")
  row "idle CPU of telvorn-headless, no connection" "$(percent $((ticks1 - ticks0)) "$hz")" \
    "/proc/PID/stat utime+stime over $seconds s"
  "$python" -c "
import socket, time
held = [socket.create_connection(('127.0.0.1', $port)) for _ in range(100)]
time.sleep(3600)" &
  holder_pid=$!
  sleep 3
  with=$(rss_kib "$server_pid")
  ticks0=$(cpu_ticks "$server_pid")
  sleep "$seconds"
  ticks1=$(cpu_ticks "$server_pid")
  kill "$holder_pid" && wait "$holder_pid" 2>/dev/null || true
  holder_pid=""
  row "idle CPU of telvorn-headless, 100 silent connections" "$(percent $((ticks1 - ticks0)) "$hz")" \
    "/proc/PID/stat utime+stime over $seconds s"
  row "resident memory of telvorn-headless, idle / with 100 connections" \
    "$((before / 1024)) MiB / $((with / 1024)) MiB: $(((with - before) / 100)) KiB per connection" \
    "grep VmRSS /proc/PID/status before and after opening 100 connections"
}

echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores ($(uname -m)), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| figure | value | command |"
echo "|---|---|---|"
"$build/tools/bench/telvorn-bench-decode" --benchmark_min_time=1 2>/dev/null | awk '/^BM_/ {
  printf "| decoder, %s | %s ns per chunk (CPU %s ns) | telvorn-bench-decode |\n", substr($1, 4), $2, $4 }'
"$build/tools/bench/history/telvorn-bench-history" --readings 2000 --dir "$scratch" 2>/dev/null | awk -F': *' '
  /raw SQLite ceiling/ { ceiling = $2 }
  /committed rows/ { ours = $2 }
  END { printf "| readings into the database, raw SQLite ceiling / UpdateRegister to committed rows | %s / %s | telvorn-bench-history --readings 2000 |\n", ceiling, ours }'
"$build/tools/bench/historylist/telvorn-bench-history-list" 2>/dev/null | awk '
  /^BM_LoadHistoryList/ { list = $2 " " $3 }
  /^BM_LoadChannelOnStatePage/ { page = $2 " " $3 }
  END { printf "| window busy loading 20,000 history rows, list alone / list and chart of the RTU state page | %s / %s | telvorn-bench-history-list |\n", list, page }'

port=$(free_port)
start_headless "$port"
modbus_rows telvorn-headless "$port"
idle_rows "$port"
stop_server

port=$(free_port)
start_pymodbus "$port"
modbus_rows "pymodbus 3.0 server (python3-pymodbus)" "$port"
stop_server
/usr/bin/python3 tools/bench/console/console_timing.py "$build" 2>/dev/null | awk -F': ' '{
  printf "| web console, %s | %s | tools/bench/console/console_timing.py |\n", $1, $2 }'
