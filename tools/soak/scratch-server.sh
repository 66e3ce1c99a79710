# Shell functions shared by tools/soak/soak.sh and tools/bench/measure-all.sh (sourced, not run):
# a scratch directory with its own ODBC files and the INI files, a free loopback port, and a wait
# for a listener. Expects $build (the build tree) and $scratch (an empty directory).

python=/usr/bin/python3

free_port() {
  "$python" -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

wait_listening() {
  for _ in $(seq 600); do
    (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0
    sleep 0.1
  done
  echo "nothing listens on $1" >&2
  return 1
}

# $scratch/etc names the build tree's driver, $scratch/home is HOME (the database is
# home/rtu/RTU.db), $scratch/work holds the INI files with PORT=$1 and the HTTP endpoint's LISTEN.
prepare_scratch() {
  local driver="$build/platform/rtudb/libtelvorn-rtudb.so"
  mkdir -p "$scratch/etc" "$scratch/home" "$scratch/work"
  printf '[Telvorn RTUDB]\nDriver=%s\nSetup=%s\n' "$driver" "$driver" > "$scratch/etc/odbcinst.ini"
  : > "$scratch/etc/odbc.ini"
  cp resources/ini/*.ini "$scratch/work/"
  sed -i "s/^PORT=.*/PORT=$1/" "$scratch/work/data_rtu.ini"
  # The monitoring endpoint on a free port of its own, never the fixed default another run may hold.
  printf '\n[HTTP]\nLISTEN=127.0.0.1:%s\n' "$(free_port)" >> "$scratch/work/data_rtu.ini"
}

# Runs a command in the scratch working directory with the scratch ODBC files, in the background;
# its standard output goes to $server_out (default $scratch/server.out), its standard error to
# $scratch/server.err.
start_in_scratch() {
  (cd "$scratch/work" && exec env HOME="$scratch/home" ODBCSYSINI="$scratch/etc" \
    ODBCINI="$scratch/home/.odbc.ini" "$@" > "${server_out:-$scratch/server.out}" 2> "$scratch/server.err") &
  server_pid=$!
}

# Registers units 1..$2 in the database $1 as the RTU list's add does: an RTU_TAB row and the 158
# channel tables (DIN/DOUT 0..15 interleaved, BATT, SIGNAL, ITEMP, IHUMI, seven kinds 0..7, MBUSREG
# 0..63, RMESSAGES, RALARMS), in one transaction.
seed_registry() { registry_sql "$2" | sqlite3 "$1"; }

# The statements of seed_registry for units 1..$1.
registry_sql() {
  local uid i kind
  {
    echo "BEGIN;"
    for uid in $(seq 1 "$1"); do
      echo "INSERT INTO RTU_TAB(UID, RDATA7) VALUES ('$uid', '402');"
      for i in $(seq 0 15); do channel_table "$uid" "DIN$i" BYTE; channel_table "$uid" "DOUT$i" BYTE; done
      channel_table "$uid" BATT BYTE; channel_table "$uid" SIGNAL BYTE
      channel_table "$uid" ITEMP FLOAT; channel_table "$uid" IHUMI FLOAT
      for i in $(seq 0 7); do
        for kind in AIN ETEMP EHUMI GRYCODE SENSOR ECOUNTER ECOUNTER_REPORT; do channel_table "$uid" "$kind$i" FLOAT; done
      done
      for i in $(seq 0 63); do channel_table "$uid" "MBUSREG$i" FLOAT; done
      channel_table "$uid" RMESSAGES "TEXT(128)"; channel_table "$uid" RALARMS "TEXT(128)"
    done
    echo "COMMIT;"
  }
}

channel_table() {
  echo "CREATE TABLE \"$1_$2\"(RID INT PRIMARY KEY, RVALUE $3, RTIME TEXT(32), LTIME TEXT(32), RTYPE INT);"
}
