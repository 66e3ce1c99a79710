#!/usr/bin/env bash
# Store and forward, measured with telvorn-headless and rtusim on both engines, in one run:
#   - readings/s into the database with it up, this build against BEFORE (a build without the
#     spool, if given), in alternating runs;
#   - readings/s into the spool while the database is away, and the drain rate once it is back;
#   - outages under a small fleet: 5 RTUs at 5 frames a second with register reads of the values just
#     sent on the same connections (the reply waits for the frames before it, so its latency is
#     the lag of the live values), and a Modbus poller on a connection of its own; the database
#     stalled (PostgreSQL SIGSTOP 15 s), stopped (PostgreSQL, 60 s) or locked (SQLite, 20 s);
#     readings lost and reply latencies, this build against BEFORE.
#
#   tools/bench/measure-spool.sh [BUILD_DIR] [BEFORE_BUILD_DIR]     (default: build, none)
#
# PARTS=up,spool,outage (the default: all) picks the tables; BLAST_READINGS (20000) and
# BLAST_RATE (50000 messages/s over 5 connections) size the blasts.
#
# Each run has a scratch directory of its own (ODBC files, INI files, the database or a private
# PostgreSQL cluster with its default durability); /etc is never touched.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="$(realpath "${1:-build}")"
before="${2:+$(realpath "$2")}"
rtusim="$build/tools/rtusim/rtusim"
blast=${BLAST_READINGS:-20000}
rate=${BLAST_RATE:-50000}
scratch=""
server_pid=""
engine=sqlite
source tools/soak/scratch-server.sh
source tools/soak/database.sh

cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  server_pid=""
  [ -n "$scratch" ] && { release_database; pg_dir=""; rm -rf "$scratch"; }
  scratch=""
}
trap cleanup EXIT

now() { date +%s.%N; }
json() { "$python" -c "import json, sys; d = json.load(sys.stdin); print($1)"; }
log_count() { grep -c "$1" "$scratch/work/Log.txt" 2>/dev/null || true; }
stored() {
  if [ "$engine" = postgresql ]; then pg_psql -c "SELECT count(*) FROM $pg_schema.fullrcds"
  else sqlite3 "$scratch/home/rtu/RTU.db" "SELECT COUNT(*) FROM FULLRCDS;"; fi
}
spooled() { sqlite3 "$scratch/work/RTUDB-spool.db" "SELECT COUNT(*) FROM readings;" 2>/dev/null || echo 0; }
# Waits (at most 10 minutes) until the command prints at least $1.
wait_for() { local want="$1"; shift; for _ in $(seq 12000); do [ "$("$@")" -ge "$want" ] && return 0; sleep 0.05; done; return 1; }
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

# A fresh scratch directory with the engine $1, units 1..5 registered, and headless $2 started.
start() {
  engine="$1"
  scratch="$(mktemp -d "${TMPDIR:-/tmp}/telvorn-spool-XXXXXX")"
  port=$(free_port)
  prepare_scratch "$port"
  prepare_database
  server_out=/dev/null start_in_scratch "$build/tools/telvorn-headless"
  wait_listening "$port"
  kill "$server_pid" && wait "$server_pid" 2>/dev/null || true
  seed_units 5
  server_out=/dev/null start_in_scratch "$2/tools/telvorn-headless"
  wait_listening "$port"
}

# PostgreSQL stops; another connection takes SQLite's write lock and holds it until back().
away() {
  if [ "$engine" = postgresql ]; then pg_stop; return; fi
  "$python" -c 'import os, sqlite3, sys, time
c = sqlite3.connect(sys.argv[1], isolation_level=None)
c.execute("BEGIN EXCLUSIVE")
open(sys.argv[2], "w").close()
while not os.path.exists(sys.argv[3]): time.sleep(0.05)
c.execute("COMMIT")' "$scratch/home/rtu/RTU.db" "$scratch/locked" "$scratch/release" &
  holder_pid=$!
  while [ ! -e "$scratch/locked" ]; do sleep 0.05; done
}
back() { if [ "$engine" = postgresql ]; then pg_start; else touch "$scratch/release"; wait "$holder_pid" || true; fi; }

# Frames only, as fast as the server takes them; readings/s from the first frame until all are in.
blast_up() {
  local t0 summary readings
  t0=$(now)
  summary=$("$rtusim" --port "$port" --units 1-5 --connections 5 --total-rate "$rate" --frames 10 --count "$blast")
  readings=$(json "d['readings']" <<< "$summary")
  wait_for "$readings" stored
  awk -v n="$readings" -v a="$t0" -v b="$(now)" 'BEGIN {printf "%.0f", n / (b - a)}'
}

