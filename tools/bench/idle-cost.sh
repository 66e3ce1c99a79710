#!/usr/bin/env bash
# What an idle telvorn-headless costs the machine, for two builds side by side in one run:
#   tools/bench/idle-cost.sh BEFORE_BUILD_DIR AFTER_BUILD_DIR
# For each build: its CPU over IDLE_SECONDS (default 30) with no connection and with 100 silent
# connections, its threads in the runnable state meanwhile, the run time of a CPU-bound job on every
# core beside it against the same job alone, and the Modbus/TCP read round trip of rtusim; then the
# round trip of the pymodbus server in the same run. Needs python3-pymodbus. Everything runs on
# 127.0.0.1 in a scratch directory; prints a Markdown table.
set -euo pipefail
cd "$(dirname "$0")/../.."
[ $# -eq 2 ] || { echo "usage: $0 BEFORE_BUILD_DIR AFTER_BUILD_DIR" >&2; exit 2; }
before_build="$(realpath "$1")"
after_build="$(realpath "$2")"
idle_seconds="${IDLE_SECONDS:-30}"
scratch_root="$(mktemp -d "${TMPDIR:-/tmp}/telvorn-idle-XXXXXX")"
server_pid=""
holder_pid=""

cleanup() {
  for pid in $holder_pid $server_pid; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true; done
  rm -rf "$scratch_root"
}
trap cleanup EXIT
build="$after_build"
scratch="$scratch_root/unused"
source tools/soak/scratch-server.sh

hz=$(getconf CLK_TCK)
cores=$(nproc)
row() { printf '| %s | %s | %s |\n' "$1" "$2" "$3"; }
json() { "$python" -c "import json, sys; d = json.load(sys.stdin); print($1)"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# Percent of one core that process $1 used over idle_seconds.
idle_cpu() {
  local ticks0 ticks1
  ticks0=$(cpu_ticks "$1")
  sleep "$idle_seconds"
  ticks1=$(cpu_ticks "$1")
  awk -v t="$((ticks1 - ticks0))" -v hz="$hz" -v s="$idle_seconds" 'BEGIN {printf "%.2f %%", 100 * t / hz / s}'
}

# The most threads of process $1 seen in the runnable state over 20 samples.
runnable_threads() {
  local most=0 now
  for _ in $(seq 20); do
    now=$(ps -L -o stat= -p "$1" | grep -c '^R' || true)
    [ "$now" -gt "$most" ] && most=$now
    sleep 0.1
  done
  echo "$most of $(ps -L -o lwp= -p "$1" | wc -l)"
}

# Wake-ups per second of process $1 over 10 s (voluntary context switches of all its threads), and
# the threads that wake most often.
wakeups() {
  snapshot() {
    for task in /proc/"$1"/task/*; do
      echo "${task##*/} $(awk '/^voluntary_ctxt_switches/ {print $2}' "$task/status" 2>/dev/null || echo 0)"
    done
  }
  local first second
  first=$(snapshot "$1")
  sleep 10
  second=$(snapshot "$1")
  local rates
  rates=$(join <(sort <<< "$first") <(sort <<< "$second") | awk '{printf "%.1f\n", ($3 - $2) / 10}' | sort -rn)
  printf '%s /s in all; %s threads wake at least once a second, the busiest: %s' \
    "$(awk '{t += $1} END {print t + 0}' <<< "$rates")" \
    "$(awk '$1 >= 1' <<< "$rates" | wc -l)" \
    "$(awk 'NR <= 4 && $1 >= 1 {printf "%s%s", sep, $1; sep = ", "}' <<< "$rates")"
}

# Wall seconds for one fixed integer loop on every core at once (the slowest of them), run under a
# shell of their own so that `wait` sees only the loops.
cpu_job() {
  local start end
  start=$(date +%s.%N)
  bash -c 'for _ in $(seq "$1"); do awk "BEGIN { for (i = 0; i < 80000000; i++) s += i % 7 }" & done; wait' \
    cpu_job "$cores"
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN {printf "%.2f", b - a}'
}

median() { printf '%s\n' "$@" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

round_trip() {
  "$rtusim" --port "$1" --units 123 --modbus 03 --rate 200 --duration 10 |
    json "'%.3f / %.3f ms' % (d['latency_ms']['p50'], d['latency_ms']['p99'])"
}

measure_build() {
  local label="$1" port beside
  build="$2"
  scratch="$scratch_root/$label"
  rtusim="$build/tools/rtusim/rtusim"
  port=$(free_port)
  prepare_scratch "$port"
  server_out=/dev/null start_in_scratch "$build/tools/telvorn-headless" --rtu 123
  wait_listening "$port"
  sleep 2
  row "idle CPU of telvorn-headless, no connection, $label" "$(idle_cpu "$server_pid") of one core" \
    "/proc/PID/stat utime+stime over $idle_seconds s"
  row "threads runnable while idle, no connection, $label" "$(runnable_threads "$server_pid")" \
    "ps -L -o stat= -p PID, most of 20 samples"
  row "wake-ups while idle, no connection, $label" "$(wakeups "$server_pid")" \
    "voluntary_ctxt_switches of /proc/PID/task/*/status over 10 s"
  local beside_runs=()
  for _ in $(seq 5); do beside_runs+=("$(cpu_job)"); done
  beside=$(median "${beside_runs[@]}")
  beside_median[$label]=$beside
  "$python" -c "
import socket, time
held = [socket.create_connection(('127.0.0.1', $port)) for _ in range(100)]
time.sleep(3600)" &
  holder_pid=$!
  sleep 3
  row "idle CPU of telvorn-headless, 100 silent connections, $label" \
    "$(idle_cpu "$server_pid") of one core" "/proc/PID/stat utime+stime over $idle_seconds s"
  row "threads runnable while idle, 100 silent connections, $label" "$(runnable_threads "$server_pid")" \
    "ps -L -o stat= -p PID, most of 20 samples"
  kill "$holder_pid" && wait "$holder_pid" 2>/dev/null || true
  holder_pid=""
  row "Modbus/TCP fn 0x03 round trip p50 / p99, 1 connection at 200 reads/s, $label" \
    "$(round_trip "$port")" "rtusim --port P --units 123 --modbus 03 --rate 200 --duration 10"
  kill "$server_pid" && wait "$server_pid" 2>/dev/null || true
  server_pid=""
}

echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $cores cores ($(uname -m)), load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
declare -A beside_median
# The job alone, with no server running: five runs before the servers and five after them.
alone_runs=()
for _ in $(seq 5); do alone_runs+=("$(cpu_job)"); done
echo "| figure | value | how |"
echo "|---|---|---|"
measure_build before "$before_build"
measure_build after "$after_build"

for _ in $(seq 5); do alone_runs+=("$(cpu_job)"); done
alone=$(median "${alone_runs[@]}")
for label in before after; do
  beside=${beside_median[$label]}
  row "CPU-bound job on each of $cores cores, alone / beside idle telvorn-headless, $label" \
    "$alone s / $beside s: $(awk -v a="$alone" -v b="$beside" 'BEGIN {printf "%+.1f %%", 100 * (b - a) / a}')" \
    "awk loop of 8e7 steps per core; medians of 10 runs with no server at all and of 5 beside the server"
done

port=$(free_port)
"$python" tools/bench/modbus/pymodbus_server.py "$port" > /dev/null 2>&1 &
server_pid=$!
wait_listening "$port"
row "Modbus/TCP fn 0x03 round trip p50 / p99, 1 connection at 200 reads/s, pymodbus 3.0 server" \
  "$(round_trip "$port")" "rtusim --port P --units 123 --modbus 03 --rate 200 --duration 10"
