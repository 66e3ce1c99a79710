#!/usr/bin/env bash
# Takes the window captures in docs/: runs telvorn on a virtual X server with rtusim sending, clicks
# through the window with xdotool and captures it with xwd. Needs xvfb, xdotool, x11-apps (xwd) and
# netpbm; only this script uses the last three, so scripts/install-deps.sh does not install them.
# Run after a build: docs/take-screenshots.sh   (the server listens on port 5987 meanwhile)
set -euo pipefail
if [ -z "${TELVORN_SHOT_INNER:-}" ]; then
  export TELVORN_SHOT_INNER=1
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
cp "$source_dir"/resources/ini/*.ini "$work/"
sed -i 's/^PORT=.*/PORT=5987/' "$work/data_rtu.ini"
# The database and its data source live in the temporary directory, not in this user's home or /etc.
mkdir -p "$work/etc" "$work/home"
printf '[Telvorn RTUDB]\nDriver=%s\nSetup=%s\n' "$source_dir/build/platform/rtudb/libtelvorn-rtudb.so" \
  "$source_dir/build/platform/rtudb/libtelvorn-rtudb.so" >"$work/etc/odbcinst.ini"
touch "$work/etc/odbc.ini"
export HOME="$work/home" ODBCSYSINI="$work/etc" ODBCINI="$work/home/.odbc.ini"
cd "$work"
"$source_dir/build/ui/telvorn" >telvorn.out 2>&1 &
telvorn=$!
sleep 3
main=$(xdotool search --name "GPRS" | head -1)
eval "$(xdotool getwindowgeometry --shell "$main")"
left=$X top=$Y width=$WIDTH height=$HEIGHT

# Pop-ups come out black in a root capture without a window manager, so each visible top-level
# window is captured on its own and pasted at its place.
capture() {
  xwd -root -silent | xwdtopnm 2>/dev/null >root.pnm
  for window in $(xdotool search --onlyvisible --maxdepth 1 --name ""); do
    [ "$window" = "$main" ] && continue
    eval "$(xdotool getwindowgeometry --shell "$window")"
    [ "$WIDTH" -gt 8 ] || continue
    xwd -id "$window" -silent | xwdtopnm 2>/dev/null >window.pnm
    pnmpaste window.pnm "$X" "$Y" root.pnm >pasted.pnm && mv pasted.pnm root.pnm
  done
  pnmcut -left "$left" -top "$top" -width "$width" -height "$height" root.pnm | pnmtopng >"$source_dir/docs/$1"
}
click() { xdotool mousemove $((left + $1)) $((top + $2)) click 1; sleep "${3:-1}"; }

# A first start shows three boxes: database opened, then the two tables created.
capture telvorn-open-database.png
for _ in 1 2 3; do
  xdotool key Return
  sleep 1
done
"$source_dir/build/tools/rtusim/rtusim" --port 5987 --units 1-100 --connections 100 --rate 5 --duration 6 \
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
kill "$telvorn"
rm -rf "$work"
