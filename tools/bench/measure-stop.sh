#!/usr/bin/env bash
# A stop under load, measured: 20 RTUs (tools/bench/stop-load.py: AIN0 frames, each sent once the
# one before was echoed and PAUSE (0.05) seconds after it) send to telvorn-headless; SIGTERM 8 s into
# the run, and once the program has ended a start again, which forwards what the stop spooled.
# Frames written before the signal, and after it, against the rows stored; rows stored twice; how
# long the stop took and what its line in Log.txt says; this build against BEFORE (a build without
# the mending, if given).
#
#   tools/bench/measure-stop.sh [BUILD_DIR] [BEFORE_BUILD_DIR]     (default: build, none)
#
# SCENARIOS (default "sqlite-up sqlite-locked postgresql-stalled"): the database up; SQLite's write
# lock held by another connection from 5 s until after the restart; PostgreSQL stalled (SIGSTOP)
# from 6 s until after the restart. ROUNDS (2) runs of each.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="$(realpath "${1:-build}")"
before="${2:+$(realpath "$2")}"
pause=${PAUSE:-0.05}
rounds=${ROUNDS:-2}
scratch=""
server_pid=""
holder_pid=""
engine=sqlite
source tools/soak/scratch-server.sh
source tools/soak/database.sh

cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2> /dev/null && wait "$server_pid" 2> /dev/null || true
  server_pid=""
  [ -n "$holder_pid" ] && { touch "$scratch/release"; wait "$holder_pid" 2> /dev/null || true; }
  holder_pid=""
  [ -n "$scratch" ] && { release_database; pg_dir=""; rm -rf "$scratch"; }
  scratch=""
}
trap cleanup EXIT

now() { date +%s.%N; }
json() { "$python" -c "import json, sys; d = json.load(sys.stdin); print($1)"; }
# Every row of FULLRCDS as UID|RVALUE.
rows() {
  if [ "$engine" = postgresql ]; then pg_psql -c "SELECT uid, rvalue FROM $pg_schema.fullrcds"
  else sqlite3 "$scratch/home/rtu/RTU.db" "SELECT UID, RVALUE FROM FULLRCDS;"; fi
}
stored() {
  if [ "$engine" = postgresql ]; then pg_psql -c "SELECT count(*) FROM $pg_schema.fullrcds"
  else sqlite3 "$scratch/home/rtu/RTU.db" "SELECT COUNT(*) FROM FULLRCDS;"; fi
}
# Waits until FULLRCDS holds $1 rows, or has not grown for 10 s.
settle() {
  local last=-1 same=0 rows
  while [ "$same" -lt 200 ]; do
    rows=$(stored)
    [ "$rows" -ge "$1" ] && return 0
    if [ "$rows" = "$last" ]; then same=$((same + 1)); else same=0; last="$rows"; fi
    sleep 0.05
  done
}
postmaster() { head -1 "$pg_dir/data/postmaster.pid"; }
stall() { kill "-$1" "$(postmaster)" $(pgrep -P "$(postmaster)"); }

# Another connection takes SQLite's write lock and holds it until $scratch/release exists.
lock_sqlite() {
  "$python" -c 'import os, sqlite3, sys, time
c = sqlite3.connect(sys.argv[1], isolation_level=None)
c.execute("BEGIN EXCLUSIVE")
open(sys.argv[2], "w").close()
while not os.path.exists(sys.argv[3]): time.sleep(0.05)
c.execute("COMMIT")' "$scratch/home/rtu/RTU.db" "$scratch/locked" "$scratch/release" &
  holder_pid=$!
  while [ ! -e "$scratch/locked" ]; do sleep 0.05; done
}

# A fresh scratch directory with the engine $1, echo on, units 1..20 registered, headless $2 started.
start() {
  engine="$1"
  scratch="$(mktemp -d "${TMPDIR:-/tmp}/telvorn-stop-XXXXXX")"
  port=$(free_port)
  prepare_scratch "$port"
  sed -i "s/^ECHOSERVER=.*/ECHOSERVER=1/" "$scratch/work/data_rtu.ini"
  prepare_database
  server_out=/dev/null start_in_scratch "$build/tools/telvorn-headless"
  wait_listening "$port"
  kill "$server_pid" && wait "$server_pid" 2> /dev/null || true
  seed_units 20
  : > "$scratch/work/Log.txt"
  server_out=/dev/null start_in_scratch "$2/tools/telvorn-headless"
  wait_listening "$port"
}

# One run of scenario $1 with headless $2: the rest of the table's row. Not in a subshell: the
# servers it starts are this shell's children.
stop_run() {
  local scenario="$1" dir="$2" load t0 t1 line
  # The load signals the server itself, so that it knows which frames were written before.
  "$python" tools/bench/stop-load.py "$port" "$server_pid" 20 8 "$pause" > "$scratch/frames.json" &
  load=$!
  case "$scenario" in
    sqlite-locked) sleep 5; lock_sqlite; sleep 3 ;;
    postgresql-stalled) sleep 6; stall STOP; sleep 2 ;;
    *) sleep 8 ;;
  esac
  t0=$(now)
  wait "$server_pid" 2> /dev/null || true
  t1=$(now)
  server_pid=""
  wait "$load"
  line=$(grep -a "Stopped" "$scratch/work/Log.txt" | tail -1 | sed "s/^.*: Stopped/Stopped/" || true)
  [ -n "$holder_pid" ] && { touch "$scratch/release"; wait "$holder_pid" || true; holder_pid=""; }
  [ "$scenario" = postgresql-stalled ] && stall CONT
  server_out=/dev/null start_in_scratch "$dir/tools/telvorn-headless"
  wait_listening "$port"
  settle "$(json "sum(f['echoed'] for f in d['frames'])" < "$scratch/frames.json")"
  rows > "$scratch/rows.txt"
  "$python" - "$scratch/frames.json" "$scratch/rows.txt" << 'PY'
import json, sys
frames = json.load(open(sys.argv[1]))["frames"]
rows = {}
for line in open(sys.argv[2]):
    unit, value = line.strip().split("|")
    rows[(int(unit), round(float(value)))] = rows.get((int(unit), round(float(value))), 0) + 1
def count(before, echoed):
    chosen = [f for f in frames if f["before"] == before and (echoed is None or f["echoed"] == echoed)]
    return "%d / %d" % (len(chosen), sum(rows.get((f["unit"], f["value"]), 0) for f in chosen))
print("%s | %s | %s | %d | " % (count(True, None), count(False, True), count(False, False),
                                 sum(1 for n in rows.values() if n > 1)), end="")
PY
  printf '%.1f s | %s |\n' "$(awk -v a="$t0" -v b="$t1" 'BEGIN {print b - a}')" "${line:-(none)}"
}

echo "Run: $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "| scenario | build | written before the signal: sent / stored | after it, echoed: sent / stored | after it, not echoed: sent / stored | stored twice | signal to exit | the stop's line in Log.txt |"
echo "|---|---|---|---|---|---|---|---|"
for scenario in ${SCENARIOS:-sqlite-up sqlite-locked postgresql-stalled}; do
  for round in $(seq "$rounds"); do
    for which in ${before:+before} after; do
      dir="$build"; [ "$which" = before ] && dir="$before"
      start "${scenario%%-*}" "$dir"
      printf '| %s | %s (round %s) | ' "$scenario" "$which" "$round"
      stop_run "$scenario" "$dir"
      cleanup
    done
  done
done
