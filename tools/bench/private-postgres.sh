# Sourced by the benchmarks that need PostgreSQL: a private cluster in a scratch directory on a free
# port, removed on exit, with the role telvorn, its database and the schema bench.
# In: bin (pg_config --bindir), scratch_prefix. Out: scratch, port, psql, connection, as_postgres.

# As root the server's tools run as the postgres user, from "/", which that user may enter.
as_postgres() { if [ "$(id -u)" -eq 0 ]; then (cd / && runuser -u postgres -- "$@"); else "$@"; fi; }

scratch=$(mktemp -d "/tmp/$scratch_prefix-XXXXXX")
[ "$(id -u)" -eq 0 ] && chown postgres "$scratch"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
stop() { as_postgres "$bin/pg_ctl" -D "$scratch/data" -w -s -m fast stop >/dev/null 2>&1 || true; rm -rf "$scratch"; }
trap stop EXIT

as_postgres "$bin/initdb" -D "$scratch/data" -U postgres -A trust --no-instructions -E UTF8 >/dev/null
as_postgres "$bin/pg_ctl" -D "$scratch/data" -l "$scratch/server.log" -w -s \
  -o "-p $port -k $scratch -c listen_addresses=''" start
psql() { "$bin/psql" -X -q -At -h "$scratch" -p "$port" -U postgres "$@"; }
psql -d postgres -c "CREATE ROLE telvorn LOGIN" -c "CREATE DATABASE telvorn OWNER telvorn"
psql -d telvorn -c "CREATE SCHEMA bench AUTHORIZATION telvorn"
connection="SERVER=$scratch;PORT=$port;DATABASE=telvorn;SCHEMA=bench;USER=telvorn;PWD="
