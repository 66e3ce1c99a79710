#!/usr/bin/env bash
# Soak run: 100 registered RTUs, rtusim driving 100 connections (frames, Modbus reads, connections
# closed and reopened at random), then one summary: rows recorded against readings sent, resident
# memory and open descriptors over the run, wrong or missing replies.
#
#   tools/soak/soak.sh [--binary PATH] [--minutes N] [--connections N] [--reconnect-rate R]
#                      [--reopen-delay MS] [--reply-timeout MS] [--build DIR] [--all-frames] [--split]
#                      [--scrapers N] [--consoles N] [--transaction-start N]
#                      [--engine sqlite|postgresql] [--outage SECONDS[@START]]
#
# --binary   telvorn-headless (default: BUILD/tools/telvorn-headless) or the window, `telvorn`,
#            which runs on the offscreen platform
# --minutes  length of the traffic (default 10; CI runs 1)
# --connections  rtusim connections, units 1..100 (default 100)
# --reconnect-rate  closes and reopens per connection and second (default 0.01)
# --reopen-delay  pause between such a close and its reopen (default 1000 ms; see README.md)
# --reply-timeout  a reply later than this is missing (default 10000 ms: a loaded machine may be
#            slow, but a reply must still come)
# --all-frames  every frame function and every Modbus write too (default: FN 0x10, 0x11, 0x43 and
#            Modbus reads). Either way rows must equal the readings rtusim counts as sent.
# --split    every message is written in random pieces (rtusim --split), so the server receives
#            frames and ADUs cut anywhere
# --scrapers N  N monitoring clients, each asking /metrics and /api/rtus of the HTTP endpoint every
#            100 ms throughout (default 0: the endpoint runs, nobody asks it)
# --transaction-start  each connection counts its Modbus transaction ids up from N (rtusim
#            --transaction-start; 0x23f8 crosses the ids that begin with "$" within a minute)
# --consoles N  N open web console pages (consoles.py), each following its page's event stream
#            throughout (default 0)
# --engine   the history's database: sqlite (default, ~/rtu/RTU.db) or postgresql (a private cluster
#            in the scratch directory, with its default durability)
# --outage   takes the database away for SECONDS, START seconds into the traffic (default: a third of
#            the run): PostgreSQL is stopped and started again, SQLite's write lock is held by another
#            connection. The server keeps the readings in its spool meanwhile, so the verdict is the
#            same. START "start": the database is away before the server starts (SQLite's file locked
#            against readers too) and answers SECONDS after the traffic began.
# The verdict: rtusim reads back the values it wrote (--check-values, against this server), and
# lists every reading it sent (--record); every channel table must hold as many rows as readings
# were sent to that channel, FULLRCDS must hold each reading with the value sent, and "Log.txt"
# must hold no failure line.
# Exit status 0 when no reply was wrong or missing, memory and descriptors stayed flat, and every
# reading became a row.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=build
binary=""
minutes=10
connections=100
reconnect_rate=0.01
reopen_delay=1000
reply_timeout=10000
all_frames=0
split=()
scrapers=0
transaction_start=()
consoles=0
engine=sqlite
outage_spec=""
while [ $# -gt 0 ]; do
  case "$1" in
    --binary) binary="$2"; shift 2 ;;
    --minutes) minutes="$2"; shift 2 ;;
    --connections) connections="$2"; shift 2 ;;
    --reconnect-rate) reconnect_rate="$2"; shift 2 ;;
    --reopen-delay) reopen_delay="$2"; shift 2 ;;
    --reply-timeout) reply_timeout="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    --all-frames) all_frames=1; shift ;;
    --split) split=(--split); shift ;;
    --scrapers) scrapers="$2"; shift 2 ;;
    --transaction-start) transaction_start=(--transaction-start "$2"); shift 2 ;;
    --consoles) consoles="$2"; shift 2 ;;
    --engine) engine="$2"; shift 2 ;;
    --outage) outage_spec="$2"; shift 2 ;;
    *) awk 'NR > 1 && /^#/ {print; next} NR > 1 {exit}' "$0" >&2; exit 2 ;;
  esac
done
build="$(realpath "$build")"
binary="$(realpath "${binary:-$build/tools/telvorn-headless}")"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/telvorn-soak-XXXXXX")"
server_pid=""
outage_pid=""
source tools/soak/scratch-server.sh
source tools/soak/database.sh

cleanup() {
  [ -n "$outage_pid" ] && kill "$outage_pid" 2>/dev/null || true
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  touch "$scratch/give-back"  # a lock taken before the start is let go
  release_database
  rm -rf "$scratch"
}
trap cleanup EXIT

start_server() {
  QT_QPA_PLATFORM=offscreen server_out=/dev/null start_in_scratch "$1"
  wait_listening "$port"
}

stop_server() {
  kill -TERM "$server_pid"
  wait "$server_pid" 2>/dev/null || true
  server_pid=""
}

# RSS in KiB and open descriptors, one line per sample.
sample() { echo "$(awk '/^VmRSS/ {print $2}' "/proc/$server_pid/status") $(ls "/proc/$server_pid/fd" | wc -l)"; }

