#!/usr/bin/env bash
# Runs a Windows program under Debian's wine64, for CTest (CMAKE_CROSSCOMPILING_EMULATOR) and
# the Windows scripts:
#   tools/wine-run.sh [--qtest] PROGRAM.exe [ARGS...]
# The Wine prefix is the project's own (made once, about 25 s) and so is the X display: a
# private Xvfb. A persistent wineserver makes each later start cost a fraction of a second;
# it ends a minute after the last program, and the display with it.
# --qtest: a QTest program. On Windows QTest logs through OutputDebugString, so its log goes to
# a file that is printed afterwards; the offscreen platform unless QT_QPA_PLATFORM says else.
# The QT_* variables reach the program (Wine itself would hold them back).
# The exit status is the program's. LEXIVANE_WINE_DIR moves the prefix and its state.
set -euo pipefail

qtest=0
if [ "${1:-}" = --qtest ]; then
  qtest=1
  shift
fi
[ $# -ge 1 ] || { echo "usage: tools/wine-run.sh [--qtest] PROGRAM [ARGS...]" >&2; exit 2; }

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
state=${LEXIVANE_WINE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/lexivane/windows/wine}
mkdir -p "$state"
export WINEPREFIX=$state/prefix WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko: nothing here needs them, and Wine would offer to download them.
# No menu entries on the host's desktop for the links an installer makes.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}

display_alive() {
  local d
  d=$(cat "$state/display" 2>/dev/null) || return 1
  [ -S "/tmp/.X11-unix/X${d#:}" ] && kill -0 "$(cat "$state/xvfb.pid" 2>/dev/null)" 2>/dev/null
}

# Xvfb stays while programs of this prefix run, and a minute after, as the wineserver does.
start_display() {
  local fifo=$state/displayfd
  rm -f "$fifo"
  mkfifo "$fifo"
  # Neither the watcher nor Xvfb counts as a program of the prefix.
  # shellcheck disable=SC2016 # expanded by the watcher
  env -u WINEPREFIX setsid bash -c '
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$1" >/dev/null 2>&1 &
    echo $! >"$2/xvfb.pid"
    echo $$ >"$2/watcher.pid"
    idle=0
    while [ "$idle" -lt 4 ]; do
      sleep 20
      if grep -qlzx "WINEPREFIX=$3" /proc/[0-9]*/environ 2>/dev/null; then idle=0; else idle=$((idle + 1)); fi
    done
    kill "$(cat "$2/xvfb.pid")"
  ' _ "$fifo" "$state" "$WINEPREFIX" </dev/null >/dev/null 2>&1 &
  local d
  read -r d <"$fifo"
  rm -f "$fifo"
  echo ":$d" >"$state/display"
}

exec 9>"$state/lock"
flock 9
# Whatever starts here outlives this run, and must not keep the lock (fd 9) with it.
display_alive || start_display 9>&-
export DISPLAY
DISPLAY=$(cat "$state/display")
if [ ! -f "$WINEPREFIX/.lexivane-ready" ]; then
  echo "making the Wine prefix $WINEPREFIX" >&2
  "$wine" wineboot -i </dev/null >/dev/null 2>&1 9>&-
  "$wineserver" -w
  touch "$WINEPREFIX/.lexivane-ready"
fi
# Persistent for a minute: later programs start in a fraction of a second. Nothing that
# outlives this run may hold the caller's output, or CTest would wait for it: not the server,
# nor its system processes (services, the desktop), which a new server starts with the first
# program that needs them, so here.
if "$wineserver" -p60 </dev/null >/dev/null 2>&1 9>&-; then
  "$wine" wineboot </dev/null >/dev/null 2>&1 9>&-
fi
exec 9>&-

[ "$qtest" = 0 ] || export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
# Wine keeps the host's QT_* variables from Windows programs, and hands WINEQT_* on as QT_*.
for name in $(compgen -e); do
  case $name in QT_*) export "WINE$name=${!name}" ;; esac
done

[ "$qtest" = 1 ] || exec "$wine" "$@"

logdir=$(mktemp -d)
trap 'rm -rf "$logdir"' EXIT
status=0
"$wine" "$1" "${@:2}" -o "Z:${logdir//\//\\}\\log.txt,txt" || status=$?
if [ -f "$logdir/log.txt" ]; then
  tr -d '\r' <"$logdir/log.txt"
else
  echo "wine-run: $1 wrote no test log (exit status $status)" >&2
  [ "$status" -ne 0 ] || status=1
fi
exit "$status"
