#!/usr/bin/env bash
# Takes the window captures in docs/: runs telvorn on a virtual X server with rtusim sending, clicks
# through the window with xdotool and captures it with xwd. Needs xvfb, xdotool, x11-apps (xwd) and
# netpbm (see docs/screenshot-setup.sh).
# Run after a build: docs/take-screenshots.sh   (the server listens on port 5987 meanwhile)
shot_port=5987
source "$(dirname "$0")/screenshot-setup.sh"
start_telvorn

# A first start shows three boxes: database opened, then the two tables created.
capture telvorn-open-database.png
for _ in 1 2 3; do
  xdotool key Return
  sleep 1
done
"$source_dir/build/tools/rtusim/rtusim" --port "$shot_port" --units 1-100 --connections 100 --rate 5 --duration 6 \
  --frames all --modbus all >rtusim.json 2>&1 &
sim=$!
click 121 44 4
capture telvorn-raw-data.png
wait "$sim" || true  # rtusim reports replies missing for RTUs not in the registry
click 25 9
capture telvorn-view-menu.png
xdotool key Escape
click 700 660 0.5
click 312 44
capture telvorn-custom-look-registers.png