port=$(free_port)
prepare_scratch "$port"
prepare_database
# A first headless start creates the database and registers the data source, so that the window
# later finds both and asks nothing at start-up; the 100 RTUs are then registered as the RTU list
# would, with their channel tables.
start_server "$build/tools/telvorn-headless"
stop_server
seed_units 100

if [ "${outage_spec#*@}" = start ]; then
  # A run that reads the registry of 100 RTUs, as the site's last run did, keeps its copy.
  start_server "$build/tools/telvorn-headless"
  stop_server
  take_away
fi
start_server "$binary"
if [ "$all_frames" -eq 1 ]; then mix=(--frames all --modbus all); else mix=(--frames 10,11,43 --modbus reads); fi
duration=$(awk -v m="$minutes" 'BEGIN {print int(m * 60)}')
"$build/tools/rtusim/rtusim" --port "$port" --units 1-100 --connections "$connections" --rate 1 "${mix[@]}" \
  "${split[@]}" "${transaction_start[@]}" --check-values --record "$scratch/sent.txt" --reconnect-rate "$reconnect_rate" --reopen-delay "$reopen_delay" --reply-timeout "$reply_timeout" --duration "$duration" > "$scratch/rtusim.json" &
sim_pid=$!
http_port=$(sed -n 's/^LISTEN=127.0.0.1:\([0-9]*\).*/\1/p' "$scratch/work/data_rtu.ini")
scrape_pid=""
if [ "$scrapers" -gt 0 ]; then
  /usr/bin/python3 tools/soak/scrape.py "$http_port" "$scrapers" "$sim_pid" > "$scratch/scrapes" &
  scrape_pid=$!
fi
console_pid=""
if [ "$consoles" -gt 0 ]; then
  /usr/bin/python3 tools/soak/consoles.py "$http_port" "$consoles" "$sim_pid" > "$scratch/consoles" &
  console_pid=$!
fi
if [ -n "$outage_spec" ]; then
  outage_seconds="${outage_spec%@*}"
  outage_start=$(awk -v d="$duration" 'BEGIN {print int(d / 3)}')
  [ "$outage_spec" != "$outage_seconds" ] && outage_start="${outage_spec#*@}"
  if [ "$outage_start" = start ]; then
    (sleep "$outage_seconds"; give_back) &
  else
    (sleep "$outage_start"; outage "$outage_seconds") &
  fi
  outage_pid=$!
fi
: > "$scratch/samples"
while kill -0 "$sim_pid" 2>/dev/null; do
  sample >> "$scratch/samples"
  sleep 5
done
wait "$sim_pid" || true
[ -n "$scrape_pid" ] && wait "$scrape_pid" || true
[ -n "$console_pid" ] && wait "$console_pid" || true
# User and system CPU of the server over the whole run, in seconds.
cpu_seconds=$(awk -v hz="$(getconf CLK_TCK)" '{print ($14 + $15) / hz}' "/proc/$server_pid/stat")
if [ -n "$outage_pid" ]; then
  wait "$outage_pid" || true
  outage_pid=""
  # Every outage ends with its "Forwarding done" line once the spool is empty.
  for _ in $(seq 1200); do
    [ "$(grep -c "Forwarding done" "$scratch/work/Log.txt" 2>/dev/null)" -ge \
      "$(grep -c "Database not answering" "$scratch/work/Log.txt" 2>/dev/null)" ] && break
    sleep 0.1
  done
fi
stop_server
dump_rows "$scratch/fullrcds.txt" "$scratch/tables.txt"
rows=$(wc -l < "$scratch/fullrcds.txt")

cat "$scratch/work/Log.txt" "$scratch/home/Log.txt" 2>/dev/null | grep -E "Write Data To .* fail" > "$scratch/log-failures" || true
grep -E "Database not answering|Database answering|Database not open at start|Database open:|Forwarding done|Spool" "$scratch/work/Log.txt" 2>/dev/null \
  | cut -c 22- > "$scratch/log-spool" || true

/usr/bin/python3 - "$scratch/rtusim.json" "$scratch/samples" "$rows" "$all_frames" "$binary" "$minutes" \
  "$scratch/sent.txt" "$scratch/fullrcds.txt" "$scratch/log-failures" "${#split[@]}" "$cpu_seconds" \
  "$scratch/scrapes" "$scratch/tables.txt" "$engine" "$outage_spec" "$scratch/log-spool" "$scratch/consoles" <<'EOF'
import collections, json, struct, sys
sim = json.load(open(sys.argv[1]))

