#!/usr/bin/env bash
# Soak run: 100 registered RTUs, rtusim driving 100 connections (frames, Modbus reads, connections
# closed and reopened at random), then one summary: rows recorded against readings sent, resident
# memory and open descriptors over the run, wrong or missing replies.
#
#   tools/soak/soak.sh [--binary PATH] [--minutes N] [--connections N] [--reconnect-rate R]
#                      [--reopen-delay MS] [--reply-timeout MS] [--build DIR] [--all-frames]
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
    *) awk 'NR > 1 && /^#/ {print; next} NR > 1 {exit}' "$0" >&2; exit 2 ;;
  esac
done
build="$(realpath "$build")"
binary="$(realpath "${binary:-$build/tools/telvorn-headless}")"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/telvorn-soak-XXXXXX")"
server_pid=""
source tools/soak/scratch-server.sh

cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
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
# A first headless start creates the database and registers the data source, so that the window
# later finds both and asks nothing at start-up; the 100 RTUs are then registered as the RTU list
# would, with their channel tables.
start_server "$build/tools/telvorn-headless"
stop_server
seed_registry "$scratch/home/rtu/RTU.db" 100

start_server "$binary"
if [ "$all_frames" -eq 1 ]; then mix=(--frames all --modbus all); else mix=(--frames 10,11,43 --modbus reads); fi
duration=$(awk -v m="$minutes" 'BEGIN {print int(m * 60)}')
"$build/tools/rtusim/rtusim" --port "$port" --units 1-100 --connections "$connections" --rate 1 "${mix[@]}" \
  --reconnect-rate "$reconnect_rate" --reopen-delay "$reopen_delay" --reply-timeout "$reply_timeout" --duration "$duration" > "$scratch/rtusim.json" &
sim_pid=$!
: > "$scratch/samples"
while kill -0 "$sim_pid" 2>/dev/null; do
  sample >> "$scratch/samples"
  sleep 5
done
wait "$sim_pid" || true
stop_server
rows=$(sqlite3 "$scratch/home/rtu/RTU.db" "SELECT COUNT(*) FROM FULLRCDS;")

/usr/bin/python3 - "$scratch/rtusim.json" "$scratch/samples" "$rows" "$all_frames" "$binary" "$minutes" <<'EOF'
import json, sys
sim = json.load(open(sys.argv[1]))
samples = [tuple(map(int, line.split())) for line in open(sys.argv[2]) if line.strip()]
rows, all_frames = int(sys.argv[3]), sys.argv[4] == "1"
# Warm-up is the first fifth of the run, at least 30 s (samples are 5 s apart); after it, memory may grow by 4 MiB (SQLite's page cache
# filling up) and descriptors by the few that reconnects in flight hold.
warm = samples[max(len(samples) // 5, 6):] or samples[-1:]
rss_flat = max(s[0] for s in warm) <= warm[0][0] + 4096
fds_flat = max(s[1] for s in warm) <= warm[0][1] + 10
rows_ok = rows == sim["readings"]
summary = {
    "ok": sim["ok"] and rss_flat and fds_flat and rows_ok,
    "binary": sys.argv[5], "minutes": float(sys.argv[6]),
    "all_frames": all_frames, "frames_sent": sim["frames"], "readings_sent": sim["readings"],
    "rows_in_fullrcds": rows,
    "modbus_reads": sim["modbus_reads"], "modbus_writes": sim["modbus_writes"],
    "wrong_replies": sim["wrong_replies"], "missing_replies": sim["missing_replies"],
    "reopened": sim["reopened"], "dropped": sim["dropped"],
    "rss_kib_after_warmup": [warm[0][0], max(s[0] for s in warm)], "rss_kib_end": samples[-1][0],
    "fds_after_warmup": [warm[0][1], max(s[1] for s in warm)], "fds_end": samples[-1][1],
    "latency_ms": sim["latency_ms"],
}
print(json.dumps(summary))
sys.exit(0 if summary["ok"] else 1)
EOF
