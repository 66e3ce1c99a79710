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
# home/rtu/RTU.db), $scratch/work holds the INI files with PORT=$1.
prepare_scratch() {
  local driver="$build/platform/rtudb/libtelvorn-rtudb.so"
  mkdir -p "$scratch/etc" "$scratch/home" "$scratch/work"
  printf '[Telvorn RTUDB]\nDriver=%s\nSetup=%s\n' "$driver" "$driver" > "$scratch/etc/odbcinst.ini"
  : > "$scratch/etc/odbc.ini"
  cp resources/ini/*.ini "$scratch/work/"
  sed -i "s/^PORT=.*/PORT=$1/" "$scratch/work/data_rtu.ini"
}

# Runs a command in the scratch working directory with the scratch ODBC files, in the background;
# its standard output goes to $server_out (default $scratch/server.out), its standard error to
# $scratch/server.err.
start_in_scratch() {
  (cd "$scratch/work" && exec env HOME="$scratch/home" ODBCSYSINI="$scratch/etc" \
    ODBCINI="$scratch/home/.odbc.ini" "$@" > "${server_out:-$scratch/server.out}" 2> "$scratch/server.err") &
  server_pid=$!
}