# What the server records for a reading: channel name, number (-1: none), and the value as the
# history writes it. Bit writes: DIN, DOUT. Numeric writes: the integer the server received, scaled.
def channel(kind, register, value):
    if kind == "c":
        for first, name in ((1001, "DIN"), (1101, "DOUT")):
            if first <= register <= first + 7: return name, register - first, None if value is None else int(value != 0)
        return None
    rows = ((1001, 1008, "AIN", 0.1), (1101, 1101, "ITEMP", 0.01), (1102, 1102, "SIGNAL", None),
            (1103, 1103, "BATT", None), (1201, 1233, "MBUSREG", 0.01), (1301, 1308, "ECOUNTER", 0.01),
            (1401, 1401, "GRYCODE", 0.01), (1501, 1508, "ETEMP", 0.01), (1800, 1801, "ECOUNTER_REPORT", 0.01))
    for first, last, name, scale in rows:
        if first <= register <= last:
            number = -1 if name in ("ITEMP", "SIGNAL", "BATT") else (0 if name == "GRYCODE" else register - first)
            if value is None: return name, number, None
            if name == "SIGNAL": return name, number, value & 0xff
            if name == "BATT": return name, number, 1 if value == 0 else 0
            return name, number, value * scale
    return None

def as_float(x): return struct.unpack("f", struct.pack("f", x))[0]

expected = collections.defaultdict(list)  # (uid, RDATACH) -> values as FULLRCDS holds them, None unknown
per_table = collections.Counter()
for line in open(sys.argv[7]):
    unit, kind, register, value = line.split()
    found = channel(kind, int(register), None if value == "?" else int(value))
    if not found: continue
    name, number, x = found
    expected[(unit, "%s%d" % (name, number))].append(None if x is None else "%.2f" % as_float(x))
    per_table["%s_%s%s" % (unit, name, "" if number < 0 else number)] += 1

def split_lines(path): return [line.rstrip("\n").split("|") for line in open(path) if line.strip()]
stored = collections.defaultdict(list)
for uid, ch, value in split_lines(sys.argv[8]): stored[(uid, ch)].append(value)
wrong_channels, wrong_values = [], []
for key in set(expected) | set(stored):
    sent, got = expected.get(key, []), list(stored.get(key, []))
    if len(sent) != len(got): wrong_channels.append([*key, len(sent), len(got)])
    for value in sent:
        if value is None: continue
        if value in got: got.remove(value)
        else: wrong_values.append([*key, value])
table_rows = {table: int(count) for table, count in split_lines(sys.argv[13])}
tables = list(table_rows)
wrong_tables = []
for table in tables + [t for t in per_table if t not in tables]:
    rows_in = table_rows.get(table, 0)
    if rows_in != per_table.get(table, 0): wrong_tables.append([table, per_table.get(table, 0), rows_in])
log_failures = [line.strip() for line in open(sys.argv[9]) if line.strip()]
record_ok = not wrong_channels and not wrong_values and not wrong_tables and not log_failures
samples = [tuple(map(int, line.split())) for line in open(sys.argv[2]) if line.strip()]
rows, all_frames = int(sys.argv[3]), sys.argv[4] == "1"
# Warm-up is the first fifth of the run, at least 30 s (samples are 5 s apart); after it, memory may grow by 4 MiB (SQLite's page cache
# filling up) and descriptors by the few that reconnects in flight hold.
warm = samples[max(len(samples) // 5, 6):] or samples[-1:]
rss_flat = max(s[0] for s in warm) <= warm[0][0] + 4096
fds_flat = max(s[1] for s in warm) <= warm[0][1] + 10
rows_ok = rows == sim["readings"]
summary = {
    "ok": sim["ok"] and rss_flat and fds_flat and rows_ok and record_ok,
    "split": sys.argv[10] != "0", "readings_recorded": sum(len(v) for v in expected.values()),
    "values_compared": sum(1 for v in expected.values() for x in v if x is not None),
    "channel_tables": len(tables), "wrong_channel_counts": wrong_channels[:10], "wrong_values": wrong_values[:10],
    "wrong_table_rows": wrong_tables[:10], "log_failures": log_failures[:10],
    "values_checked_by_reads": sim["values_checked"],
    "binary": sys.argv[5], "minutes": float(sys.argv[6]), "engine": sys.argv[14], "outage": sys.argv[15],
    "log_spool": [line.strip() for line in open(sys.argv[16]) if line.strip()][:10],
    "all_frames": all_frames, "frames_sent": sim["frames"], "readings_sent": sim["readings"],
    "rows_in_fullrcds": rows,
    "modbus_reads": sim["modbus_reads"], "modbus_writes": sim["modbus_writes"],
    "wrong_replies": sim["wrong_replies"], "missing_replies": sim["missing_replies"],
    "reopened": sim["reopened"], "dropped": sim["dropped"],
    "rss_kib_after_warmup": [warm[0][0], max(s[0] for s in warm)], "rss_kib_end": samples[-1][0],
    "fds_after_warmup": [warm[0][1], max(s[1] for s in warm)], "fds_end": samples[-1][1],
    "latency_ms": sim["latency_ms"],
    "server_cpu_seconds": float(sys.argv[11]),
    "scrapes": open(sys.argv[12]).read().strip() if __import__("os").path.exists(sys.argv[12]) else None,
    "consoles": open(sys.argv[17]).read().strip() if __import__("os").path.exists(sys.argv[17]) else None,
}
print(json.dumps(summary))
sys.exit(0 if summary["ok"] else 1)
EOF
