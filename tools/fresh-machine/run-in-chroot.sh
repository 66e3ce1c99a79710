#!/usr/bin/env bash
# Proves the README's set-up on a clean Debian 12: makes a minimal bookworm tree with debootstrap,
# copies the committed repository in, and runs `./run.sh` and `./test.sh` unchanged inside it.
#   tools/fresh-machine/run-in-chroot.sh [--clean] [--root DIR] [--run-timeout S] [--test-timeout S]
# --clean      removes the tree first (otherwise an existing tree is reused, so a rerun is cheap)
# --root DIR   where the tree lives (default /var/tmp/telvorn-fresh/root); logs go next to it
# Needs root and debootstrap on the host; the host's /etc is only read (resolv.conf).
set -euo pipefail

root_dir=/var/tmp/telvorn-fresh/root
clean=0
run_timeout=2700
test_timeout=3600
mirror=http://deb.debian.org/debian
while [ $# -gt 0 ]; do
  case "$1" in
    --clean) clean=1 ;;
    --root) root_dir="$2"; shift ;;
    --run-timeout) run_timeout="$2"; shift ;;
    --test-timeout) test_timeout="$2"; shift ;;
    *) echo "usage: $0 [--clean] [--root DIR] [--run-timeout S] [--test-timeout S]" >&2; exit 2 ;;
  esac
  shift
done
[ "$(id -u)" -eq 0 ] || { echo "run as root (debootstrap, chroot and mounts need it)" >&2; exit 2; }
command -v debootstrap >/dev/null || { echo "install debootstrap first: apt-get install debootstrap" >&2; exit 2; }

repo_dir=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
root_dir=$(realpath -m "$root_dir")
log_dir="$(dirname "$root_dir")/logs"
src_in_tree=/root/telvorn-src
port=5020
mounted=()
run_pgid=""

unmount_all() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[$i]}" 2>/dev/null || umount -l "${mounted[$i]}" 2>/dev/null || true
  done
  mounted=()
}
cleanup() {
  [ -n "$run_pgid" ] && kill -KILL -- "-$run_pgid" 2>/dev/null || true
  unmount_all
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mount_into_tree() {
  local type="$1" source="$2" target="$root_dir$3"
  mkdir -p "$target"
  if [ "$type" = bind ]; then mount --bind "$source" "$target"; else mount -t "$type" "$source" "$target"; fi
  mounted+=("$target")
}

if [ "$clean" -eq 1 ] && [ -e "$root_dir" ]; then
  if findmnt -rn -o TARGET | grep -q "^$root_dir/"; then
    echo "something is still mounted under $root_dir; unmount it first" >&2; exit 1
  fi
  echo "== removing $root_dir"
  rm -rf --one-file-system "$root_dir"
fi
mkdir -p "$log_dir"

if [ ! -e "$root_dir/.telvorn-debootstrap-done" ]; then
  echo "== debootstrap bookworm (minbase) into $root_dir (log: $log_dir/debootstrap.log)"
  rm -rf --one-file-system "$root_dir"
  timeout 1800 debootstrap --variant=minbase bookworm "$root_dir" "$mirror" >"$log_dir/debootstrap.log" 2>&1 \
    || { tail -20 "$log_dir/debootstrap.log"; echo "FAIL: debootstrap"; exit 1; }
  touch "$root_dir/.telvorn-debootstrap-done"
fi
cp -L /etc/resolv.conf "$root_dir/etc/resolv.conf"
# Packages must not start daemons inside the tree.
printf '#!/bin/sh\nexit 101\n' >"$root_dir/usr/sbin/policy-rc.d"
chmod +x "$root_dir/usr/sbin/policy-rc.d"

mount_into_tree proc proc /proc
mount_into_tree sysfs sysfs /sys
mount_into_tree bind /dev /dev
mount_into_tree bind /dev/pts /dev/pts

echo "== copying $(git -C "$repo_dir" rev-parse --short HEAD) (committed files only) to $src_in_tree"
rm -rf --one-file-system "$root_dir$src_in_tree" "$root_dir/root/telvorn" "$root_dir/root/rtu"
mkdir -p "$root_dir$src_in_tree"
git -C "$repo_dir" archive HEAD | tar -x -C "$root_dir$src_in_tree"

in_tree() {
  chroot "$root_dir" /usr/bin/env -i HOME=/root TERM=dumb QT_QPA_PLATFORM=offscreen \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd $src_in_tree && $1"
}

# Without a display run.sh runs the service, telvorn-headless; with one, the window.
listening_telvorn() {
  ss -ltnpH "sport = :$port" 2>/dev/null | grep -qE '"telvorn(-headless)?"'
}

# First command: installs, builds and starts Telvorn, which runs until stopped.
run_result=FAIL
run_detail=""
echo "== ./run.sh (log: $log_dir/run.log; up to ${run_timeout}s)"
started=$(date +%s)
setsid bash -c "$(declare -f in_tree); root_dir='$root_dir' src_in_tree='$src_in_tree' in_tree ./run.sh" \
  >"$log_dir/run.log" 2>&1 &
run_pid=$!
run_pgid=$run_pid
sleep 1
# setsid only forks when already a group leader, which a background job of this script never is.
[ "$(ps -o pgid= -p "$run_pid" | tr -d ' ')" = "$run_pid" ] || { echo "FAIL: ./run.sh not in its own group" >&2; exit 1; }
while :; do
  if listening_telvorn && [ -e "$root_dir/root/rtu/RTU.db" ]; then
    run_result=PASS
    run_detail="telvorn listens on $port and created ~/rtu/RTU.db after $(($(date +%s) - started))s"
    break
  fi
  if ! kill -0 "$run_pid" 2>/dev/null; then
    wait "$run_pid" && rc=0 || rc=$?
    run_detail="run.sh ended (exit $rc) before telvorn was listening with its database"
    break
  fi
  if [ $(($(date +%s) - started)) -ge "$run_timeout" ]; then
    run_detail="telvorn not listening with its database after ${run_timeout}s"
    break
  fi
  sleep 2
done
kill -TERM -- "-$run_pgid" 2>/dev/null || true
for _ in $(seq 20); do kill -0 -- "-$run_pgid" 2>/dev/null || break; sleep 0.5; done
kill -KILL -- "-$run_pgid" 2>/dev/null || true
run_pgid=""
echo "$run_result ./run.sh: $run_detail"
[ "$run_result" = PASS ] || tail -30 "$log_dir/run.log"

# Second command, unchanged.
test_result=FAIL
echo "== ./test.sh (log: $log_dir/test.log; up to ${test_timeout}s)"
if in_tree "timeout --kill-after=30 $test_timeout ./test.sh" >"$log_dir/test.log" 2>&1; then
  test_result=PASS
fi
summary=$(grep -E 'tests passed|tests failed' "$log_dir/test.log" | tail -1 || true)
echo "$test_result ./test.sh: ${summary:-see $log_dir/test.log}"
[ "$test_result" = PASS ] || tail -40 "$log_dir/test.log"

echo "== summary"
echo "  ./run.sh   $run_result"
echo "  ./test.sh  $test_result"
[ "$run_result" = PASS ] && [ "$test_result" = PASS ] && { echo "PASS"; exit 0; }
echo "FAIL"
exit 1
