#!/usr/bin/env bash
# Readings per second into the database through the whole stack (UpdateRegister -> history
# recorder -> ODBC layer -> RTUDB driver), side by side in one run:
#   - SQLite (WAL, synchronous=FULL), with its raw ceiling;
#   - PostgreSQL with its default durable commit, 1 and 4 writers at once (each writer is a
#     process with its own connection, as a Telvorn server is, all in one schema);
#   - the server's ceiling: libpq alone sending the same INSERTs (in blocks alternating with the
#     stack's), and pgbench, one client, single-row committed INSERTs into a table shaped like
#     FULLRCDS (one INSERT per transaction; a reading is two).
# The PostgreSQL cluster is a private one (initdb in a scratch directory under /tmp, a socket
# directory of its own, no TCP listener), with the server's defaults for durability.
#
#   tools/bench/measure-postgres.sh [BUILD_DIR] [READINGS]      (defaults: build 2000)
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build}"
readings="${2:-2000}"
seconds="${SECONDS_PER_RUN:-10}"
bench="$build/tools/bench/history/telvorn-bench-history"
bin=$(pg_config --bindir)
[ -x "$bench" ] || { echo "build $bench first" >&2; exit 1; }

scratch_prefix=telvorn-pgbench
. tools/bench/private-postgres.sh
echo "Run: $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "PostgreSQL $(psql -d telvorn -c 'SHOW server_version'), fsync $(psql -d telvorn -c 'SHOW fsync'), synchronous_commit $(psql -d telvorn -c 'SHOW synchronous_commit')"

echo "== SQLite, 1 writer"
"$bench" --readings "$readings" --dir /tmp | grep -E "ceiling|UpdateRegister|rows"

echo "== PostgreSQL, 1 writer, against libpq alone doing the same INSERTs (alternating blocks)"
"$bench" --postgres "$connection" --unit 11 --readings "$readings" | grep -E "ceiling|UpdateRegister|ratio|rows"

echo "== PostgreSQL, 4 writers at once"
for unit in 21 22 23 24; do
  "$bench" --postgres "$connection" --no-ceiling --unit "$unit" --readings "$readings" > "$scratch/writer-$unit.txt" &
done
wait
cat "$scratch"/writer-*.txt | grep -E "UpdateRegister|rows"
# All readings over the time from the first writer's start to the last one's end.
cat "$scratch"/writer-*.txt | awk -v n="$readings" '
  /timed from/ { split($0, f, ":"); split(f[2], g, "/"); start = g[1] + 0; dur = g[2] + 0;
                 if (first == "" || start < first) first = start; if (start + dur * 1000 > last) last = start + dur * 1000; k++ }
  END { printf "4 writers together:                 %.0f readings/s\n", k * n / ((last - first) / 1000) }'
echo "FULLRCDS rows / distinct RIDs:      $(psql -d telvorn -c 'SELECT count(*) || $$ / $$ || count(DISTINCT rid) FROM bench.fullrcds')"

echo "== pgbench, 1 client, single-row committed INSERTs for ${seconds} s"
psql -d telvorn -c "SET ROLE telvorn" -c "CREATE TABLE bench.pgbench_rows (LIKE bench.fullrcds INCLUDING ALL)" \
     -c "CREATE SEQUENCE bench.pgbench_rid"
cat > "$scratch/insert.sql" <<'SQL'
INSERT INTO bench.pgbench_rows(rid, uid, rdatach, rvalue, rstate, rgps, rtime, ltime)
VALUES (nextval('bench.pgbench_rid'), '12', 'AIN0', '1.00', 0, '', '20140411123000', '2014-04-11 12:30:00');
SQL
chmod a+r "$scratch/insert.sql"
"$bin/pgbench" -n -c 1 -T "$seconds" -f "$scratch/insert.sql" -h "$scratch" -p "$port" -U telvorn telvorn \
  2>"$scratch/pgbench.err" | grep -E "^tps|latency average" || cat "$scratch/pgbench.err"
