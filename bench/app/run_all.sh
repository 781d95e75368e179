#!/bin/sh
# Runs every benchmark of bench/app and prints their figures.
#   bench/app/run_all.sh [BUILD_DIR]     (default: build-bench beside bench/)
# Starts its own Xvfb and openbox and stops them (by their process ids) at the end.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build-bench}
bin=$(cd "$build/bin" && pwd)
runs_startup=${RUNS_STARTUP:-10}
runs_loads=${RUNS_LOADS:-7}
runs_save=${RUNS_SAVE:-3}

for f in lexivane lexivane-words dbWords.mdb HAND-M.CUR bench_empty_window bench_startup \
         bench_loads bench_save_copy; do
  [ -e "$bin/$f" ] || { echo "missing $bin/$f (ninja -C $build lexivane bench_app)" >&2; exit 1; }
done

. "$here/../common/x_desktop.sh"

echo "== $(date -u '+%F %T') UTC, $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), display $DISPLAY"
echo "== 1. start-up (xcb, openbox): lexivane beside its database vs an empty QWidget"
QT_QPA_PLATFORM=xcb "$bin/bench_startup" "$runs_startup" "$bin/lexivane" Lexivane \
  "$bin/bench_empty_window" Empty
echo "== 2. loads (offscreen)"
QT_QPA_PLATFORM=offscreen "$bin/bench_loads" "$runs_loads"
echo "== 3. save and copy (xcb, openbox)"
QT_QPA_PLATFORM=xcb "$bin/bench_save_copy" "$runs_save"
# As above, with Qt's accessibility bridge on (a private session bus, no screen reader): what
# the list's interface and its events cost a load while assistive technology listens.
if command -v dbus-daemon >/dev/null && [ -x /usr/libexec/at-spi-bus-launcher ]; then
  echo "== 4. loads with the accessibility bridge on (xcb, private session bus)"
  dbus-daemon --session --nofork --print-address=3 3>"$work/bus" >"$work/dbus.log" 2>&1 &
  bus_pid=$!
  trap 'kill "$bus_pid" 2>/dev/null; stop' EXIT INT TERM
  i=0
  until [ -s "$work/bus" ]; do
    i=$((i + 1)); [ $i -gt 100 ] && { echo "no session bus" >&2; exit 1; }
    sleep 0.1
  done
  DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/bus") QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    QT_QPA_PLATFORM=xcb "$bin/bench_loads" "$runs_loads"
  kill "$bus_pid"
fi
