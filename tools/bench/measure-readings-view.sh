#!/usr/bin/env bash
# The READINGS view on PostgreSQL over a FULLRCDS of ROWS rows (default 10 million: 100 RTUs with
# 20 channels each over the last 30 days), in one run:
#   - readings/s through the whole stack (UpdateRegister -> recorder -> ODBC -> driver) into that
#     table without the FULLRCDS index, then with it (made first, as a start of the programs makes
#     it, with the time that took);
#   - one channel's last day from READINGS with the index and without it (EXPLAIN ANALYZE, each
#     query run once before to warm the cache);
#   - the lookup of one RTU's newest reading that a start makes to restore its last report.
# The cluster is private as in measure-postgres.sh, with the server's defaults for durability.
#
#   tools/bench/measure-readings-view.sh [BUILD_DIR] [ROWS] [READINGS]    (defaults: build 10000000 2000)
set -euo pipefail
cd "$(dirname "$0")/../.."
build="${1:-build}"
rows="${2:-10000000}"
readings="${3:-2000}"
bench="$build/tools/bench/history/telvorn-bench-history"
bin=$(pg_config --bindir)
[ -x "$bench" ] || { echo "build $bench first" >&2; exit 1; }

scratch_prefix=telvorn-readings
. tools/bench/private-postgres.sh
echo "Run: $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "PostgreSQL $(psql -d telvorn -c 'SHOW server_version'), TZ ${TZ:-unset}, server time zone $(psql -d telvorn -c 'SHOW timezone')"

# The tables as the stack makes them, then the rows: unit 100 + n % 100, channel AIN(n / 100 % 20),
# one row every 30 days / ROWS back from now; negative RIDs keep clear of the stack's tick counts.
"$bench" --postgres "$connection" --no-ceiling --unit 11 --readings 40 >/dev/null
started=$(date +%s)
psql -d telvorn -c "SET ROLE telvorn" -c "
  INSERT INTO bench.fullrcds(rid, uid, rdatach, rvalue, rstate, rgps, rtime, ltime)
  SELECT -n, (100 + n % 100)::text, 'AIN' || (n / 100 % 20), to_char(n % 1000 / 10.0, 'FM990.00'), 0, '',
         to_char(t, 'YYYYMMDDHH24MISS'), to_char(t, 'YYYY-MM-DD HH24:MI:SS')
  FROM generate_series(1, $rows) n, LATERAL (SELECT now() - n * (interval '30 days' / $rows) AS t) x"
psql -d telvorn -c "VACUUM ANALYZE bench.fullrcds"
echo "FULLRCDS: $(psql -d telvorn -c 'SELECT count(*) FROM bench.fullrcds') rows, $(psql -d telvorn -c "SELECT pg_size_pretty(pg_table_size('bench.fullrcds'))"), loaded in $(( $(date +%s) - started )) s"

echo "== writes into it without the index"
"$bench" --postgres "$connection" --no-ceiling --unit 11 --readings "$readings" | grep -E "UpdateRegister"
echo "== writes into it with the index"
"$bench" --postgres "$connection" --no-ceiling --unit 11 --readings "$readings" --readings-view | grep -E "made in|UpdateRegister"
echo "index: $(psql -d telvorn -c "SELECT pg_size_pretty(pg_relation_size('bench.fullrcds_channel_time'))")"

query="SELECT ts, value FROM readings WHERE uid = '142' AND channel = 'AIN3' AND ts > now() - interval '1 day' ORDER BY ts"
explain() {
  psql -d telvorn -c "SET search_path TO bench" -c "SELECT count(*) FROM ($query) q" >/dev/null
  psql -d telvorn -c "SET search_path TO bench" -c "EXPLAIN (ANALYZE, BUFFERS) $query"
}
echo "== one channel's last day: $query"
echo "-- with the index"
explain
# The lookup a start makes for each RTU's last report: each channel's newest LTIME through the index.
newest="WITH RECURSIVE C(CH) AS (SELECT MIN(RDATACH) FROM FULLRCDS WHERE UID = '142' UNION ALL
  SELECT (SELECT MIN(RDATACH) FROM FULLRCDS WHERE UID = '142' AND RDATACH > C.CH) FROM C WHERE C.CH IS NOT NULL)
  SELECT (SELECT MAX(LTIME) FROM FULLRCDS WHERE UID = '142' AND RDATACH = C.CH) FROM C WHERE C.CH IS NOT NULL"
echo "== one RTU's last report at start (with the index)"
psql -d telvorn -c "SET search_path TO bench" -c "EXPLAIN (ANALYZE) $newest" | grep -E "Execution Time"
psql -d telvorn -c "DROP INDEX bench.fullrcds_channel_time"
echo "-- without the index"
explain
