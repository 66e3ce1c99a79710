#!/usr/bin/env bash
# Modbus/TCP at the speed of the network: two builds of telvorn-headless side by side in one run,
# with a libmodbus select() server and the pymodbus server as references, and prints a Markdown
# table:
#   tools/bench/modbus-speed.sh BEFORE_BUILD_DIR AFTER_BUILD_DIR
# For each build: one master reading fn 0x03 back to back (rtusim, modbus/modbus_client.py and
# the libmodbus client), ten libmodbus masters at once, connect / one read / close repeated CONNECTS
# times (both clients), 99 RTUs at one frame a second beside one master reading back to back
# (reads/s, reply p99, readings stored against sent), and the CPU of an idle server over
# IDLE_SECONDS with no connection and with 100 silent ones. The build after runs as the service
# does (--trace frames; AFTER_ARGS to change), and once more as the build before does (no
# option), when TRACE_ALL=1. The same reads then go to the libmodbus server
# (modbus/libmodbus_server.c, built beside the benchmarks) and to the pymodbus server.
# SECONDS_PER_RUN (default 10) is the length of each rtusim run. Needs python3-pymodbus, sqlite3
# and libmodbus (the build's libmodbus-bench-client and -server). Everything runs on 127.0.0.1 in a
# scratch directory.
set -euo pipefail
cd "$(dirname "$0")/../.."
[ $# -eq 2 ] || { echo "usage: $0 BEFORE_BUILD_DIR AFTER_BUILD_DIR" >&2; exit 2; }
before_build="$(realpath "$1")"
after_build="$(realpath "$2")"
seconds="${SECONDS_PER_RUN:-10}"
idle_seconds="${IDLE_SECONDS:-30}"
reads="${READS:-1000}"
connects="${CONNECTS:-200}"
parallel_reads="${PARALLEL_READS:-2000}"
after_args="${AFTER_ARGS:---trace frames}"
scratch_root="$(mktemp -d "${TMPDIR:-/tmp}/telvorn-modbus-XXXXXX")"
results="$scratch_root/results"
mkdir -p "$results"
server_pid=""
holder_pid=""
fleet_pid=""

cleanup() {
  for pid in $fleet_pid $holder_pid $server_pid; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; done
  rm -rf "$scratch_root"
}
trap cleanup EXIT
build="$after_build"
scratch="$scratch_root/unused"
source tools/soak/scratch-server.sh

hz=$(getconf CLK_TCK)
row() { printf '| %s | %s | %s |\n' "$1" "$2" "$3"; }
json() { "$python" -c "import json, sys; d = json.load(sys.stdin); print($1)"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
client() { "$python" tools/bench/modbus/modbus_client.py "$@"; }
libmodbus_client() { "$after_build/tools/bench/libmodbus-bench-client" "$@"; }
summary() { json "'%.3f / %.3f ms / %.0f' % (d['p50_ms'], d['p99_ms'], d['reads_per_s'])"; }

stop_server() {
  kill -TERM "$server_pid" && wait "$server_pid" 2>/dev/null || true
  server_pid=""
}

idle_cpu() {
  local ticks0 ticks1
  ticks0=$(cpu_ticks "$1")
  sleep "$idle_seconds"
  ticks1=$(cpu_ticks "$1")
  awk -v t="$((ticks1 - ticks0))" -v hz="$hz" -v s="$idle_seconds" 'BEGIN {printf "%.2f %% of one core", 100 * t / hz / s}'
}

# The three ways of reading, against whatever listens on port $2; $1 names the server in the rows.
read_rows() {
  local name="$1" port="$2"
  row "one master, fn 0x03 back to back, p50 / p99 / reads/s, $name" \
    "$("$rtusim" --port "$port" --units 123 --modbus 03 --rate 10000 --duration "$seconds" |
      json "'%.3f / %.3f ms / %.0f (%d wrong or missing)' % (d['latency_ms']['p50'], d['latency_ms']['p99'], d['replies'] / d['elapsed_s'], d['wrong_replies'] + d['missing_replies'])")" \
    "rtusim --port P --units 123 --modbus 03 --rate 10000 --duration $seconds"
  row "one master, $reads fn 0x03 reads back to back, p50 / p99 / reads/s, $name" \
    "$(client "$port" back-to-back "$reads" | json "'%.3f / %.3f ms / %.0f' % (d['p50_ms'], d['p99_ms'], d['reads_per_s'])")" \
    "modbus_client.py P back-to-back $reads"
  row "connect, one fn 0x03 read, close, $connects times: per transaction p50 / max, $name" \
    "$(client "$port" connect-per-read "$connects" | json "'%.3f / %.3f ms' % (d['p50_ms'], d['max_ms'])")" \
    "modbus_client.py P connect-per-read $connects"
  libmodbus_rows "$name" "$port"
}

# The libmodbus master's three ways of reading; the figures are kept in $results/NAME-* for the goals.
libmodbus_rows() {
  local name="$1" port="$2" tag
  tag=$(echo "$name" | tr -c 'a-zA-Z0-9\n' '_')
  libmodbus_client "$port" back-to-back "$reads" > "$results/$tag-one"
  row "one master, $reads fn 0x03 reads back to back, libmodbus: p50 / p99 / reads/s, $name" \
    "$(summary < "$results/$tag-one")" "libmodbus-bench-client P back-to-back $reads"
  libmodbus_client "$port" parallel 10 "$parallel_reads" > "$results/$tag-ten"
  row "ten masters at once, $parallel_reads reads each back to back, libmodbus: p50 / p99 / reads/s, $name" \
    "$(summary < "$results/$tag-ten")" "libmodbus-bench-client P parallel 10 $parallel_reads"
  libmodbus_client "$port" connect-per-read "$connects" > "$results/$tag-connect"
  row "connect, one fn 0x03 read, close, $connects times, libmodbus: p50 / max, $name" \
    "$(json "'%.3f / %.3f ms' % (d['p50_ms'], d['max_ms'])" < "$results/$tag-connect")" \
    "libmodbus-bench-client P connect-per-read $connects"
}

# The goals, telvorn-headless after against the libmodbus server of the same run.
goal_rows() {
  local ours="$1" theirs="$2"
  ratio() { "$python" -c "import json; a = json.load(open('$results/$ours-$1')); b = json.load(open('$results/$theirs-$1')); print('%.2f' % (a['$2'] / b['$2']))"; }
  row "goal: one connection p50 within 1.5x of the libmodbus server" "$(ratio one p50_ms)x" "libmodbus client"
  row "goal: ten connections at least half its reads/s" "$(ratio ten reads_per_s)x" "libmodbus client"
  row "goal: connect-read-close p50 within 2x" "$(ratio connect p50_ms)x" "libmodbus client"
}

# Reads, then idle CPU, of telvorn-headless with unit 123 in its live table; the options after the
# label go to the server.
measure_reads_and_idle() {
  local label="$1" port
  shift
  scratch="$scratch_root/$(echo "$label" | tr -c 'a-zA-Z0-9\n' '_')-reads"
  port=$(free_port)
  prepare_scratch "$port"
  server_out=/dev/null start_in_scratch "$build/tools/telvorn-headless" --rtu 123 "$@"
  wait_listening "$port"
  sleep 2
  read_rows "telvorn-headless $label" "$port"
  sleep 2
  row "idle CPU, no connection, $label" "$(idle_cpu "$server_pid")" "/proc/PID/stat utime+stime over $idle_seconds s"
  "$python" -c "
import socket, time
held = [socket.create_connection(('127.0.0.1', $port)) for _ in range(100)]
time.sleep(3600)" &
  holder_pid=$!
  sleep 3
  row "idle CPU, 100 silent connections, $label" "$(idle_cpu "$server_pid")" \
    "/proc/PID/stat utime+stime over $idle_seconds s"
  kill "$holder_pid" && wait "$holder_pid" 2>/dev/null || true
  holder_pid=""
  stop_server
}

# 99 registered RTUs sending one frame a second each (FN 0x10/0x11/0x43, one reading each) while
# one master reads back to back: the table's 100 connections, all in use (a 101st, the master beside
# 100 RTUs, would be dropped). Then the rows in FULLRCDS against the readings sent.
measure_fleet() {
  local label="$1" port fleet master rows
  scratch="$scratch_root/$label-fleet"
  port=$(free_port)
  prepare_scratch "$port"
  server_out=/dev/null start_in_scratch "$build/tools/telvorn-headless"
  wait_listening "$port"
  stop_server
  seed_registry "$scratch/home/rtu/RTU.db" 100
  server_out=/dev/null start_in_scratch "$build/tools/telvorn-headless"
  wait_listening "$port"
  "$rtusim" --port "$port" --units 1-99 --connections 99 --rate 1 --frames 10,11,43 \
    --duration "$((seconds + 4))" > "$scratch/fleet.json" &
  fleet_pid=$!
  sleep 2
  # rtusim exits 1 on a wrong or missing reply; the row counts them.
  master=$("$rtusim" --port "$port" --units 1-100 --modbus 03 --rate 10000 --duration "$seconds" || true)
  wait "$fleet_pid" || true
  fleet_pid=""
  sleep 2  # frames carry no reply: give the last ones time to be stored
  stop_server
  rows=$(sqlite3 "$scratch/home/rtu/RTU.db" "SELECT COUNT(*) FROM FULLRCDS;")
  row "99 RTUs at 1 frame/s + one master back to back: master reads/s, reply p50 / p99, $label" \
    "$(json "'%.0f reads/s, %.3f / %.3f ms (%d wrong or missing)' % (d['replies'] / d['elapsed_s'], d['latency_ms']['p50'], d['latency_ms']['p99'], d['wrong_replies'] + d['missing_replies'])" <<< "$master")" \
    "rtusim --port P --units 1-100 --modbus 03 --rate 10000 --duration $seconds"
  row "99 RTUs at 1 frame/s + one master back to back: readings stored / sent, $label" \
    "$rows / $(json "d['readings']" < "$scratch/fleet.json") ($(json "'%d wrong or missing replies, %d dropped' % (d['wrong_replies'] + d['missing_replies'], d['dropped'])" < "$scratch/fleet.json"))" \
    "rtusim --port P --units 1-99 --connections 99 --rate 1 --frames 10,11,43; SELECT COUNT(*) FROM FULLRCDS"
}

echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores ($(uname -m)), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| figure | value | command |"
echo "|---|---|---|"
build="$before_build"
rtusim="$build/tools/rtusim/rtusim"
measure_reads_and_idle before
measure_fleet before
build="$after_build"
rtusim="$build/tools/rtusim/rtusim"
# shellcheck disable=SC2086 # the options are words
measure_reads_and_idle "after $after_args" $after_args
[ "${TRACE_ALL:-0}" = 1 ] && measure_reads_and_idle after
measure_fleet after
port=$(free_port)
"$after_build/tools/bench/libmodbus-bench-server" "$port" > /dev/null 2>&1 &
server_pid=$!
wait_listening "$port"
read_rows "libmodbus server" "$port"
row "idle CPU, no connection, libmodbus server" "$(idle_cpu "$server_pid")" "/proc/PID/stat utime+stime over $idle_seconds s"
stop_server
port=$(free_port)
"$python" tools/bench/modbus/pymodbus_server.py "$port" > /dev/null 2>&1 &
server_pid=$!
wait_listening "$port"
read_rows "pymodbus 3.0 server" "$port"
stop_server
goal_rows "telvorn_headless_after_$(echo "$after_args" | tr -c 'a-zA-Z0-9\n' '_')" libmodbus_server
echo
echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
