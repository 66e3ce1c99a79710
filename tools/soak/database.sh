# Shell functions of tools/soak/soak.sh for the database behind the run (sourced, not run): the
# engine (SQLite, the default, or a private PostgreSQL cluster in the scratch directory), the
# registry seeded on it, an outage in the middle of the run, and the rows read back for the
# verdict. Expects $scratch (prepared by prepare_scratch) and $engine ("sqlite" or "postgresql");
# tools/bench/measure-spool.sh uses them too.

pg_bin="$(pg_config --bindir 2>/dev/null || echo /usr/lib/postgresql/15/bin)"
pg_dir=""
pg_schema=soak

# As root the server's tools run as the postgres user, from "/", which that user may enter.
as_postgres() { if [ "$(id -u)" -eq 0 ]; then (cd / && runuser -u postgres -- "$@"); else "$@"; fi; }
pg_psql() { "$pg_bin/psql" -X -q -At -h "$pg_dir" -p "$pg_port" -U postgres -d telvorn "$@"; }
pg_start() {
  as_postgres "$pg_bin/pg_ctl" -D "$pg_dir/data" -l "$pg_dir/server.log" -w -s -t 60 \
    -o "-p $pg_port -k $pg_dir -c listen_addresses=''" start
}
# A cluster of 16,000 tables may take more than pg_ctl's minute for its shutdown checkpoint.
pg_stop() { as_postgres "$pg_bin/pg_ctl" -D "$pg_dir/data" -w -s -t 300 -m fast stop; }

# PostgreSQL: a cluster with its default durability, the role telvorn (trusted on the socket) and
# its database with the schema "soak"; the data source RTUDB points there and data_rtu.ini logs
# in as telvorn. SQLite needs nothing: the first start registers ~/rtu/RTU.db.
prepare_database() {
  [ "$engine" = postgresql ] || return 0
  pg_dir="$scratch/pg"
  mkdir -p "$pg_dir"
  # The postgres user must reach its directory through the scratch one.
  [ "$(id -u)" -eq 0 ] && chmod o+x "$scratch" && chown postgres "$pg_dir"
  pg_port=$(free_port)
  as_postgres "$pg_bin/initdb" -D "$pg_dir/data" -U postgres -A trust --no-instructions -E UTF8 > /dev/null
  pg_start
  "$pg_bin/psql" -X -q -h "$pg_dir" -p "$pg_port" -U postgres -d postgres \
    -c "CREATE ROLE telvorn LOGIN" -c "CREATE DATABASE telvorn OWNER telvorn"
  pg_psql -c "CREATE SCHEMA $pg_schema AUTHORIZATION telvorn"
  printf '[RTUDB]\nDriver=Telvorn RTUDB\nENGINE=postgresql\nSERVER=%s\nPORT=%s\nDATABASE=telvorn\nSCHEMA=%s\n' \
    "$pg_dir" "$pg_port" "$pg_schema" > "$scratch/etc/odbc.ini"
  sed -i "s/^USER=.*/USER=telvorn/" "$scratch/work/data_rtu.ini"
}

release_database() { if [ -n "$pg_dir" ] && [ -d "$pg_dir/data" ]; then pg_stop 2> /dev/null || true; fi; }

# Units 1..$1 as the RTU list's add makes them. PostgreSQL gets the same tables in its own words
# (names in lower case, text compared byte by byte), a transaction per unit: one for all would
# need more locks than the server keeps.
seed_units() {
  if [ "$engine" != postgresql ]; then
    seed_registry "$scratch/home/rtu/RTU.db" "$1"
    return
  fi
  registry_sql "$1" | sed -e 's/"\([0-9]*_[A-Z_0-9]*\)"/"\L\1"/' -e 's/ BYTE,/ smallint,/' -e 's/^INSERT INTO RTU_TAB/COMMIT; BEGIN; &/' \
    -e 's/ FLOAT,/ double precision,/' -e 's/TEXT(\([0-9]*\))/varchar(\1) COLLATE "C"/g' |
    PGOPTIONS="-c search_path=$pg_schema" pg_psql -U telvorn > /dev/null
}

# Takes the database away for $1 seconds: PostgreSQL stops; SQLite's write lock is held by another
# connection, as a backup or a long report would hold it.
outage() {
  if [ "$engine" = postgresql ]; then
    pg_stop
    sleep "$1"
    pg_start
  else
    "$python" -c 'import sqlite3, sys, time
c = sqlite3.connect(sys.argv[1], isolation_level=None)
c.execute("BEGIN EXCLUSIVE")
time.sleep(float(sys.argv[2]))
c.execute("COMMIT")' "$scratch/home/rtu/RTU.db" "$1"
  fi
}

# The database away before the server starts: PostgreSQL stops; SQLite's file is locked against
# readers too (exclusive locking mode), so that the server cannot even open it. give_back ends it.
take_away() {
  if [ "$engine" = postgresql ]; then
    pg_stop
    return
  fi
  rm -f "$scratch/locked" "$scratch/give-back"
  "$python" -c 'import os, sqlite3, sys, time
c = sqlite3.connect(sys.argv[1], isolation_level=None)
c.execute("PRAGMA locking_mode=EXCLUSIVE")
c.execute("BEGIN EXCLUSIVE")
open(sys.argv[2], "w").close()
while not os.path.exists(sys.argv[3]): time.sleep(0.1)
c.execute("COMMIT")' "$scratch/home/rtu/RTU.db" "$scratch/locked" "$scratch/give-back" &
  while [ ! -e "$scratch/locked" ]; do sleep 0.1; done
}

give_back() {
  if [ "$engine" = postgresql ]; then pg_start; else touch "$scratch/give-back"; fi
}

# The rows for the verdict: FULLRCDS as "UID|RDATACH|RVALUE" lines in $1, and every channel table
# with its row count as "TABLE|COUNT" lines in $2, the names as the program spells them.
dump_rows() {
  if [ "$engine" = postgresql ]; then
    pg_psql -F '|' -c "SELECT uid, rdatach, rvalue FROM $pg_schema.fullrcds" > "$1"
    # A count per table, each a statement of its own (\gexec): one for all would lock every table.
    pg_psql > "$2" <<SQL
SELECT format('SELECT %L || ''|'' || count(*) FROM %I.%I', upper(table_name), table_schema, table_name)
FROM information_schema.tables WHERE table_schema = '$pg_schema' AND table_name ~ '^[0-9]+_' \gexec
SQL
    return
  fi
  local db="$scratch/home/rtu/RTU.db"
  sqlite3 -separator '|' "$db" "SELECT UID, RDATACH, RVALUE FROM FULLRCDS;" > "$1"
  "$python" -c 'import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
for (t,) in db.execute("SELECT name FROM sqlite_master WHERE type = '"'table'"' AND name GLOB '"'[0-9]*_*'"'"):
    print("%s|%d" % (t, db.execute("SELECT COUNT(*) FROM \"%s\"" % t).fetchone()[0]))' "$db" > "$2"
}
