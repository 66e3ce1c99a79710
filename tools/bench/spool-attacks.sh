#!/usr/bin/env bash
# The spool attacked as a failing machine or a careless operator would, each attack on a fresh
# scratch directory with telvorn-headless and ten RTUs (rtusim, FN 0x10 frames on ten connections):
#   full      SPOOLMAXKB=64, the SQLite file locked 30 s under traffic
#   disk      the spool on a 2 MiB file system half taken by another file, the SQLite file locked
#             40 s; the other file is removed once the lock ends, then the server is restarted
#   damaged   800-odd readings spooled, the server killed, 3000 random bytes written over the
#             spool's third page (DAMAGED_PAGE=N: page N), the server started again, then another
#             outage
#   orphan    the same, but the spool file moved aside and its -wal left behind
#   table     PostgreSQL, one channel table (3_AIN0) failing every INSERT with SQLSTATE 53100
# One table row per attack: readings sent, stored, not stored, and the spool's lines in Log.txt.
#
#   tools/bench/spool-attacks.sh [BUILD_DIR] [HEADLESS_BUILD_DIR] [ATTACK...]
#
# BUILD_DIR gives rtusim and the driver (default: build); HEADLESS_BUILD_DIR the telvorn-headless
# measured (default: BUILD_DIR). The disk attack mounts a tmpfs, so it needs root.
set -euo pipefail
cd "$(dirname "$0")/../.."
build="$(realpath "${1:-build}")"
headless="$(realpath "${2:-$build}")/tools/telvorn-headless"
shift $(($# > 2 ? 2 : $#))
attacks=("$@")
[ ${#attacks[@]} -gt 0 ] || attacks=(full disk damaged orphan table)
rtusim="$build/tools/rtusim/rtusim"
scratch=""
server_pid=""
holder_pid=""
engine=sqlite
source tools/soak/scratch-server.sh
source tools/soak/database.sh

cleanup() {
  [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null || true
  [ -n "$server_pid" ] && kill -9 "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  server_pid=""
  holder_pid=""
  if [ -n "$scratch" ]; then
    release_database
    pg_dir=""
    mountpoint -q "$scratch/small" && umount "$scratch/small"
    rm -rf "$scratch"
  fi
  scratch=""
}
trap cleanup EXIT

stored() {
  if [ "$engine" = postgresql ]; then pg_psql -c "SELECT count(*) FROM $pg_schema.fullrcds"
  else sqlite3 "$scratch/home/rtu/RTU.db" "SELECT COUNT(*) FROM FULLRCDS;"; fi
}
# Waits until FULLRCDS holds $1 rows, or has not grown for $2 seconds.
settle() {
  local last=-1 since rows
  since=$(date +%s)
  while :; do
    rows=$(stored 2>/dev/null || echo "$last")
    [ "$rows" -ge "$1" ] && return 0
    if [ "$rows" != "$last" ]; then last="$rows"; since=$(date +%s); fi
    [ $(($(date +%s) - since)) -ge "$2" ] && return 0
    sleep 0.2
  done
}

# A fresh scratch directory on engine $1 with units 1..10 registered, the spool's settings $2.
prepare() {
  engine="$1"
  scratch="$(mktemp -d "${TMPDIR:-/tmp}/telvorn-attack-XXXXXX")"
  port=$(free_port)
  prepare_scratch "$port"
  sed -i "s/^SPOOLMAXKB=.*/SPOOLMAXKB=${2:-1048576}/" "$scratch/work/data_rtu.ini"
  prepare_database
  server_out=/dev/null start_in_scratch "$build/tools/telvorn-headless"
  wait_listening "$port"
  kill "$server_pid" && wait "$server_pid" 2>/dev/null || true
  seed_units 10
}
run() {
  server_out=/dev/null start_in_scratch "$headless"
  wait_listening "$port"
}
# $1 seconds of frames at $2 a second on each of the ten connections; readings sent in $scratch/sent.
traffic() {
  "$rtusim" --port "$port" --units 1-10 --connections 10 --rate "$2" --frames 10 --duration "$1" \
    --reply-timeout 60000 --seed "${3:-1}" | "$python" -c 'import json, sys; print(json.load(sys.stdin)["readings"])' \
    >> "$scratch/sent"
}
sent() { awk '{s += $1} END {print s + 0}' "$scratch/sent"; }
# Holds SQLite's write lock for $1 seconds in the background.
lock() {
  "$python" -c 'import sqlite3, sys, time
c = sqlite3.connect(sys.argv[1], isolation_level=None)
c.execute("BEGIN EXCLUSIVE")
time.sleep(float(sys.argv[2]))
c.execute("COMMIT")' "$scratch/home/rtu/RTU.db" "$1" &
  holder_pid=$!
}
unlock_wait() { wait "$holder_pid" || true; holder_pid=""; }
spool_lines() {
  grep -E "Spool|spool|Forwarding|Table|set aside|kept aside|cannot" "$scratch/work/Log.txt" 2>/dev/null | cut -c 22- |
    sort | uniq -c | sed 's/^ *//' | head -12 | tr '\n' ';' | sed 's/|/\\|/g'
}
row() {
  local s r
  s=$(sent)
  r=$(stored)
  echo "| $1 | $s | $r | $((s - r)) | $(spool_lines) |"
}

full() {
  prepare sqlite 64
  run
  traffic 10 1
  lock 30
  traffic 30 5 2
  unlock_wait
  traffic 20 1 3
  settle "$(sent)" 60
  row "full: SPOOLMAXKB=64, SQLite locked 30 s"
}

disk() {
  prepare sqlite
  mkdir "$scratch/small"
  mount -t tmpfs -o size=2m tmpfs "$scratch/small"
  dd if=/dev/zero of="$scratch/small/other" bs=1k count=1024 status=none
  touch "$scratch/small/RTUDB-spool.db"
  rm -f "$scratch/work/RTUDB-spool.db"*
  ln -s "$scratch/small/RTUDB-spool.db" "$scratch/work/RTUDB-spool.db"
  run
  traffic 5 2
  lock 40
  traffic 40 20 2
  unlock_wait
  rm "$scratch/small/other"
  traffic 10 2 3
  settle "$(sent)" 30
  kill -TERM "$server_pid"; wait "$server_pid" 2>/dev/null || true
  run
  traffic 10 2 4
  settle "$(sent)" 30
  row "disk: spool on 2 MiB, half taken, SQLite locked 40 s, space freed, restart"
}

# 800-odd readings in the spool of a server killed during the outage.
killed_during_outage() {
  prepare sqlite
  run
  traffic 5 1
  lock 25
  traffic 16 5 2
  sleep 2
  kill -9 "$server_pid"; wait "$server_pid" 2>/dev/null || true
  server_pid=""
  unlock_wait
}

damaged() {
  local page="${DAMAGED_PAGE:-3}"
  killed_during_outage
  sqlite3 "$scratch/work/RTUDB-spool.db" "PRAGMA wal_checkpoint(TRUNCATE);" > /dev/null
  head -c 3000 /dev/urandom | dd of="$scratch/work/RTUDB-spool.db" bs=1 seek=$(((page - 1) * 4096)) conv=notrunc status=none
  run
  traffic 5 1 3
  lock 15
  traffic 15 1 4
  unlock_wait
  traffic 10 1 5
  settle "$(sent)" 30
  row "damaged: 3000 random bytes over page $page, then another outage"
}

orphan() {
  killed_during_outage
  mv "$scratch/work/RTUDB-spool.db" "$scratch/work/moved.db"
  run
  traffic 10 1 3
  settle "$(sent)" 30
  row "orphan: the spool file moved aside, its -wal left ($(sqlite3 "$scratch/work/moved.db" \
    'SELECT COUNT(*) FROM readings;' 2>/dev/null || echo ?) readings in the file moved)"
}

table() {
  prepare postgresql
  pg_psql -U postgres -c "CREATE FUNCTION $pg_schema.full_disk() RETURNS trigger LANGUAGE plpgsql AS
    \$\$BEGIN RAISE EXCEPTION 'could not extend file: No space left on device' USING ERRCODE = '53100'; END\$\$;
    CREATE TRIGGER full_disk BEFORE INSERT ON $pg_schema.\"3_ain0\" FOR EACH ROW EXECUTE FUNCTION $pg_schema.full_disk();"
  run
  traffic 30 1
  sleep 15
  row "table: 3_AIN0 failing with 53100, counted 15 s after the traffic"
}

echo "Run: $(date -u '+%Y-%m-%d %H:%M UTC'), $headless"
echo
echo "| attack | readings sent | stored | not stored | spool lines in Log.txt (count, text) |"
echo "|---|---|---|---|---|"
for attack in "${attacks[@]}"; do
  "$attack"
  cleanup
done
