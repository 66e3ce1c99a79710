#!/usr/bin/env bash
# Captures the four pages for the documentation: telvorn on a virtual X server in a temporary home
# with a seeded registry (units 1-5) and a week of readings of unit 1's first analogue input, while
# rtusim sends frames and Modbus/TCP requests. Needs xvfb, xdotool, x11-apps (xwd), netpbm (see
# docs/screenshot-setup.sh) and sqlite3.
# Run after a build: docs/take-page-screenshots.sh   (the server listens on port 5988 meanwhile)
shot_port=5988
source "$(dirname "$0")/screenshot-setup.sh"
# The data source is registered and the database seeded before the first start.
printf '[RTUDB]\nDriver=Telvorn RTUDB\nDBQ=%s/home/rtu/RTU.db\nDEFAULTDIR=%s/home/rtu\n' "$work" "$work" \
  >"$work/etc/odbc.ini"

{
  echo "CREATE TABLE RTU_TAB(UID TEXT(32) PRIMARY KEY, RDATA1 TEXT(32), RDATA2 TEXT(32), RDATA3 TEXT(32),"
  echo " RDATA4 TEXT(32), RDATA5 TEXT(32), RDATA6 TEXT(32), RDATA7 TEXT(32), RDATA8 TEXT(32), RDATA9 TEXT(32),"
  echo " RDATA10 TEXT(32), RDATA11 TEXT(32), RDATA12 TEXT(32));"
  models=(407 403 405 406 409)
  for uid in 1 2 3 4 5; do
    echo "INSERT INTO RTU_TAB VALUES('$uid','Pump station $uid','North field','Well $uid','+49 170 55$uid',"
    echo " '2026-0$uid-01','Operator $uid','${models[uid - 1]}','','','','','');"
  done
  echo "CREATE TABLE \"1_AIN0\"(RID INT PRIMARY KEY, RVALUE REAL, RTIME TEXT(32), LTIME TEXT(32), RTYPE INT);"
  for i in $(seq 1 40); do
    value=$(awk -v i="$i" 'BEGIN { printf "%.1f", 12 + 6 * sin(i / 4) + (i % 3) }')
    printf "INSERT INTO \"1_AIN0\" VALUES(%d, %s, '2026-12-0%d %02d:00:00', '2026-12-0%d %02d:00:02', %d);\n" \
      "$i" "$value" $((1 + i / 24)) $((i % 24)) $((1 + i / 24)) $((i % 24)) $((i % 7 == 0))
  done
  echo "CREATE TABLE \"1_MBUSREG1\"(RID INT PRIMARY KEY, RVALUE REAL, RTIME TEXT(32), LTIME TEXT(32), RTYPE INT);"
  for i in $(seq 1 12); do
    printf "INSERT INTO \"1_MBUSREG1\" VALUES(%d, %d.5, '2026-12-06 %02d:30:00', '2026-12-06 %02d:30:01', 0);\n" \
      "$i" $((30 + i % 5)) "$i" "$i"
  done
} | sqlite3 "$work/home/rtu/RTU.db"

start_telvorn

# Answers the start-up's boxes (opening the database) until only the main window is left.
for _ in 1 2 3 4 5; do
  [ "$(xdotool search --onlyvisible --maxdepth 1 --name "" | grep -vc "^$main$")" -eq 0 ] && break
  xdotool key Return
  sleep 1
done
"$source_dir/build/tools/rtusim/rtusim" --port "$shot_port" --units 1-5 --connections 5 --rate 4 --duration 8 \
  --frames all --modbus all >rtusim.json 2>&1 &
sim=$!
sleep 3
click 120 157 1          # first RTU row: opens it in the form
capture telvorn-page-rtu-list.png
xdotool mousemove $((left + 120)) $((top + 157)) click --repeat 2 --delay 80 1
sleep 2
click 95 "${AIN0_Y:-270}" 2   # first analogue input: loads its history and draws the chart
capture telvorn-page-rtu-state.png
wait "$sim" || true
click 312 44 1           # Modbus registers tab
click 100 121 2          # register 1
capture telvorn-page-modbus-registers.png
