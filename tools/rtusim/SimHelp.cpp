#include "tools/rtusim/SimOptions.h"

namespace rtusim {

const char* helpText() {
    return R"(Usage: rtusim --port PORT [options]

Load and conformance client for the Telvorn server. Opens connections to HOST:PORT, sends RTU I/O
frames and/or Modbus/TCP requests at a steady rate, checks every reply it expects, and prints one
JSON summary on standard output. Progress and errors go to standard error.

Target
  --host HOST            server address or name (default 127.0.0.1)
  --port PORT            server port (required)
  --units LIST           unit ids registered on the server, e.g. 1-20,123 (default 1; 1..65535).
                         Frames go to any of them, Modbus/TCP to those of 255 or less. Reads of
                         unknown units get no reply, so name only registered ones.

Load
  --connections N        simultaneous connections (default 1, at most 1000)
  --rate R               messages per second on each connection (default 1; fractions allowed)
  --total-rate R         messages per second over all connections, shared evenly (overrides
                         --rate; each connection then sends R / N per second)
  --duration S           seconds of sending (default 10), then up to --reply-timeout for replies
  --count N              stop after N messages in all (default 0: only --duration bounds the run)
  --reconnect-rate R     close and reopen each connection at random, on average R times a second
                         (default 0: never); only between replies, so no reply is lost by it
  --reconnect-delay MS   wait before reconnecting after a refused or dropped connection
                         (default 1000)
  --reopen-delay MS      wait between a --reconnect-rate close, or a close after a wrong or late
                         reply, and its reopen (default 0: at once)
  --seed N               seed of every random choice (default 1); equal seeds repeat a run
  --transaction-start N  each connection counts its Modbus transaction ids up from N (decimal,
                         or hex as 0x2300), as a polling master does, through the ids that begin
                         with "$" (0x2400..0x24ff); ids whose low byte is "C" or "R" are still
                         skipped. Default: a random start, skipping those that begin with "$".

Messages
  --frames LIST          RTU functions in hex, each with an optional :WEIGHT (default 1):
                         00 01 02 03 10 11 18 19 20 21 22 31 32 33 35 36 41 43 45 48 83,
                         or all, or none. Example: --frames 10:5,83
  --modbus LIST          Modbus/TCP function codes in hex with optional :WEIGHT: 01 03 04 (reads)
                         05 06 0f 10 23 80 86 (writes), or reads, writes, all, none.
                         Without --frames and --modbus: --frames all. With only one of them the
                         other is none. Each message picks one entry, by weight.
  --max-registers N      largest quantity of a register-window read (default 125, 2..256)

Checks
  --reply-timeout MS     a reply not complete after MS is missing (default 2000); the connection
                         is then closed and reopened so that later replies stay in step
  --expect-echo          the server echoes every frame (its echo option): expect and check it
  --time-tolerance S     a time reply (FN 0x83) may differ by S seconds from this machine's
                         local clock (default 120)
  --check-values         read back values: each connection writes only units of its own (so
                         give at least as many --units as --connections) with whole numbers, and
                         every read checks the values its connection wrote on that unit, and the
                         positions that always read 0. Sound only while nothing else writes
                         these units.

  --split                write every message in 1 to 4 pieces cut at random points, 1 to 20 ms
                         apart, so that the server receives frames and ADUs cut anywhere

Output
  --record FILE          one line per reading sent, when its message has been written whole:
                         "UNIT c|r REGISTER VALUE" (c a bit write, r a numeric write with the
                         integer the server receives; VALUE "?" when rtusim cannot tell)
  --progress S           every S seconds a JSON progress line on standard error (default 0: off)
  --help                 this text

Each connection has at most one message with replies outstanding: Modbus requests, time requests
(FN 0x83) and, with --expect-echo, every frame. A slot that comes while a reply is outstanding or
the connection is closed is skipped and counted.

Summary (one JSON object on one line; the keys are stable):
  ok                 true when no reply was wrong or missing and a connection was opened
  sent               messages sent: frames + modbus_reads + modbus_writes
  frames             RTU frames sent, time requests included
  time_requests      FN 0x83 frames sent
  modbus_reads       Modbus/TCP reads sent
  modbus_writes      Modbus/TCP writes sent
  readings           history rows the frames and writes sent make a server with the unit
                     registered record (one row each in FULLRCDS)
  expected_replies   replies the messages sent asked for
  replies            replies received, right or wrong
  wrong_replies      replies that were wrong, plus data that arrived when none was expected
  missing_replies    replies not complete within --reply-timeout, or lost with their connection
  wrong              wrong_replies by kind: malformed, transaction, unit, function, byte_count,
                     length, value, time, echo, unexpected
  values_checked     values read back and compared with a known value (--check-values)
  connections        --connections
  connects           connections opened
  refused            connection attempts that failed or took over 5 seconds
  dropped            connections closed or reset by the server
  reopened           connections closed and reopened by --reconnect-rate
  resets             connections closed by rtusim after a wrong or missing reply
  skipped            send slots passed while a connection was busy or closed
  bytes_sent, bytes_received
  elapsed_s          seconds from start to the end of the last wait for replies
  send_rate          sent / elapsed_s
  latency_ms         {count, p50, p99, max}: milliseconds from the send of a message to the
                     arrival of each reply it asked for (p50 and p99 within 1.6 %)

Exit status: 0 when ok is true, 1 when not, 2 on a usage error. SIGINT or SIGTERM ends the
sending early; the summary is still printed.
)";
}

}  // namespace rtusim