# Database away: one reading shows it, then the blast goes into the spool; readings/s into the
# spool, then the drain once the database is back.
blast_away() {
  local t0 t1 summary readings bytes
  away
  "$rtusim" --port "$port" --units 1 --frames 10 --count 1 > /dev/null
  wait_for 1 log_count "Database not answering"
  wait_for 1 spooled
  t0=$(now)
  summary=$("$rtusim" --port "$port" --units 1-5 --connections 5 --total-rate "$rate" --frames 10 --count "$blast")
  readings=$(json "d['readings']" <<< "$summary")
  wait_for $((readings + 1)) spooled
  t1=$(now)
  bytes=$(( $(sqlite3 "$scratch/work/RTUDB-spool.db" "PRAGMA page_count;") * 4096 ))
  back
  wait_for 1 log_count "Forwarding done"
  awk -v n="$readings" -v a="$t0" -v b="$t1" -v c="$(now)" -v s="$bytes" \
    'BEGIN {printf "%.0f readings/s into the spool (%.0f bytes a reading), %.0f readings/s drained", n / (b - a), s / (n + 1), (n + 1) / (c - b)}'
}

# An outage under the small fleet: $1 stalled|stopped|locked for $2 seconds, 10 s into a run of $3 seconds.
outage_run() {
  local kind="$1" seconds="$2" duration="$3" rtus poller readings rows
  "$rtusim" --port "$port" --units 1-5 --connections 5 --rate 5 --frames 10:4 --modbus 03 --check-values \
    --reply-timeout 60000 --duration "$duration" > "$scratch/rtus.json" &
  rtus=$!
  "$rtusim" --port "$port" --units 1-5 --modbus 03 --rate 10 --reply-timeout 60000 --duration "$duration" \
    > "$scratch/poller.json" &
  poller=$!
  sleep 10
  case "$kind" in
    none) ;;
    stalled) kill -STOP $(head -1 "$pg_dir/data/postmaster.pid") $(pgrep -P "$(head -1 "$pg_dir/data/postmaster.pid")")
             sleep "$seconds"
             kill -CONT $(head -1 "$pg_dir/data/postmaster.pid") $(pgrep -P "$(head -1 "$pg_dir/data/postmaster.pid")") ;;
    *) outage "$seconds" ;;
  esac
  wait "$rtus" "$poller" || true
  readings=$(json "d['readings']" < "$scratch/rtus.json")
  settle "$readings"
  rows=$(stored)
  printf '%s | %s | %s | %s |' "$readings" "$((readings - rows))" \
    "$(json "'%.1f / %.0f / %.0f ms' % (d['latency_ms']['p50'], d['latency_ms']['p99'], d['latency_ms']['max'])" < "$scratch/rtus.json")" \
    "$(json "'%.1f / %.0f / %.0f ms' % (d['latency_ms']['p50'], d['latency_ms']['p99'], d['latency_ms']['max'])" < "$scratch/poller.json")"
}

echo "Run: $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
parts=",${PARTS:-up,spool,outage},"
if [[ $parts == *,up,* ]]; then
echo
echo "| engine | build | readings/s, database up (blast of $blast) |"
echo "|---|---|---|"
for round in 1 2; do
  for eng in sqlite postgresql; do
    for which in ${before:+before} after; do
      dir="$build"; [ "$which" = before ] && dir="$before"
      start "$eng" "$dir"
      echo "| $eng | $which (round $round) | $(blast_up) |"
      cleanup
    done
  done
done
fi
if [[ $parts == *,spool,* ]]; then
echo
echo "| engine | spooling and drain (blast of $blast) |"
echo "|---|---|"
for eng in sqlite postgresql; do
  start "$eng" "$build"
  echo "| $eng | $(blast_away) |"
  cleanup
done
fi
[[ $parts == *,outage,* ]] || exit 0
echo
echo "| outage | build | readings sent | lost | RTU connections' reply latency p50 / p99 / max | poller's p50 / p99 / max |"
echo "|---|---|---|---|---|---|"
for scenario in "postgresql none 0 40" "postgresql stalled 15 40" "postgresql stopped 60 90" "sqlite locked 20 45"; do
  set -- $scenario
  for which in ${before:+before} after; do
    dir="$build"; [ "$which" = before ] && dir="$before"
    start "$1" "$dir"
    label="$1 $2 $3 s"; [ "$2" = none ] && label="$1, no outage"
    echo "| $label | $which | $(outage_run "$2" "$3" "$4")"
    cleanup
  done
done
