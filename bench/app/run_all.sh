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
