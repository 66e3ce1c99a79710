# Sourced by the capture scripts in docs/ with `shot_port` set: runs the calling script again on a
# virtual X server, makes a scratch directory with the default INI files (server on shot_port) and a
# data source of its own, so this user's home and /etc stay untouched, and defines start_telvorn,
# capture and click. Needs xvfb, xdotool, x11-apps (xwd) and netpbm; only the capture scripts use the
# last three, so scripts/install-deps.sh does not install them.
set -euo pipefail
# The screen of an industrial panel PC: the window must fit it whole.
if [ -z "${TELVORN_SHOT_INNER:-}" ]; then
  export TELVORN_SHOT_INNER=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d)
telvorn=""
trap '[ -z "$telvorn" ] || kill "$telvorn" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/etc" "$work/home/rtu"
driver="$source_dir/build/platform/rtudb/libtelvorn-rtudb.so"
printf '[Telvorn RTUDB]\nDriver=%s\nSetup=%s\n' "$driver" "$driver" >"$work/etc/odbcinst.ini"
touch "$work/etc/odbc.ini"
export HOME="$work/home" ODBCSYSINI="$work/etc" ODBCINI="$work/home/.odbc.ini"
cp "$source_dir"/resources/ini/*.ini "$work/"
sed -i "s/^PORT=.*/PORT=$shot_port/" "$work/data_rtu.ini"
cd "$work"

# Starts telvorn in the scratch directory; sets main (its window) and left, top, width, height.
start_telvorn() {
  "$source_dir/build/ui/telvorn" >telvorn.out 2>&1 &
  telvorn=$!
  sleep 3
  main=$(xdotool search --name "GPRS" | head -1)
  eval "$(xdotool getwindowgeometry --shell "$main")"
  left=$X top=$Y width=$WIDTH height=$HEIGHT
}

# Captures the main window into docs/$1. Pop-ups come out black in a root capture without a window
# manager, so each visible top-level window is captured on its own and pasted at its place.
capture() {
  xwd -root -silent | xwdtopnm 2>/dev/null >root.pnm
  local window
  for window in $(xdotool search --onlyvisible --maxdepth 1 --name ""); do
    [ "$window" = "$main" ] && continue
    eval "$(xdotool getwindowgeometry --shell "$window")"
    [ "$WIDTH" -gt 8 ] || continue
    xwd -id "$window" -silent | xwdtopnm 2>/dev/null >window.pnm
    pnmpaste window.pnm "$X" "$Y" root.pnm >pasted.pnm && mv pasted.pnm root.pnm
  done
  pnmcut -left "$left" -top "$top" -width "$width" -height "$height" root.pnm | pnmtopng >"$source_dir/docs/$1"
}

# click X Y [SECONDS [BUTTON]]: clicks at X, Y of the main window, then waits (1 s by default).
click() { xdotool mousemove $((left + $1)) $((top + $2)) click "${4:-1}"; sleep "${3:-1}"; }
